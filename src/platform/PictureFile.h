#pragma once

#include <optional>

// A picture saved as a file: the encoder of the chosen format (BmpEncoder,
// PngEncoder) writing through SafeSave, and failures told as one sentence
// for the user naming the file and the reason.

class QIODevice;
class QImage;
class QString;

namespace PictureFile {

enum class Format { Bmp, Png };

// The format a file name's ending names (".bmp", ".png", any case); none for
// any other ending.
std::optional<Format> FormatOfName(const QString &fileName);

// Writes `image` to `fileName` in `format` under SafeSave's rules: an
// existing file is replaced only by a complete new one. On failure returns
// false and, when `errorMessage` is given, sets it to "Could not save the
// picture to FILE: REASON".
bool SavePicture(const QImage &image, const QString &fileName, Format format, QString *errorMessage = nullptr);

// The same, as a 24-bit uncompressed BMP file.
inline bool SavePicture(const QImage &image, const QString &fileName, QString *errorMessage = nullptr)
{
    return SavePicture(image, fileName, Format::Bmp, errorMessage);
}

// Writes the bytes SavePicture puts in a file to the open `device` (standard
// output, a buffer) as they come: nothing is made atomic. On failure returns
// false and sets `reason`.
bool WritePicture(const QImage &image, QIODevice &device, Format format, QString &reason);

// "Could not save the picture to FILE: REASON", the file named as the
// system shows it.
QString SaveFailure(const QString &fileName, const QString &reason);

} // namespace PictureFile
