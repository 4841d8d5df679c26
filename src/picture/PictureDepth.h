#pragma once

// Whether a picture keeps 16 bits a channel. Pictures are read as 8-bit
// RGB32/ARGB32 or, when the file holds more, as 16-bit RGBX64/RGBA64; every
// reader and writer of pictures asks here which of the two it holds.

#include <QImage>

namespace PictureDepth {

constexpr bool Deep(QImage::Format format)
{
    return format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64;
}

inline bool Deep(const QImage &picture) { return Deep(picture.format()); }

} // namespace PictureDepth
