#pragma once

// What every mode's finished canvas holds, written from the colour sheets'
// by-position description (not from the layouts' loops or the table of
// sheets: this is the oracle they are checked against), and the order in
// which each mode visits its tiles. Sizes and names come from the table.

#include "generation/ColorValue.h"
#include "generation/Sheets.h"

#include <algorithm>
#include <array>

namespace SheetFormulas {

namespace Detail {
template <typename Field>
constexpr std::array<int, Sheets::Count> PerSheet(Field field)
{
    std::array<int, Sheets::Count> values{};
    for (std::size_t mode = 0; mode < values.size(); ++mode)
        values[mode] = field(Sheets::All[mode]);
    return values;
}
} // namespace Detail

inline constexpr auto CanvasSize = Detail::PerSheet([](const Sheet &sheet) { return sheet.size; });
inline constexpr auto TileSize = Detail::PerSheet([](const Sheet &sheet) { return sheet.tile; });
inline constexpr auto TileCount = Detail::PerSheet([](const Sheet &sheet) { return sheet.tileCount(); });

inline constexpr std::array<int, 8> L2 = {0, 2, 4, 6, 9, 11, 13, 15};
inline constexpr std::array<int, 15> Levels15 = {0, 18, 36, 55, 73, 91, 109, 128, 146, 164, 182, 200, 219, 237, 255};
inline constexpr std::array<int, 9> Levels9 = {0, 32, 64, 96, 128, 160, 191, 223, 255};

// The colour at (x, y) of a finished canvas of the mode.
inline ColorValue Colour(int mode, int x, int y)
{
    switch (mode) {
    case 0:
        return RGB(x % 256, y % 256, 16 * (x / 256) + y / 256);
    case 1:
        return RGB(2 * (y % 128), 2 * (x % 128), 32 * (x / 128) + 4 * (y / 128) + 3);
    case 2:
        return RGB(4 * (y % 64), 16 * L2[x / 64] + L2[y / 64], 4 * (x % 64));
    case 3: {
        const int level = 13 + 20 * (4 * (y / 64) + x / 64); // 13 ... 313, step 20
        return RGB(4 * (x % 64), std::min(level, 255), 4 * (y % 64));
    }
    case 4: {
        static constexpr int red[2][2] = {{0, 192}, {128, 255}};
        return RGB(red[y / 64][x / 64], 4 * (x % 64), 4 * (y % 64));
    }
    case 5:
        return RGB(17 * (4 * (y / 16) + x / 16), 17 * (x % 16), 17 * (y % 16));
    case 6:
        return RGB(Levels9[3 * (y / 15) + x / 15], Levels15[x % 15], Levels15[y % 15]);
    case 7:
        return RGB(Levels9[3 * (y / 9) + x / 9], Levels9[x % 9], Levels9[y % 9]);
    }
    return -1;
}

// The position, counted from 0, of the tile holding (x, y) in the mode's
// visiting order: down each column of tiles in modes 0 to 2, along each row
// of tiles in the others.
inline int TileIndex(int mode, int x, int y)
{
    const int w = TileSize[mode];
    const int across = CanvasSize[mode] / w;
    return mode <= 2 ? (x / w) * across + y / w : (y / w) * across + x / w;
}

} // namespace SheetFormulas
