// The eight layouts. Each is its sheet's row of the table of sheets: its
// size, its tiles and their order, and the levels its tile, columns and rows
// give their channels (Sheets.h). The shape they share is written once, in
// Draw: the layout's own start reading first, the canvas sized N x N, the
// tiles in the sheet's order, AfterTile after every tile.
//
// Inside a tile nothing else runs (events are handled only between tiles),
// so the order of the writes within a tile cannot be seen: Draw writes each
// tile row by row, in the order the canvas lies in memory, whichever of u and
// v runs along the rows.

#include "generation/SheetGenerator.h"

#include "generation/Canvas.h"
#include "generation/CanvasArea.h"
#include "generation/Sheets.h"

#include <algorithm>
#include <cstdint>

namespace {

// A channel's level where a 0xFFRRGGBB pixel holds it; a level above 255
// counts as 255.
constexpr std::uint32_t PixelPart(Channel channel, int level)
{
    const auto packed = static_cast<std::uint32_t>(std::clamp(level, 0, 255));
    switch (channel) {
    case Channel::Red: return packed << 16;
    case Channel::Green: return packed << 8;
    case Channel::Blue: return packed;
    }
    return 0;
}

} // namespace

// The canvas has the sheet's size unless a nested run, between two tiles,
// gave it another: what then falls outside it is dropped, a row at a time.
template <Mode mode>
void SheetGenerator::Draw()
{
    constexpr Sheet sheet = Sheets::Of(mode);
    constexpr int w = sheet.tile;
    // The channels driven by the pixel's column and row inside its tile.
    constexpr Channel columnChannel = sheet.u == UCounts::Columns ? sheet.uChannel : sheet.vChannel;
    constexpr Channel rowChannel = sheet.u == UCounts::Columns ? sheet.vChannel : sheet.uChannel;

    const RunTimer start = GetTickCount();
    Canvas &pic = pic1();
    pic.setSize(sheet.size, sheet.size);

    for (int a = 0; a < sheet.tilesAcross(); ++a) {
        for (int b = 0; b < sheet.tilesAcross(); ++b) {
            const SheetPlace origin = sheet.tileOrigin(a, b);
            const std::uint32_t tilePart = 0xFF000000u | PixelPart(sheet.tileChannel, Sheets::TileLevel(mode, a, b));
            const int columns = std::clamp(pic.width() - origin.x, 0, w);
            for (int y = 0; y < w && columns > 0; ++y) {
                std::uint32_t *row = pic.scanLine(origin.y + y);
                if (!row)
                    break; // this row and all below it lie outside
                row += origin.x;
                const std::uint32_t rowPart = tilePart | PixelPart(rowChannel, Sheets::CounterLevel(mode, y));
                for (int x = 0; x < columns; ++x)
                    row[x] = rowPart | PixelPart(columnChannel, Sheets::CounterLevel(mode, x));
            }
            if (!AfterTile(start, CanvasArea{origin.x, origin.y, w, w}))
                return;
        }
    }
}

void SheetGenerator::Draw16Million() { Draw<Mode::Colours16Million>(); }
void SheetGenerator::Draw1Million() { Draw<Mode::Colours1Million>(); }
void SheetGenerator::Draw256Kilo() { Draw<Mode::Colours256Kilo>(); }
void SheetGenerator::Draw64Kilo() { Draw<Mode::Colours64Kilo>(); }
void SheetGenerator::Draw16Kilo() { Draw<Mode::Colours16Kilo>(); }
void SheetGenerator::Draw4096() { Draw<Mode::Colours4096>(); }
void SheetGenerator::Draw2025() { Draw<Mode::Colours2025>(); }
void SheetGenerator::Draw729() { Draw<Mode::Colours729>(); }
