#pragma once

// How far a picture is from the sheet it should show: every picture pixel of
// the sheet's area against the sheet pixel it shows (at an integer scale,
// nearest neighbour), in 8-bit levels whatever the picture's depth, and as
// the eye sees it (CIEDE2000). The work is shared among the processor's
// cores, row by row.

#include <QPoint>
#include <QSize>

#include <cstdint>
#include <vector>

class QImage;
class QString;

struct ErrorMeasures
{
    std::int64_t pixels = 0;
    std::int64_t differingPixels = 0;
    // In 8-bit levels: a 16-bit picture's differences are divided by 257.
    double maxChannelDifference = 0;
    double meanChannelDifference = 0;
    // The mean squared channel difference, the channels running from 0 to 1.
    double meanSquaredError = 0;
    double meanDe2000 = 0;
    double maxDe2000 = 0;
    // Pixels whose largest channel difference is at most 1, 2 and 4 8-bit
    // levels: a healthy lossy path keeps nearly all within a few.
    std::int64_t withinOneLevel = 0;
    std::int64_t withinTwoLevels = 0;
    std::int64_t withinFourLevels = 0;

    // 10 log10(1 / meanSquaredError), as ImageMagick's `compare -metric
    // PSNR` has it; infinity when the two are identical.
    double psnr() const;

    // Measures the area of `picture` (RGB32 or ARGB32, RGBX64 or RGBA64; its
    // alpha is ignored) whose top-left pixel is `origin` and which shows
    // `sheet` (RGB32) at `scale`; the area must lie inside the picture. When
    // `worst` is given it receives, for every sheet pixel in reading order,
    // the largest channel difference among the picture pixels showing it, in
    // 16-bit steps (257 to an 8-bit level).
    static ErrorMeasures Measure(const QImage &picture, QPoint origin, int scale, const QImage &sheet,
                                 std::vector<std::uint16_t> *worst = nullptr);
    // The same without CIEDE2000 (its two figures stay 0), for a caller that
    // takes it from a sample of the area.
    static ErrorMeasures MeasureChannels(const QImage &picture, QPoint origin, int scale, const QImage &sheet);

    // A place of the area and how far off it is.
    struct Place
    {
        QPoint place; // in the picture
        std::uint32_t sheet;     // RRGGBB
        std::uint64_t captured;  // RRGGBB, or RRRRGGGGBBBB for a deep picture
        double de2000;
    };
    // The `count` places of the area with the largest CIEDE2000 difference,
    // largest first (of equal ones, the first in reading order).
    static std::vector<Place> WorstPlaces(const QImage &picture, QPoint origin, int scale, const QImage &sheet,
                                          int count);

    // A grey picture of `worst` at the (compared) sheet's `size`: black where exact, the
    // largest difference white. `levelText` receives how many 8-bit levels of
    // channel difference one grey level stands for.
    static QImage DiffPicture(const std::vector<std::uint16_t> &worst, QSize size, QString &levelText);

private:
    static ErrorMeasures measure(const QImage &picture, QPoint origin, int scale, const QImage &sheet,
                                 std::vector<std::uint16_t> *worst, bool de2000);
};
