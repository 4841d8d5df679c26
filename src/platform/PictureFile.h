#pragma once

class QImage;
class QString;

// Writing the canvas to disk as a Windows bitmap.
namespace PictureFile {

// Writes `image` to `fileName` as a 24-bit uncompressed BMP file. An existing
// file is replaced only by a complete new one: on failure it is left as it
// was and no partial file remains. The one exception is a writable file in a
// folder where no new file may be made: it is rewritten in place, and a
// failure then leaves it incomplete. On failure returns false and, when
// `errorMessage` is given, sets it to a sentence for the user naming the file
// and the system's reason.
bool SavePicture(const QImage &image, const QString &fileName, QString *errorMessage = nullptr);

} // namespace PictureFile
