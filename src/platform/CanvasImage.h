#pragma once

// The canvas seen as a QImage over its own pixels: no copy of the 64 MB
// sheet to show it or write it. The image is valid while the canvas keeps
// its size and memory (until its next setSize).

#include "generation/Canvas.h"

#include <QImage>

inline QImage CanvasImage(const Canvas &canvas)
{
    return QImage(reinterpret_cast<const uchar *>(canvas.bits()), canvas.width(), canvas.height(),
                  static_cast<qsizetype>(canvas.bytesPerLine()), QImage::Format_RGB32);
}
