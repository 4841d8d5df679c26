#pragma once

// A colour look-up table as a file holds it: an optional curve per channel
// (a 1D table) followed by an optional 3D table, each on its own grid of
// input levels. Applying a table to a picture first works out, once per input
// value of each channel (256 for an 8-bit picture, 65,536 for a 16-bit one),
// where the value lands on the 3D grid; every pixel is then one interpolation
// between the nodes around it, rounded to the nearest output value. The
// picture is changed in place, its rows shared among the cores.

#include "lut/LutInterpolation.h"
#include "picture/PictureDepth.h"

#include <QImage>

#include <array>
#include <optional>
#include <vector>

// A curve per channel: values at its axis's levels, straight lines between;
// inputs beyond the axis take its outermost values.
struct LutCurves
{
    std::array<LutAxis, 3> axes;
    std::array<std::vector<float>, 3> values;

    double apply(int channel, double input) const
    {
        const LutCell cell = axes[std::size_t(channel)].locate(input);
        const std::vector<float> &v = values[std::size_t(channel)];
        return double(v[std::size_t(cell.index)]) * (1.0 - cell.fraction)
               + double(v[std::size_t(cell.index) + 1]) * cell.fraction;
    }
};

// A 3D table: a node for every combination of the three axes' levels, red
// changing fastest, then green, then blue (the order of a .cube file).
struct LutTable
{
    std::array<LutAxis, 3> axes;
    std::vector<float> nodes; // r, g, b of each node

    LUT_INLINE LutRgb at(int r, int g, int b) const
    {
        const float *node = nodes.data()
                            + 3 * ((std::size_t(b) * std::size_t(axes[1].size()) + std::size_t(g))
                                       * std::size_t(axes[0].size())
                                   + std::size_t(r));
        return {node[0], node[1], node[2]};
    }
};

class ColourLut
{
public:
    std::optional<LutCurves> curves;
    std::optional<LutTable> table;

    // The colour (0..1 each) that the table makes of `input`.
    LutRgb map(LutRgb input, Interpolation method) const;

    // Applies the table to every pixel of `picture` in place, its alpha
    // kept. Pictures of 16 bits a channel stay 16-bit (RGBX64, RGBA64); any
    // other becomes RGB32 or ARGB32 first. Returns false when there is no
    // memory for that conversion.
    bool apply(QImage &picture, Interpolation method) const;
};

namespace LutPicture {

// The format `picture` is worked on in: RGB32 or ARGB32 for 8-bit pictures,
// RGBX64 or RGBA64 for deeper ones.
QImage::Format WorkingFormat(const QImage &picture);

// Applies the 3D table whose nodes `nodes.at(r, g, b)` gives, on `axes`,
// after `curves` when there are any, to `picture` (in its working format).
template <typename Nodes>
void ApplyTable(QImage &picture, const std::array<LutAxis, 3> &axes, const Nodes &nodes, Interpolation method,
                const LutCurves *curves = nullptr)
{
    const bool deep = PictureDepth::Deep(picture);
    const int maximum = deep ? 65535 : 255;

    // Where each input value lands on each axis.
    std::array<std::vector<LutCell>, 3> cells;
    for (int c = 0; c < 3; ++c) {
        cells[std::size_t(c)].resize(std::size_t(maximum) + 1);
        for (int v = 0; v <= maximum; ++v) {
            double x = double(v) / maximum;
            if (curves)
                x = curves->apply(c, x);
            cells[std::size_t(c)][std::size_t(v)] = axes[std::size_t(c)].locate(x);
        }
    }
    const LutCell *red = cells[0].data();
    const LutCell *green = cells[1].data();
    const LutCell *blue = cells[2].data();

    const int width = picture.width();
    uchar *bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    RowBands::ForRowBands(picture.height(), std::int64_t(width) * picture.height(), [&](int first, int end) {
        const auto each = [&](auto &&pixel) {
            for (int y = first; y < end; ++y)
                for (int x = 0; x < width; ++x)
                    pixel(bits + y * stride, x);
        };
        const auto run = [&](auto interpolate) {
            if (deep) {
                each([&](uchar *row, int x) {
                    auto *p = reinterpret_cast<quint16 *>(row) + 4 * x;
                    const LutRgb c = interpolate(red[p[0]], green[p[1]], blue[p[2]]);
                    p[0] = quint16(LutMath::Quantise(c.r, 65535));
                    p[1] = quint16(LutMath::Quantise(c.g, 65535));
                    p[2] = quint16(LutMath::Quantise(c.b, 65535));
                });
            } else {
                each([&](uchar *row, int x) {
                    auto *p = reinterpret_cast<quint32 *>(row) + x;
                    const quint32 in = *p;
                    const LutRgb c = interpolate(red[(in >> 16) & 0xFF], green[(in >> 8) & 0xFF], blue[in & 0xFF]);
                    *p = (in & 0xFF000000u) | quint32(LutMath::Quantise(c.r, 255)) << 16
                         | quint32(LutMath::Quantise(c.g, 255)) << 8 | quint32(LutMath::Quantise(c.b, 255));
                });
            }
        };
        // One loop per method, so that the method is not decided per pixel.
        switch (method) {
        case Interpolation::Tetrahedral:
            run([&](LutCell r, LutCell g, LutCell b) { return LutMath::Tetrahedral(nodes, r, g, b); });
            break;
        case Interpolation::Trilinear:
            run([&](LutCell r, LutCell g, LutCell b) { return LutMath::Trilinear(nodes, r, g, b); });
            break;
        case Interpolation::Nearest:
            run([&](LutCell r, LutCell g, LutCell b) { return LutMath::Nearest(nodes, r, g, b); });
            break;
        }
    });
}

} // namespace LutPicture
