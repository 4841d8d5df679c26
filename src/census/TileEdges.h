#pragma once

// A capture placed by the sheet's tile edges: where the lines between its
// tiles (SheetGrid) meet the picture's sharpest steps. A tone curve, a
// range misread, chroma kept at half resolution and a lossy codec move a
// capture's colours, so the place where its colours come nearest the
// sheet's may be a pixel or two off; they do not move its edges.

#include <QPoint>
#include <QPointF>

#include <optional>

class QImage;
struct SheetGrid;

namespace TileEdges {

// Of the sheet shown at (x, y) at a whole scale (nearest neighbour), the
// shift within `reach` pixels either way (across and down separately) that
// puts its lines where the picture's brightness steps most (its own edges
// too: a line whose brightness barely steps, where a codec smeared its
// colour over two pixels, is placed by the others).
QPoint BestShift(const QImage &picture, const SheetGrid &grid, int x, int y, int scale, int reach);

// Of the brightness steps across the sheet's inner lines and the steps up to
// a block either side, the share at the lines themselves: near 1 for the
// sheet scaled by whole blocks (nearest neighbour), a lossy codec's too;
// near a half or less for one smoothly resampled.
double SharpShare(const QImage &picture, const SheetGrid &grid, int x, int y, int scale);

// A smooth placement fitted to the lines: each line's place in the picture
// (the middle of the steps across it, near where `scale` and `corner` put
// it) read along many rows, and one scale and corner fitted through them.
// None when too few lines stand out.
struct Smooth
{
    double scale;
    QPointF corner;
    // Of the steps across a line, the share of the largest (the median over
    // the lines read): a sheet resampled smoothly to a larger scale spreads
    // its lines' steps over as many pixels, a sharp picture does not.
    double sharpness = 1;
};
std::optional<Smooth> FitSmooth(const QImage &picture, const SheetGrid &grid, double scale, QPointF corner);

} // namespace TileEdges
