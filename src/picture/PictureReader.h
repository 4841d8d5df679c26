#pragma once

// Reading a picture: any format Qt reads (TIFF and WebP through Qt's
// image-format plugins), at its own depth, within our own allocation limit,
// and never a picture Qt only half read.
//
// A picture comes back as one of four formats: RGB32 or ARGB32 at 8 bits a
// channel, RGBX64 or RGBA64 at 16 (any picture with more than 8 bits a
// channel: 16-bit PNG and TIFF, 10-bit and floating-point formats). The
// colour of a pixel is its red, green and blue, whatever its alpha.

#include "picture/EmbeddedProfile.h"

#include <QImage>
#include <QString>

class QIODevice;

namespace PictureReader {

struct Picture
{
    QImage image;
    int depth = 8; // bits a channel: 8 or 16
    bool lossy = false; // saved with a lossy compression (JPEG, lossy WebP)
    // What the file says its numbers mean (an ICC profile, PNG's cICP); the
    // pixels are its numbers as they are, never converted.
    EmbeddedProfile::Embedded profile {};
};

// Reads `fileName` ("-": standard input). On failure returns false and sets
// `reason` to a sentence saying why.
bool ReadPicture(const QString &fileName, Picture &picture, QString &reason);
// The same from an open device, which must be able to seek. Every check on
// what the bytes claim (the format, the size against the allocation limit,
// truncation) is made here.
bool ReadPicture(QIODevice &device, Picture &picture, QString &reason);

// The most memory the decoded pixels of one picture may take, in MB (0: no
// limit): 1024 (2^28 pixels at 8 bits a channel, 2^27 at 16), or what the
// environment variable QT_IMAGEIO_MAXALLOC says.
int AllocationLimit();

} // namespace PictureReader
