#pragma once

// A mode's finished sheet as a picture, painted from the by-position
// formulas (the tests' oracle), not by a run.

#include "SheetFormulas.h"

#include <QImage>

#include <cstddef>

inline QImage SheetPicture(int mode)
{
    const int n = SheetFormulas::CanvasSize[std::size_t(mode)];
    QImage picture(n, n, QImage::Format_RGB32);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            picture.setPixel(x, y, ToRgb32(SheetFormulas::Colour(mode, x, y)));
    return picture;
}
