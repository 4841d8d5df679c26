#pragma once

#include <cstdint>

// The 16million picture written straight into a 4096 x 4096 buffer of
// 0xFFRRGGBB, in the layout's order (tile columns, tiles down each column,
// each tile column by column) with no bounds check and no calls: the speed
// limit for that layout.
void bareLoop16Million(std::uint32_t *pixels);
