#pragma once

// The census of a recording: what its stream is and says it is, then, given
// a sheet, the sheet found in the first frame that holds it and every frame
// after measured at that place as a player honouring the tags shows it.
// Frames are taken one at a time from the reader and measured as they come;
// none is kept.

#include "census/CensusReport.h"
#include "diagnosis/Chain.h"
#include "facts/Facts.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace VideoFrames {
class Reader;
struct StreamInfo;
}
namespace StoredData {
struct Reading;
}

namespace VideoCensus {

// Above this many sheet places, a frame's CIEDE2000 comes from this many
// places spread evenly over the sheet (the channel differences and PSNR
// always from every pixel).
inline constexpr std::int64_t De2000Sample = 65536;

struct Request
{
    // The sheet (RGB32); null: only describe the stream and count frames,
    // unless `anyOf` names the sheets to find the recording's among.
    QImage sheet;
    std::vector<CensusReport::Candidate> anyOf;
    std::optional<CensusReport::Placement> at;
    // One line per measured frame.
    bool perFrame = false;
    // Only this frame (numbered from 0); a recording that ends before it is
    // an error.
    std::optional<std::int64_t> onlyFrame;
    // Only the frames before this one (with `onlyFrame`, one beyond it).
    std::optional<std::int64_t> firstFrames;
    // Asked before each frame: true ends the census (failed, as cancelled).
    std::function<bool()> cancelled;
};

// Where the sheet was found and in which frame (for the stored-data
// analysis, which reads that frame's samples).
struct Found
{
    CensusReport::Placement place;
    std::int64_t frame = -1;
    // The sheet found (RGB32): the one asked for, or the one of `anyOf`.
    QImage sheet;
};

// One measured frame: its number and how far it is from the sheet.
struct FrameMeasure
{
    std::int64_t frame = 0;
    double meanDe2000 = 0;
    double psnr = 0;
};

struct Result
{
    // What the census found, as `name: value` lines or JSON.
    Facts facts;
    CensusReport::Outcome outcome = CensusReport::Outcome::Matches;
    QString error;
    Found found;
    // Every frame measured, in order; the one with the largest mean dE2000.
    std::vector<FrameMeasure> frames;
    std::int64_t worstFrame = -1;
};

// The "video:" and "tagged:" facts of the reader's stream.
void AddStream(const VideoFrames::Reader &reader, Facts &facts);

// What a recording stores (`reading`): "stored:", then the steps between it
// and what a player following the tags shows ("range:", "matrix:") or
// "steps: none".
void AddStored(const StoredData::Reading &reading, const VideoFrames::StreamInfo &info, Facts &facts);

// The steps between what a recording stores (`reading`) and what a player
// following its tags shows, as a diagnosis's chain: a range or matrix
// misread, or R'G'B' levels in the other range. Its fix() undoes them.
Chain StoredSteps(const StoredData::Reading &reading, const VideoFrames::StreamInfo &info);

// Reads `reader` to its end (or the frames asked for); `shownName` names it
// in errors. `atFound`, when given, is called once, with the frame in which
// the sheet was found, while its samples can still be read.
Result Run(VideoFrames::Reader &reader, const QString &shownName, const Request &request,
           const std::function<void(const QImage &frame, const Found &found)> &atFound = {});

} // namespace VideoCensus
