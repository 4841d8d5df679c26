#pragma once

// The pixel tests the sheet search shares between its whole-scale and its
// smooth placements: how far a picture pixel is from a sheet colour, the
// sheet resampled between its pixels, and how much of a capture's colours a
// curve per channel leaves unexplained.

#include "census/SheetSearch.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace SearchPixels {

// A sheet pixel and its colour (in the channel order searched for).
struct Sample
{
    int x;
    int y;
    std::uint32_t colour;
};

inline int channelOf(std::uint32_t rgb, int c)
{
    return int(rgb >> (16 - 8 * c)) & 0xFF;
}

// 256 times the brightness of a colour.
inline int luma(std::uint32_t rgb)
{
    return 77 * channelOf(rgb, 0) + 150 * channelOf(rgb, 1) + 29 * channelOf(rgb, 2);
}

// How far a quick pixel may be off: its brightness by `lumaTolerance`
// levels, any channel by `tolerance`.
struct Tolerance
{
    int luma;
    int channel;
};
// The whole-scale search's: loose enough for a range or a curve misread.
inline constexpr Tolerance Quick {32, 96};

inline bool misses(std::uint32_t found, std::uint32_t expected, Tolerance tolerance)
{
    const int dr = channelOf(found, 0) - channelOf(expected, 0);
    const int dg = channelOf(found, 1) - channelOf(expected, 1);
    const int db = channelOf(found, 2) - channelOf(expected, 2);
    const int l = 77 * dr + 150 * dg + 29 * db;
    return std::abs(l) > tolerance.luma * 256 || std::abs(dr) > tolerance.channel
           || std::abs(dg) > tolerance.channel || std::abs(db) > tolerance.channel;
}

inline int channelDistance(std::uint32_t one, std::uint32_t two)
{
    return std::max({std::abs(channelOf(one, 0) - channelOf(two, 0)), std::abs(channelOf(one, 1) - channelOf(two, 1)),
                     std::abs(channelOf(one, 2) - channelOf(two, 2))});
}

inline std::uint32_t pixelAt(const QImage &image, int x, int y)
{
    return reinterpret_cast<const std::uint32_t *>(image.constScanLine(y))[x] & 0xFFFFFFu;
}

// The sheet between its pixels, at sheet position (x, y) (pixel i covers i
// to i + 1): inside a tile, where every channel is a ramp, what any smooth
// resampling gives there.
inline std::uint32_t between(const QImage &sheet, double x, double y)
{
    const int w = sheet.width(), h = sheet.height(); // at least 2 each
    const double tx = std::clamp(x - 0.5, 0.0, double(w - 1)), ty = std::clamp(y - 0.5, 0.0, double(h - 1));
    const int i = std::min(int(tx), w - 2), j = std::min(int(ty), h - 2);
    const double fx = tx - i, fy = ty - j;
    const std::uint32_t a = pixelAt(sheet, i, j), b = pixelAt(sheet, i + 1, j), c = pixelAt(sheet, i, j + 1),
                        d = pixelAt(sheet, i + 1, j + 1);
    std::uint32_t out = 0;
    for (int k = 0; k < 3; ++k) {
        const double top = channelOf(a, k) + fx * (channelOf(b, k) - channelOf(a, k));
        const double bottom = channelOf(c, k) + fx * (channelOf(d, k) - channelOf(c, k));
        out |= std::uint32_t(std::lround(top + fy * (bottom - top))) << (16 - 8 * k);
    }
    return out;
}

// How much of a capture's colours a curve per channel of the sheet's own
// leaves unexplained: each capture channel's spread around its mean for each
// level of the sheet channel it holds, as a share of its whole spread. A
// tone curve, a range misread or a codec's small errors leave little; a
// placement a tile off, or a channel order not the capture's, leaves much.
// A flat area explains nothing.
class Unexplained
{
public:
    void add(std::uint32_t found, std::uint32_t expected)
    {
        for (int c = 0; c < 3; ++c) {
            const std::int64_t v = channelOf(found, c);
            Bin &bin = bins_[std::size_t(c)][std::size_t(channelOf(expected, c))];
            bin.sum += v;
            bin.squares += v * v;
            ++bin.count;
        }
    }

    double share() const
    {
        double left = 0, whole = 0;
        for (const auto &channel : bins_) {
            std::int64_t sum = 0, squares = 0, count = 0;
            for (const Bin &bin : channel) {
                if (bin.count == 0)
                    continue;
                left += double(bin.squares) - double(bin.sum) * double(bin.sum) / double(bin.count);
                sum += bin.sum;
                squares += bin.squares;
                count += bin.count;
            }
            if (count > 0)
                whole += double(squares) - double(sum) * double(sum) / double(count);
        }
        return whole > 0 ? left / whole : 1.0;
    }

private:
    struct Bin
    {
        std::int64_t sum = 0;
        std::int64_t squares = 0;
        std::int64_t count = 0;
    };
    std::array<std::array<Bin, 256>, 3> bins_ {};
};

// How much of a capture's colours a smooth curve per channel (a cubic in
// the sheet's level) leaves unexplained, as a share of their spread. Where
// Unexplained takes any curve, this takes only a smooth one: of two sheets
// that tell the same levels apart in the same order (1million made half as
// large is 256killo in another order, but for the levels of the tiles'
// own channel), the one the capture came from needs no kink to fit it.
class CurveFit
{
public:
    void add(std::uint32_t found, std::uint32_t expected)
    {
        for (std::size_t c = 0; c < 3; ++c) {
            const double x = channelOf(expected, int(c)) / 127.5 - 1.0;
            const double y = channelOf(found, int(c));
            Sums &sums = channels_[c];
            double power = 1;
            for (int k = 0; k <= 6; ++k) {
                sums.powers[std::size_t(k)] += power;
                if (k <= 3)
                    sums.moments[std::size_t(k)] += power * y;
                power *= x;
            }
            sums.squares += y * y;
        }
    }

    double share() const
    {
        double left = 0, whole = 0;
        for (const Sums &sums : channels_) {
            const double count = sums.powers[0];
            if (count == 0)
                continue;
            whole += sums.squares - sums.moments[0] * sums.moments[0] / count;
            left += std::max(0.0, sums.squares - explained(sums));
        }
        return whole > 0 ? left / whole : 1.0;
    }

private:
    struct Sums
    {
        std::array<double, 7> powers {};
        std::array<double, 4> moments {};
        double squares = 0;
    };

    // The part of the squares the least-squares cubic explains; a channel
    // holding fewer levels than the cubic's terms takes fewer terms.
    static double explained(const Sums &sums)
    {
        for (int terms = 4; terms >= 1; --terms) {
            std::array<std::array<double, 5>, 4> m {};
            for (int i = 0; i < terms; ++i) {
                for (int j = 0; j < terms; ++j)
                    m[std::size_t(i)][std::size_t(j)] = sums.powers[std::size_t(i + j)];
                m[std::size_t(i)][4] = sums.moments[std::size_t(i)];
            }
            bool solved = true;
            for (int c = 0; c < terms && solved; ++c) {
                int pivot = c;
                for (int r = c + 1; r < terms; ++r)
                    if (std::abs(m[std::size_t(r)][std::size_t(c)]) > std::abs(m[std::size_t(pivot)][std::size_t(c)]))
                        pivot = r;
                std::swap(m[std::size_t(c)], m[std::size_t(pivot)]);
                const double diagonal = m[std::size_t(c)][std::size_t(c)];
                if (std::abs(diagonal) < 1e-9 * sums.powers[0]) {
                    solved = false;
                    break;
                }
                for (int r = 0; r < terms; ++r)
                    if (r != c) {
                        const double f = m[std::size_t(r)][std::size_t(c)] / diagonal;
                        for (int k = c; k < terms; ++k)
                            m[std::size_t(r)][std::size_t(k)] -= f * m[std::size_t(c)][std::size_t(k)];
                        m[std::size_t(r)][4] -= f * m[std::size_t(c)][4];
                    }
            }
            if (!solved)
                continue;
            double sum = 0;
            for (int i = 0; i < terms; ++i)
                sum += m[std::size_t(i)][4] / m[std::size_t(i)][std::size_t(i)] * sums.moments[std::size_t(i)];
            return sum;
        }
        return 0;
    }

    std::array<Sums, 3> channels_ {};
};

} // namespace SearchPixels
