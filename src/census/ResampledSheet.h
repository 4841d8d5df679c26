#pragma once

// A sheet found smoothly resampled, measured where the resampling left it
// intact: the picture pixels whose filter reached only into one tile (its
// ramps come back as ramps there, whatever the filter), against the sheet's
// ramps at each pixel's middle. The tiles' lines run straight across the
// sheet, so those pixels are whole columns crossed with whole rows of the
// picture; packed side by side they make a picture of their own, measured
// and diagnosed as any capture is against the sheet beside it.

#include <QImage>
#include <QPoint>
#include <QPointF>

#include <vector>

struct ResampledSheet
{
    // The picture's columns and rows inside the tiles, left to right and
    // top to bottom.
    std::vector<int> columns;
    std::vector<int> rows;
    // Their pixels, columns.size() x rows.size(), in the picture's format
    // (8 or 16 bits a channel).
    QImage captured;
    // The sheet there (RGB32): its ramps at each pixel's middle, to the
    // nearest level.
    QImage expected;

    // `sheet` (RGB32) lies in `picture` resampled by `scale`, its top-left
    // corner at `corner` (picture pixel X covers X to X + 1). Null images
    // when no pixel is inside a tile, or there is not the memory.
    static ResampledSheet Take(const QImage &picture, const QImage &sheet, double scale, QPointF corner);

    bool isNull() const { return captured.isNull() || expected.isNull(); }
    // Where a pixel of the packed pictures lies in the picture.
    QPoint inPicture(QPoint packed) const { return {columns[std::size_t(packed.x())], rows[std::size_t(packed.y())]}; }
};
