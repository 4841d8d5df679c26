#pragma once

// The PNG encoder: libpng, told what suits a sheet. Qt's writer
// (libpng trying every row filter for every row) took longer than ImageMagick
// even with compression off; a sheet's rows differ from the row above by a
// constant step, so the "up" filter alone leaves runs that zlib's fastest
// level packs small: "16million" in about a quarter of the time, in a file a
// few hundred kilobytes.

#include <vector>

class QByteArray;
class QImage;
class QIODevice;
class QString;

namespace HdrMetadata {
struct Chunk;
}

namespace PngEncoder {

// Writes `image` as an 8-bit RGB PNG (no alpha channel) to `device`. On
// failure returns false and sets `reason`.
bool Write(const QImage &image, QIODevice &device, QString &reason);
// The same with an ICC profile embedded (iCCP, under `profileName`): the
// numbers as they are, the profile saying what they mean.
bool Write(const QImage &image, QIODevice &device, const QByteArray &iccProfile, const QByteArray &profileName,
           QString &reason);
// Writes `image` as a 16-bit RGB PNG, with `chunks` (cICP, mDCV, cLLI)
// after its header, before its image data.
bool WriteDeep(const QImage &image, const std::vector<HdrMetadata::Chunk> &chunks, QIODevice &device,
               QString &reason);

} // namespace PngEncoder
