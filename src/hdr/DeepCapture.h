#pragma once

// A capture of the deep sheet, read the way the sheet is made to be read:
// found by its landmarks and its identity strip (which also says how it was
// made), then one colour a step, the mean of the middle of its cells, where
// chroma subsampling and a player's scaling filters leave it alone.

#include "generation/DeepSheet.h"

#include <QImage>
#include <QPoint>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace DeepCapture {

using Rgb = std::array<double, 3>;

struct Placement
{
    QPoint offset;    // the sheet's top-left pixel in the picture
    int cellSize = 8; // pixels a cell: 8 at the sheet's size, 4 at half of it
    DeepSheet::Recipe recipe;

    int width() const { return DeepSheet::Columns * cellSize; }
    int height() const { return DeepSheet::Rows * cellSize; }
};

// Where the deep sheet lies in `picture` (8 or 16 bits a channel): at its
// own size or at half of it, anywhere in the picture, its identity read.
// None when no placement holds an identity strip that reads.
std::optional<Placement> Find(const QImage &picture);

// What a picture holds over each step of the sheet (DeepSheet::Steps()),
// channels from 0 to 1 at the picture's own precision.
struct Cells
{
    std::vector<Rgb> mean;
    // The largest standard deviation of a channel over the step's middle.
    std::vector<double> spread;
    int depth = 8; // bits a channel of the picture
};

Cells Read(const QImage &picture, const Placement &placement);

} // namespace DeepCapture
