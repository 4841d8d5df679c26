#pragma once

// What a recording stores, read from its samples themselves against the
// sheet a frame shows (no RGB conversion in between): the matrix and range
// the Y'CbCr (or R'G'B') data was made with and its chroma format, and the
// steps by which a player following the file's tags then shows it wrongly.

#include "video/VideoFrames.h"

#include <QImage>
#include <QStringList>

#include <vector>

namespace StoredData {

struct Reading
{
    VideoFrames::Matrix matrix = VideoFrames::Matrix::Bt709;
    bool fullRange = false;
    int chromaShiftX = 0;
    int chromaShiftY = 0;
    // The mean luma (or channel) difference of the best fit, in 8-bit
    // levels, and that of the next best: a fit far from the data, or one
    // hardly better than another, is no clear answer.
    double error = 0;
    double nextError = 0;
    bool read = false; // false: the samples could not be read
};

// Reads the samples of a frame (`info` its stream) that shows `sheet`
// (RGB32) with its top-left pixel at `x`, `y` and each sheet pixel `scale`
// frame pixels wide. `frame` is the frame as converted to RGB, read for
// packed RGB formats whose samples are not given.
Reading Read(const VideoFrames::Samples &samples, const VideoFrames::StreamInfo &info, const QImage &frame,
             const QImage &sheet, int x, int y, int scale);

// "BT.601 limited 4:2:0", "RGB full 4:4:4"
QString Describe(const Reading &reading);
// "BT.709 full": what a player following the tags converts with.
QString DescribeShown(const VideoFrames::StreamInfo &info);
// A step between the data and a player following the tags: ("range",
// "limited read as full"), ("matrix", "BT.601 read as BT.709").
struct Step
{
    QString name;
    QString value;
};
// The steps, none when the data and the tags agree.
std::vector<Step> Steps(const Reading &reading, const VideoFrames::StreamInfo &info);
// Whether the reading is a clear answer: a best fit close to the data and
// clearly better than the next.
bool Clear(const Reading &reading);
// What a diagnosis says the file stores: "BT.601 limited 4:2:0", or that it
// is unclear (with the closest), or unknown.
QString StoredText(const Reading &reading, const VideoFrames::StreamInfo &info);
// "full" or "limited"; "4:2:0".
QString RangeName(bool full);
QString ChromaName(const Reading &reading);

} // namespace StoredData
