#pragma once

#include <cstdint>

// The 16million picture written straight into a 4096 x 4096 buffer of
// 0xFFRRGGBB with no bounds check and no calls, tile by tile in the layout's
// tile order (down each column of tiles). The fill limit writes each tile row
// by row, in memory order: the speed limit for the layout. The column-order
// loop writes each tile column by column, the order the layout's loops name
// its pixels in, 16 KB apart from one write to the next: kept as a reference.
void fillLimit16Million(std::uint32_t *pixels);
void columnOrder16Million(std::uint32_t *pixels);
