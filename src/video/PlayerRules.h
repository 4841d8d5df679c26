#pragma once

// What each real player does with a recording's tags, and with their
// absence: which matrix it takes for an untagged stream of a given size,
// whether it honours the range flag, and whether it converts the primaries
// before showing. One row a player, each rule checked against the installed
// player (mpv 0.35 --vo=image, GStreamer 1.22 decodebin ! videoconvert,
// ffmpeg 5.1, Chromium and Firefox headless screenshots of a <video>): the
// census shows the frames as that player shows them, and the view can ask
// the same question.

#include "colour/Primaries.h"
#include "video/VideoFrames.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace PlayerRules {

using VideoFrames::Player;

struct Rule
{
    Player player;
    const char *name;  // as --player takes it: "mpv"
    const char *title; // as lines name it: "mpv", "GStreamer"
    // An untagged stream is BT.709 from this width, or from this height on
    // (0: never by that measure), else BT.601.
    int bt709FromWidth;
    int bt709FromHeight;
    // The range flag of an MP4 or MOV file is not read (limited).
    bool ignoresMp4Range;
    // A range left untagged beside a tagged matrix is taken as full.
    bool untaggedRangeFullWithMatrix;
    // A stream whose matrix is untagged has its range guessed too (limited).
    bool untaggedMatrixGuessesRange;
    // The primaries are converted to BT.709 (BT.1886 both ways, clipped):
    // the tagged ones, or for an untagged stream those guessed by its size.
    bool convertsPrimaries;
    // The codecs it plays, FFmpeg's names, comma-separated; empty: all.
    const char *plays;
};

const std::vector<Rule> &Rules();
const Rule &Of(Player player);
// A player by its --player name, any case.
std::optional<Player> Named(const QString &name);
// "mpv|gstreamer|ffmpeg|chromium|firefox"
QString Names();

// What a player does with a stream.
struct Shown
{
    VideoFrames::Matrix matrix = VideoFrames::Matrix::Bt709;
    bool fullRange = false;
    // Converted from these primaries to BT.709 before showing; none: shown
    // as they are.
    std::optional<Primaries::Set> convertedFrom;
    bool plays = true;
    // What the player guessed or ignored, one phrase each: "matrix untagged:
    // BT.709 from 1280 wide or 577 lines".
    QStringList notes;
};

// The tags as a stream carries them: FFmpeg's names ("tv", "bt709", ...;
// "unknown" or empty when untagged), and what else decides.
struct Tags
{
    QString range;
    QString matrix;
    QString primaries;
    QString codec;
    QString container; // FFmpeg's demuxer name: "mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm"
    int width = 0;
    int height = 0;
    bool rgb = false; // the samples are R'G'B'
};

Shown Decide(Player player, const Tags &tags);

// "BT.601 limited, BT.601-625 converted to BT.709 (clipped) (mpv: primaries
// untagged: BT.601-625 for 576 lines)": the shown line's value.
QString Describe(Player player, const Shown &shown);

// The primaries conversion a player makes, as encoded numbers from 0 to 1 in
// and out.
Primaries::Converter ConversionOf(Primaries::Set from);

} // namespace PlayerRules
