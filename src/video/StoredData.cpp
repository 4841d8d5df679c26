#include "video/StoredData.h"

#include "Texts.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace StoredData {

namespace {

TINTWELL_TR_CONTEXT("StoredData");

// The sheet places read: all of a small sheet, else this many spread evenly.
constexpr std::int64_t Places = 65536;
// A best fit further from the data than this (in 8-bit levels), or within
// this share of the next best, is no clear answer.
constexpr double ClearError = 6.0;
constexpr double ClearMargin = 0.8;

struct Weights
{
    VideoFrames::Matrix matrix;
    double red;
    double blue;
};

constexpr std::array<Weights, 3> Matrices = {{{VideoFrames::Matrix::Bt601, 0.299, 0.114},
                                              {VideoFrames::Matrix::Bt709, 0.2126, 0.0722},
                                              {VideoFrames::Matrix::Bt2020, 0.2627, 0.0593}}};

QString rangeName(bool full)
{
    return full ? QStringLiteral("full") : QStringLiteral("limited");
}

QString chromaName(int shiftX, int shiftY)
{
    if (shiftX == 0 && shiftY == 0)
        return QStringLiteral("4:4:4");
    if (shiftX == 1 && shiftY == 0)
        return QStringLiteral("4:2:2");
    if (shiftX == 1 && shiftY == 1)
        return QStringLiteral("4:2:0");
    if (shiftX == 2 && shiftY == 0)
        return QStringLiteral("4:1:1");
    if (shiftX == 0 && shiftY == 1)
        return QStringLiteral("4:4:0");
    return QStringLiteral("chroma 1/%1 across, 1/%2 down").arg(1 << shiftX).arg(1 << shiftY);
}

// One sample of a plane, in 8-bit levels whatever its depth.
double sampleAt(const VideoFrames::Samples &samples, int plane, int x, int y, double toEight)
{
    const std::uint8_t *row = samples.plane[plane] + std::ptrdiff_t(y) * samples.stride[plane];
    if (samples.bytesPerSample == 1)
        return row[x] * toEight;
    return double(row[2 * x] | row[2 * x + 1] << 8) * toEight;
}

double limited(double level)
{
    return 16.0 + level * 219.0 / 255.0;
}

} // namespace

Reading Read(const VideoFrames::Samples &samples, const VideoFrames::StreamInfo &info, const QImage &frame,
             const QImage &sheet, int x, int y, int scale)
{
    Reading reading;
    reading.chromaShiftX = info.chromaShiftX;
    reading.chromaShiftY = info.chromaShiftY;
    const bool rgb = info.shownMatrix == VideoFrames::Matrix::Rgb;
    if (!rgb && !samples.plane[0])
        return reading;
    const double toEight = 1.0 / double(1 << std::max(0, info.bitDepth - 8));

    // Candidates: each matrix at each range (Y'CbCr), or each range (RGB).
    std::array<double, 6> errors {};
    const std::int64_t sheetPlaces = std::int64_t(sheet.width()) * sheet.height();
    const std::int64_t count = std::min(sheetPlaces, Places);
    for (std::int64_t k = 0; k < count; ++k) {
        const std::int64_t place = k * sheetPlaces / count;
        const int sheetX = int(place % sheet.width());
        const int sheetY = int(place / sheet.width());
        const QRgb expected = sheet.pixel(sheetX, sheetY);
        const double red = qRed(expected);
        const double green = qGreen(expected);
        const double blue = qBlue(expected);
        // The middle of the frame pixels showing it.
        const int frameX = x + sheetX * scale + scale / 2;
        const int frameY = y + sheetY * scale + scale / 2;
        if (rgb) {
            std::array<double, 3> stored;
            if (samples.plane[0]) {
                for (int c = 0; c < 3; ++c)
                    stored[std::size_t(c)] = sampleAt(samples, c, frameX, frameY, toEight);
            } else {
                const QRgb shown = frame.pixel(frameX, frameY);
                stored = {double(qRed(shown)), double(qGreen(shown)), double(qBlue(shown))};
            }
            const std::array<double, 3> sheetLevels {red, green, blue};
            for (int c = 0; c < 3; ++c) {
                errors[0] += std::abs(stored[std::size_t(c)] - sheetLevels[std::size_t(c)]) / 3;
                errors[1] += std::abs(stored[std::size_t(c)] - limited(sheetLevels[std::size_t(c)])) / 3;
            }
            continue;
        }
        const double luma = sampleAt(samples, 0, frameX, frameY, toEight);
        for (std::size_t m = 0; m < Matrices.size(); ++m) {
            const Weights &w = Matrices[m];
            const double full = w.red * red + (1.0 - w.red - w.blue) * green + w.blue * blue;
            errors[2 * m] += std::abs(luma - full);
            errors[2 * m + 1] += std::abs(luma - limited(full));
        }
    }

    const std::size_t candidates = rgb ? 2 : 6;
    std::size_t best = 0;
    double next = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < candidates; ++i)
        if (errors[i] < errors[best])
            best = i;
    for (std::size_t i = 0; i < candidates; ++i)
        if (i != best)
            next = std::min(next, errors[i]);
    reading.read = count > 0;
    reading.matrix = rgb ? VideoFrames::Matrix::Rgb : Matrices[best / 2].matrix;
    reading.fullRange = best % 2 == 0;
    reading.error = count > 0 ? errors[best] / double(count) : 0;
    reading.nextError = count > 0 ? next / double(count) : 0;
    return reading;
}

QString Describe(const Reading &reading)
{
    return QStringLiteral("%1 %2 %3")
        .arg(VideoFrames::MatrixName(reading.matrix), rangeName(reading.fullRange),
             chromaName(reading.chromaShiftX, reading.chromaShiftY));
}

QString DescribeShown(const VideoFrames::StreamInfo &info)
{
    return info.shown;
}

std::vector<Step> Steps(const Reading &reading, const VideoFrames::StreamInfo &info)
{
    std::vector<Step> steps;
    if (reading.fullRange != info.shownFullRange)
        steps.push_back({QStringLiteral("range"),
                         QStringLiteral("%1 read as %2").arg(rangeName(reading.fullRange), rangeName(info.shownFullRange))});
    if (reading.matrix != info.shownMatrix)
        steps.push_back({QStringLiteral("matrix"), QStringLiteral("%1 read as %2")
                                                       .arg(VideoFrames::MatrixName(reading.matrix),
                                                            VideoFrames::MatrixName(info.shownMatrix))});
    // The numbers are what the data says; a player that converts them to
    // other primaries shows other colours.
    if (info.shownConvertedFrom) {
        const std::string_view from = Primaries::Of(*info.shownConvertedFrom).name;
        steps.push_back({QStringLiteral("primaries"), QStringLiteral("%1 converted to BT.709 (clipped)")
                                                          .arg(QString::fromLatin1(from.data(), qsizetype(from.size())))});
    }
    return steps;
}

bool Clear(const Reading &reading)
{
    return reading.read && reading.error <= ClearError && reading.error <= ClearMargin * reading.nextError;
}

QString StoredText(const Reading &reading, const VideoFrames::StreamInfo &info)
{
    if (!reading.read)
        return tr("unknown (the samples of %1 are not read here)").arg(info.pixelFormat);
    if (Clear(reading))
        return Describe(reading);
    return QStringLiteral("unclear, closest %1 (mean difference %2 levels)")
        .arg(Describe(reading), QString::number(reading.error, 'f', 2));
}

QString RangeName(bool full)
{
    return rangeName(full);
}

QString ChromaName(const Reading &reading)
{
    return chromaName(reading.chromaShiftX, reading.chromaShiftY);
}

} // namespace StoredData
