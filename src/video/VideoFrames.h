#pragma once

// What tintwell-sheet sees of recordings: frames in, nothing else. The
// reading and writing is done by FFmpeg's libraries in a module loaded only
// when a file is a recording (VideoLibrary), so nothing here names an FFmpeg
// type: a stream's tags are given in FFmpeg's own words, a frame as the RGB
// picture a player honouring the tags shows and as the samples it stores.

#include "colour/Primaries.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QIODevice;

namespace VideoFrames {

// The Y'CbCr matrices a player may convert with; Rgb: the samples are
// G'B'R' already.
enum class Matrix { Rgb, Bt601, Bt709, Bt2020 };

// "BT.601", as the diagnosis names a matrix.
inline QString MatrixName(Matrix matrix)
{
    switch (matrix) {
    case Matrix::Rgb: return QStringLiteral("RGB");
    case Matrix::Bt601: return QStringLiteral("BT.601");
    case Matrix::Bt709: return QStringLiteral("BT.709");
    case Matrix::Bt2020: return QStringLiteral("BT.2020");
    }
    return {};
}

// Whose rules a recording is shown by: the tags, and where they are missing
// Chromium's and Firefox's guess (Default), or a real player's own
// (PlayerRules).
enum class Player { Default, Mpv, Gstreamer, Ffmpeg, Chromium, Firefox };

struct StreamInfo
{
    QString codec;       // "h264", "ffv1"
    QString pixelFormat; // "yuv420p", "gbrp", "bgr0"
    int width = 0;
    int height = 0;
    double fps = 0;
    std::int64_t frames = -1; // -1: the container does not say
    // The tags, in FFmpeg's names: range "tv", "pc" or "unknown"; matrix
    // "bt709", "bt470bg", "smpte170m", "bt2020nc", "gbr", "unknown", ...
    QString range;
    QString matrix;
    QString primaries;
    QString transfer;
    QString container; // FFmpeg's demuxer: "matroska,webm", "mov,mp4,m4a,3gp,3g2,mj2"
    // What the player converts with (PlayerRules): by default the tags, and
    // where the file says nothing, BT.601 below 720 lines, BT.709 from 720,
    // limited range.
    Matrix shownMatrix = Matrix::Bt709;
    bool shownFullRange = false;
    // The primaries it converts to BT.709 before showing, if it does.
    std::optional<Primaries::Set> shownConvertedFrom;
    // All of it in words, with what was guessed and by whose rule: the
    // value of the shown: line.
    QString shown;
    // log2 of the chroma subsampling across and down (4:2:0: 1, 1).
    int chromaShiftX = 0;
    int chromaShiftY = 0;
    int bitDepth = 8;
};

// The samples of the frame last read, as stored: Y', Cb, Cr (or R', G', B'
// for RGB video), each plane `bytesPerSample` bytes a sample (little-endian
// when 2), the chroma planes subsampled as the StreamInfo says. Valid until
// the next frame is read.
struct Samples
{
    const std::uint8_t *plane[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
    int bytesPerSample = 1;
};

class Reader
{
public:
    virtual ~Reader() = default;
    virtual const StreamInfo &info() const = 0;
    // Reads the next frame, leaving its conversion to RGB to convert(). False
    // at the end of the stream or on an error, which error() then tells in a
    // sentence naming the frame.
    virtual bool read() = 0;
    // Converts the frame last read into `frame` (RGB32, the frame's size;
    // RGBX64, 16 bits a channel, when `frame` is RGBX64 already) as a player
    // honouring the tags shows it. False on an error.
    virtual bool convert(QImage &frame) = 0;
    // Reads the next frame and converts it.
    bool next(QImage &frame) { return read() && convert(frame); }
    virtual QString error() const = 0;
    // From the next frame on, only `region` of a frame is needed: the rest
    // of `frame` may be left as it was. Empty: the whole frame.
    virtual void setRegion(const QRect &region) = 0;
    // What the frame last read holds in the region, as a number: a frame
    // whose samples there are those of one of the last few different ones
    // (and so convert to the same pixels) gets that one's number, any other
    // a new one. -1 without a region, or where it cannot be told.
    virtual std::int64_t content() = 0;
    // The stored samples of the frame last read; null planes when they
    // cannot be given (a packed or paletted format).
    virtual Samples samples() const = 0;
    // Shows the frames as `player` does, from the next frame on.
    virtual void setPlayer(Player player) = 0;
};

enum class ClipFormat { Matroska, Mp4 };

// How a reader decodes: on as many threads as the decoder takes (for a
// caller that waits on each frame), or on one (for one that reads ahead on a
// thread of its own while it measures on another: less work in all).
enum class Decoding { Threads, OneThread };

// A clip of Y'CbCr data made as a test disc makes it: the sheet encoded with
// a chosen matrix, range, chroma format and depth, exactly (our own rounding,
// chroma averaged where it is shared), losslessly coded; and tags that say
// what was made, or something else, or nothing.
struct YcbcrRecipe
{
    Matrix matrix = Matrix::Bt709; // Bt601, Bt709 or Bt2020
    bool fullRange = false;
    int chromaShiftX = 1; // log2 of the subsampling across and down: 4:2:0 is 1, 1
    int chromaShiftY = 1;
    int bits = 8; // 8 or 10
    // The tags in FFmpeg's names ("tv", "smpte170m", "bt709", ...); empty:
    // left out. The chroma siting is tagged (left, as MPEG sites it) when
    // the matrix is.
    QString range;
    QString matrixTag;
    QString primaries;
    QString transfer;
};

// A deep sheet as a clip: its samples' depth and what the stream and its
// frames are tagged with, in FFmpeg's names. Matroska holds FFV1 R'G'B' at
// 10 or 12 bits; MP4 holds HEVC Main 10 (x265, lossless) as BT.2020
// Y'CbCr 4:2:0, limited range.
struct DeepClip
{
    int bits = 10;
    QString primaries = QStringLiteral("bt2020");
    QString transfer = QStringLiteral("smpte2084");
    // SMPTE ST 2086's mastering display (CIE 1931 x, y of red, green, blue
    // and white) and CTA-861.3's content light, in cd/m²; left out when
    // the luminance or MaxCLL is 0.
    double displayPrimaries[3][2] = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}};
    double displayWhite[2] = {0.3127, 0.3290};
    double displayMaxNits = 0;
    double displayMinNits = 0;
    double maxCll = 0;
    double maxFall = 0;
};

class Module
{
public:
    virtual ~Module() = default;
    // Whether FFmpeg takes the file for a recording (or a list or playlist
    // it would refuse), by its content.
    virtual bool isRecording(const QString &fileName) = 0;
    // The same for the first bytes of a stream.
    virtual bool isRecordingHead(const QByteArray &head) = 0;
    // Opens `fileName` ("-": standard input) as a recording. Decoded frames
    // may take at most `limitMB` MB (0: no limit). Null and `error` set to a
    // sentence when it is not one, or one we do not open.
    virtual std::unique_ptr<Reader> open(const QString &fileName, int limitMB, Decoding decoding,
                                         QString &error) = 0;
    // Opens a stream that cannot seek as a recording: `head`, the bytes
    // already read from it, then what `descriptor` gives; `shownName` names
    // it in errors. Frames as open()'s, decoded on the decoder's threads.
    virtual std::unique_ptr<Reader> openStream(const QByteArray &head, int descriptor, const QString &shownName,
                                               int limitMB, QString &error) = 0;
    // Writes `sheet` (RGB32) as a lossless clip of `frames` frames at `fps`
    // to `device`, which must be able to seek. False and `reason` on failure.
    virtual bool writeClip(const QImage &sheet, ClipFormat format, int frames, int fps, QIODevice &device,
                           QString &reason) = 0;
    // The same as Y'CbCr data made as `recipe` says: FFV1 in Matroska or
    // lossless H.264 (libx264 at qp 0) in MP4.
    virtual bool writeYcbcrClip(const QImage &sheet, const YcbcrRecipe &recipe, ClipFormat format, int frames, int fps,
                                QIODevice &device, QString &reason) = 0;
    // Writes the deep sheet `sheet` (RGBX64) as `clip` says. False and
    // `reason` on failure.
    virtual bool writeDeepClip(const QImage &sheet, const DeepClip &clip, ClipFormat format, int frames, int fps,
                               QIODevice &device, QString &reason) = 0;
};

// The module's one exported function: its Module, made once.
using ModuleEntry = Module *(*)();
inline constexpr char ModuleEntryName[] = "tintwell_video_module";

} // namespace VideoFrames
