#pragma once

// Finding a sheet inside a larger picture (a screenshot, a frame of a
// recording): the place of its top-left pixel and the integer scale (1 to 4,
// nearest neighbour) at which it is shown.
//
// Every placement is first tried on a few sheet pixels: smooth places (away
// from tile edges, so that a lossy codec leaves them nearly as they were)
// whose colours are the rarest in the picture, so that almost every wrong
// placement fails on its first two pixels. The few placements that pass are
// then ranked by their squared error over many sheet pixels (all of them for
// a sheet of up to 65536), brightness weighing more than colour.

#include <QImage>

namespace SheetSearch {

struct Placement
{
    int x = 0;
    int y = 0;
    int scale = 1;
    // The mean channel difference over the ranking pixels, in 8-bit levels.
    double error = 0;
    // False when no placement came close: the fields then describe the one
    // that came closest.
    bool plausible = false;
};

// A placement whose brightness differs from the sheet's by more than this
// on average over the ranking pixels (in 8-bit levels) is not taken for it.
inline constexpr double PlausibleError = 20.0;

// Searches `picture` (RGB32 or ARGB32, at least the sheet's size) for
// `sheet` (RGB32).
Placement Find(const QImage &picture, const QImage &sheet);

} // namespace SheetSearch
