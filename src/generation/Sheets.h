#pragma once

// The eight colour sheets as data: what every part of the program asks of a
// sheet without drawing it. Each sheet is a size x size square cut into
// tile x tile tiles; the run visits the tiles in the sheet's order, with a
// and b counting the tiles (a the outer loop) and u and v the pixels inside
// one. Each of the three channels is driven by exactly one of them: one
// channel by the tile (a, b), one by u and one by v, so a sheet's colours are
// every combination of its three channels' levels, and a colour's places
// follow from the formulas run backwards.
//
// The layouts draw from the same formulas (Layouts.cpp), so what the table
// says and what a run paints cannot drift apart.

#include "generation/ColorValue.h"
#include "generation/LevelTables.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The generation modes, in the order of the mode list.
enum class Mode {
    Colours16Million,
    Colours1Million,
    Colours256Kilo,
    Colours64Kilo,
    Colours16Kilo,
    Colours4096,
    Colours2025,
    Colours729,
};

// Which way the tiles are visited: down each column of tiles, then the next
// column to the right; or along each row of tiles, then the next row down.
enum class TileOrder { ColumnByColumn, RowByRow };

// Whether u counts the columns of a tile (x) or its rows (y); v counts the other.
enum class UCounts { Columns, Rows };

enum class Channel { Red, Green, Blue };

// A pixel of a sheet, (0, 0) at the top left.
struct SheetPlace
{
    int x = 0;
    int y = 0;

    friend bool operator==(const SheetPlace &, const SheetPlace &) = default;
};

struct Sheet
{
    Mode mode;
    std::string_view name; // the list text
    int size;              // the sheet is size x size pixels
    int tile;              // each tile is tile x tile pixels
    TileOrder order;
    UCounts u;
    Channel tileChannel; // the channel the tile sets
    Channel uChannel;    // the channel u sets
    Channel vChannel;    // the channel v sets

    constexpr int tilesAcross() const { return size / tile; }
    constexpr int tileCount() const { return tilesAcross() * tilesAcross(); }

    // The tile's top-left pixel for the tile counters (a, b).
    constexpr SheetPlace tileOrigin(int a, int b) const
    {
        return order == TileOrder::ColumnByColumn ? SheetPlace{tile * a, tile * b} : SheetPlace{tile * b, tile * a};
    }
};

namespace Sheets {

inline constexpr int Count = 8;

// clang-format off
inline constexpr std::array<Sheet, Count> All = {{
    {Mode::Colours16Million, "16million", 4096, 256, TileOrder::ColumnByColumn, UCounts::Columns, Channel::Blue,  Channel::Red,   Channel::Green},
    {Mode::Colours1Million,  "1million",  1024, 128, TileOrder::ColumnByColumn, UCounts::Rows,    Channel::Blue,  Channel::Red,   Channel::Green},
    {Mode::Colours256Kilo,   "256killo",   512,  64, TileOrder::ColumnByColumn, UCounts::Rows,    Channel::Green, Channel::Red,   Channel::Blue},
    {Mode::Colours64Kilo,    "64kilo",     256,  64, TileOrder::RowByRow,       UCounts::Columns, Channel::Green, Channel::Red,   Channel::Blue},
    {Mode::Colours16Kilo,    "16kilo",     128,  64, TileOrder::RowByRow,       UCounts::Columns, Channel::Red,   Channel::Green, Channel::Blue},
    {Mode::Colours4096,      "4096",        64,  16, TileOrder::RowByRow,       UCounts::Columns, Channel::Red,   Channel::Green, Channel::Blue},
    {Mode::Colours2025,      "2025",        45,  15, TileOrder::RowByRow,       UCounts::Columns, Channel::Red,   Channel::Green, Channel::Blue},
    {Mode::Colours729,       "729",         27,   9, TileOrder::RowByRow,       UCounts::Columns, Channel::Red,   Channel::Green, Channel::Blue},
}};
// clang-format on

constexpr int Index(Mode mode) { return static_cast<int>(mode); }
constexpr const Sheet &Of(Mode mode) { return All[static_cast<std::size_t>(mode)]; }

// The mode at a list index; none outside 0 to 7.
std::optional<Mode> ModeAt(int index);
// The mode whose list text is exactly `listText`.
std::optional<Mode> FromName(std::string_view listText);
// The mode whose sheet is `width` x `height`: every sheet has a size of its own.
std::optional<Mode> OfSize(int width, int height);

// The level of the tile's channel for the tile counters (a, b), before
// packing: "64kilo" goes up to 313, which a pixel holds as 255.
constexpr int TileLevel(Mode mode, int a, int b)
{
    using namespace LevelTables;
    switch (mode) {
    case Mode::Colours16Million: return 16 * a + b;
    case Mode::Colours1Million: return 16 * L1[a] + 2 * L1[b] + 3;
    case Mode::Colours256Kilo: return 16 * L2[a] + L2[b];
    case Mode::Colours64Kilo: return 16 * L3[a] + 4 * L3[b] + 13;
    case Mode::Colours16Kilo: return Levels4[a + 2 * b];
    case Mode::Colours4096: return 17 * (4 * a + b);
    case Mode::Colours2025:
    case Mode::Colours729: return Levels9[3 * a + b];
    }
    return 0;
}

// The level of the channel u (or v) drives, for the counter's value.
constexpr int CounterLevel(Mode mode, int counter)
{
    using namespace LevelTables;
    switch (mode) {
    case Mode::Colours16Million: return counter;
    case Mode::Colours1Million: return 2 * counter;
    case Mode::Colours256Kilo:
    case Mode::Colours64Kilo:
    case Mode::Colours16Kilo: return 4 * counter;
    case Mode::Colours4096: return 17 * counter;
    case Mode::Colours2025: return Levels15[counter];
    case Mode::Colours729: return Levels9[counter];
    }
    return 0;
}

// The colour of the pixel the counters (a, b, u, v) stand for.
constexpr ColorValue Colour(const Sheet &sheet, int a, int b, int u, int v)
{
    int levels[3] = {};
    levels[static_cast<int>(sheet.tileChannel)] = TileLevel(sheet.mode, a, b);
    levels[static_cast<int>(sheet.uChannel)] = CounterLevel(sheet.mode, u);
    levels[static_cast<int>(sheet.vChannel)] = CounterLevel(sheet.mode, v);
    return RGB(levels[0], levels[1], levels[2]);
}

// The colour the sheet holds at (x, y); -1 outside it.
ColorValue ColourAt(Mode mode, int x, int y);

// Every place the sheet holds `colour`, in reading order (by y, then x);
// none when it does not hold it.
std::vector<SheetPlace> PlacesOf(Mode mode, ColorValue colour);

// The distinct levels `channel` takes in the sheet, ascending.
std::vector<int> Levels(Mode mode, Channel channel);

// The colour the sheet holds that is nearest to `colour` in every channel (a
// tie goes to the lower level).
ColorValue NearestHeld(Mode mode, ColorValue colour);

// How many distinct colours the sheet holds.
std::uint64_t ColourCount(Mode mode);

} // namespace Sheets
