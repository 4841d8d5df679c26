#include "diagnosis/LevelCut.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace LevelCut {

namespace {

LevelSet gridOf(int bits, int spread)
{
    LevelSet grid;
    for (int k = 0; k < (1 << bits); ++k)
        grid.set(std::size_t(SpreadLevel(k, bits, spread)));
    return grid;
}

bool onGrid(const LevelSet &levels, int bits, int spread)
{
    return (levels & ~gridOf(bits, spread)).none();
}

} // namespace

int SpreadLevel(int k, int bits, int spread)
{
    const int top = (1 << bits) - 1;
    switch (spread) {
    case 1: return int(std::floor(k * 255.0 / top + 1e-9));
    case 2: {
        int level = 0;
        for (int shift = 8 - bits; shift > -bits; shift -= bits)
            level |= shift >= 0 ? k << shift : k >> -shift;
        return std::min(level, 255);
    }
    case 3: return k << (8 - bits);
    default: return int(std::lround(k * 255.0 / top));
    }
}

double Cut(double level, int bits, int spread)
{
    if (bits >= 8)
        return level;
    const int top = (1 << bits) - 1;
    const int k = std::clamp(int(std::lround(level * top / 255.0)), 0, top);
    int best = SpreadLevel(k, bits, spread);
    for (int other : {k - 1, k + 1})
        if (other >= 0 && other <= top && std::abs(SpreadLevel(other, bits, spread) - level) < std::abs(best - level))
            best = SpreadLevel(other, bits, spread);
    return best;
}

std::array<LevelSet, 3> LevelsOf(const QImage &picture)
{
    std::array<LevelSet, 3> sets;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            for (int c = 0; c < 3; ++c)
                sets[std::size_t(c)].set(std::size_t(row[x] >> (16 - 8 * c) & 0xFF));
    }
    return sets;
}

Kept BitsOf(const LevelSet &captured, const LevelSet &sheet)
{
    for (int bits = 1; bits < 8; ++bits) {
        for (int spread = 0; spread < Spreads; ++spread)
            if (onGrid(captured, bits, spread) && !onGrid(sheet, bits, spread))
                return {bits, spread};
        if (captured.count() <= (1u << bits) && sheet.count() > (1u << bits))
            return {bits, 0};
    }
    return {8, 0};
}

} // namespace LevelCut
