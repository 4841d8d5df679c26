// The eight layouts. Each takes its own start reading first, fills its level
// table, then hands DrawSheet its sheet (size, tiles, tile order) and the
// colour of a pixel as a function of its counters: a and b pick the tile, u
// and v the pixel in it. DrawSheet sizes the canvas N x N, visits the tiles
// in the layout's order and runs AfterTile after every tile.
//
// Inside a tile nothing else runs (events are handled only between tiles),
// so the order of the writes within a tile cannot be seen: DrawSheet writes
// each tile row by row, in the order the canvas lies in memory, whichever of
// u and v runs along the rows.

#include "generation/SheetGenerator.h"

#include "generation/Canvas.h"
#include "generation/CanvasArea.h"
#include "generation/LevelTables.h"

#include <algorithm>
#include <cstdint>

namespace {

// Which way the tiles are visited: a counts the columns of tiles (down each
// column of tiles, then the next column to the right) or the rows of tiles
// (along each row, then the next row down); b counts the other.
enum class TileOrder { ColumnByColumn, RowByRow };

// Whether u counts the columns of a tile (x) or its rows (y); v counts the other.
enum class UCounts { Columns, Rows };

struct Sheet
{
    int size; // the canvas is size x size
    int tile; // each tile is tile x tile
    TileOrder order;
    UCounts u;
};

// Draws `sheet` with colour(a, b, u, v), a ColorValue, for every pixel; after
// every tile it asks afterTile(the tile's area) whether to go on.
//
// The canvas has the sheet's size unless a nested run, between two tiles,
// gave it another: what then falls outside it is dropped, a row at a time.
template <Sheet sheet, typename Colour, typename AfterTile>
void DrawSheet(Canvas &pic, const Colour &colour, const AfterTile &afterTile)
{
    constexpr int w = sheet.tile;
    constexpr int across = sheet.size / sheet.tile;
    pic.setSize(sheet.size, sheet.size);

    for (int a = 0; a < across; ++a) {
        for (int b = 0; b < across; ++b) {
            const int left = w * (sheet.order == TileOrder::ColumnByColumn ? a : b);
            const int top = w * (sheet.order == TileOrder::ColumnByColumn ? b : a);
            const int columns = std::clamp(pic.width() - left, 0, w);
            for (int y = 0; y < w && columns > 0; ++y) {
                std::uint32_t *row = pic.scanLine(top + y);
                if (!row)
                    break; // this row and all below it lie outside
                row += left;
                for (int x = 0; x < columns; ++x)
                    row[x] = ToRgb32(sheet.u == UCounts::Columns ? colour(a, b, x, y) : colour(a, b, y, x));
            }
            if (!afterTile(CanvasArea{left, top, w, w}))
                return;
        }
    }
}

} // namespace

// 4096 x 4096, 16 x 16 tiles of 256 x 256, visited down each column of tiles.
// Red runs along x in the tile, green along y, blue is the tile: every one of
// the 16,777,216 colours exactly once.
void SheetGenerator::Draw16Million()
{
    const RunTimer start = GetTickCount();
    DrawSheet<Sheet{4096, 256, TileOrder::ColumnByColumn, UCounts::Columns}>(
        pic1(), [](int a, int b, int u, int v) { return RGB(u, v, 16 * a + b); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 1024 x 1024, 8 x 8 tiles of 128 x 128, visited down each column of tiles;
// u counts the rows of a tile. Red 2 x row, green 2 x column, blue the tile
// level.
void SheetGenerator::Draw1Million()
{
    const RunTimer start = GetTickCount();
    const auto L1 = LevelTables::L1();
    DrawSheet<Sheet{1024, 128, TileOrder::ColumnByColumn, UCounts::Rows}>(
        pic1(), [&L1](int a, int b, int u, int v) { return RGB(2 * u, 2 * v, 16 * L1[a] + 2 * L1[b] + 3); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 512 x 512, 8 x 8 tiles of 64 x 64, visited down each column of tiles; u
// counts the rows of a tile. Red 4 x row, blue 4 x column, green the tile
// level.
void SheetGenerator::Draw256Kilo()
{
    const RunTimer start = GetTickCount();
    const auto L2 = LevelTables::L2();
    DrawSheet<Sheet{512, 64, TileOrder::ColumnByColumn, UCounts::Rows}>(
        pic1(), [&L2](int a, int b, int u, int v) { return RGB(4 * u, 16 * L2[a] + L2[b], 4 * v); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 256 x 256, 4 x 4 tiles of 64 x 64, visited along each row of tiles. The
// tile levels of green reach 313; packing turns the last three into 255.
void SheetGenerator::Draw64Kilo()
{
    const RunTimer start = GetTickCount();
    const auto L3 = LevelTables::L3();
    DrawSheet<Sheet{256, 64, TileOrder::RowByRow, UCounts::Columns}>(
        pic1(), [&L3](int a, int b, int u, int v) { return RGB(4 * u, 16 * L3[a] + 4 * L3[b] + 13, 4 * v); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// The small modes all visit their tiles along each row of tiles, and u counts
// the columns of a tile: x = w b + u, y = w a + v.

// 128 x 128, 2 x 2 tiles of 64 x 64. Red counts down the columns of tiles.
void SheetGenerator::Draw16Kilo()
{
    const RunTimer start = GetTickCount();
    const auto Levels4 = LevelTables::Levels4();
    DrawSheet<Sheet{128, 64, TileOrder::RowByRow, UCounts::Columns}>(
        pic1(), [&Levels4](int a, int b, int u, int v) { return RGB(Levels4[a + 2 * b], 4 * u, 4 * v); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 64 x 64, 4 x 4 tiles of 16 x 16: every colour whose components are
// multiples of 17.
void SheetGenerator::Draw4096()
{
    const RunTimer start = GetTickCount();
    DrawSheet<Sheet{64, 16, TileOrder::RowByRow, UCounts::Columns}>(
        pic1(), [](int a, int b, int u, int v) { return RGB(17 * (4 * a + b), 17 * u, 17 * v); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 45 x 45, 3 x 3 tiles of 15 x 15: 9 red levels, 15 green and blue levels.
void SheetGenerator::Draw2025()
{
    const RunTimer start = GetTickCount();
    const auto Levels9 = LevelTables::Levels9();
    const auto Levels15 = LevelTables::Levels15();
    DrawSheet<Sheet{45, 15, TileOrder::RowByRow, UCounts::Columns}>(
        pic1(),
        [&](int a, int b, int u, int v) { return RGB(Levels9[3 * a + b], Levels15[u], Levels15[v]); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}

// 27 x 27, 3 x 3 tiles of 9 x 9: 9 levels in every channel.
void SheetGenerator::Draw729()
{
    const RunTimer start = GetTickCount();
    const auto Levels9 = LevelTables::Levels9();
    DrawSheet<Sheet{27, 9, TileOrder::RowByRow, UCounts::Columns}>(
        pic1(),
        [&Levels9](int a, int b, int u, int v) { return RGB(Levels9[3 * a + b], Levels9[u], Levels9[v]); },
        [&](CanvasArea tile) { return AfterTile(start, tile); });
}
