#include "lut/LutGuess.h"

#include "lut/HaldClut.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace LutGuess {

namespace {

constexpr int SamplesASide = 256;

// The mean channel difference between `picture` and `unedited(x, y)` on
// the sampling grid.
template <typename Unedited>
double meanDifference(const QImage &picture, const Unedited &unedited)
{
    const int stepX = std::max(1, picture.width() / SamplesASide);
    const int stepY = std::max(1, picture.height() / SamplesASide);
    double sum = 0;
    qint64 samples = 0;
    for (int y = 0; y < picture.height(); y += stepY) {
        for (int x = 0; x < picture.width(); x += stepX) {
            const QRgb edited = picture.pixel(x, y);
            const ColorValue before = unedited(x, y);
            sum += std::abs(qRed(edited) - RedOf(before)) + std::abs(qGreen(edited) - GreenOf(before))
                   + std::abs(qBlue(edited) - BlueOf(before));
            ++samples;
        }
    }
    return samples == 0 ? 0 : sum / double(3 * samples);
}

} // namespace

double FromSheet(const QImage &picture, Mode mode)
{
    return meanDifference(picture, [mode](int x, int y) { return Sheets::ColourAt(mode, x, y); });
}

double FromHald(const QImage &picture, int level)
{
    // Node after node along the rows, red changing fastest.
    const qint64 levels = qint64(level) * level;
    const qint64 side = picture.width();
    const auto value = [levels](qint64 index) { return int(std::lround(double(index) * 255.0 / double(levels - 1))); };
    return meanDifference(picture, [&](int x, int y) {
        const qint64 node = qint64(y) * side + x;
        return RGB(value(node % levels), value(node / levels % levels), value(node / levels / levels));
    });
}

Candidates ForSize(int width, int height)
{
    if (width != height)
        return {};
    return {Sheets::OfSize(width, height), HaldClut::LevelOfSide(width)};
}

} // namespace LutGuess
