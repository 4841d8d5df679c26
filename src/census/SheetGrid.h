#pragma once

// Where a sheet's tiles meet. Inside a tile every channel is a ramp or a
// constant, so its colour at any place between pixel centres is the two
// neighbours' mean; between tiles a channel jumps (a ramp starts again, the
// tile's own channel steps). A smooth resampling (bilinear, bicubic,
// Lanczos) leaves a tile's inside as the ramps it was and blurs only a
// band along these lines, and the lines are what a capture keeps whatever
// happened to its colours: the search places a capture by them.
//
// Positions along the sheet are continuous: pixel i covers [i, i + 1), its
// centre at i + 0.5; a line at b lies between pixels b - 1 and b.

#include <vector>

class QImage;

struct SheetGrid
{
    // Every line across, from 0 to the sheet's width (its edges included),
    // and every line down, from 0 to its height.
    std::vector<int> columns;
    std::vector<int> rows;

    // Found on the sheet itself (RGB32): a line is where a channel's step
    // between neighbours differs from the steps on both sides of it.
    static SheetGrid Of(const QImage &sheet);

    // How far the position lies from the nearest line across (x) or down (y).
    double marginX(double x) const { return marginOf(columns, x); }
    double marginY(double y) const { return marginOf(rows, y); }
    // The narrowest tile.
    int narrowest() const;

private:
    static double marginOf(const std::vector<int> &lines, double position);
};
