#pragma once

// Which table a LUT picture holds when its size does not say. 27², 64², 512²
// and 4096² are each both a sheet's size and a HaldCLUT's (levels 3, 4, 8 and
// 16); an edited table stays near its unedited form, so the picture is
// measured against both unedited forms and the nearer one is taken.

#include "generation/Sheets.h"

#include <QImage>

#include <optional>

namespace LutGuess {

// The mean difference of a channel (8-bit levels) between `picture`, on a
// grid of at most 256 x 256 of its pixels, and the unedited sheet of `mode`
// or the identity HaldCLUT of `level`, of the same size.
double FromSheet(const QImage &picture, Mode mode);
double FromHald(const QImage &picture, int level);

// What a square picture of `side` pixels may be: the sheet of that size,
// the HaldCLUT level of that size (0 for none).
struct Candidates
{
    std::optional<Mode> sheet;
    int haldLevel = 0;
};
Candidates ForSize(int width, int height);

} // namespace LutGuess
