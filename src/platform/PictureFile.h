#pragma once

#include <functional>

class Canvas;
class QIODevice;
class QImage;
class QString;

// Writing the canvas to disk as a Windows bitmap.
namespace PictureFile {

// The canvas as an image sharing its pixels (no copy): valid while the canvas
// keeps its size and memory.
QImage CanvasPicture(const Canvas &canvas);

// Writes `image` to `fileName` as a 24-bit uncompressed BMP file. An existing
// file is replaced only by a complete new one: on failure it is left as it
// was and no partial file remains. The one exception is a writable file in a
// folder where no new file may be made: it is rewritten in place, and a
// failure then leaves it incomplete. On failure returns false and, when
// `errorMessage` is given, sets it to a sentence for the user naming the file
// and the system's reason.
bool SavePicture(const QImage &image, const QString &fileName, QString *errorMessage = nullptr);

// Writes a file by `write` (which says why when it fails) under the same rules
// as SavePicture: a regular file is replaced only by a complete new one, a
// character device (/dev/null) is written in place, a pipe, socket or block
// device is refused. On failure returns false and, when `errorMessage` is
// given, sets it to a sentence for the user naming the file and the reason.
using Writer = std::function<bool(QIODevice &device, QString &reason)>;
bool SaveFile(const QString &fileName, const Writer &write, QString *errorMessage = nullptr);

// Writes the same bytes SavePicture puts in a file to the open `device`
// (standard output, a buffer), as they come: nothing is made atomic. On
// failure returns false and, when `reason` is given, sets it to why.
bool WriteBmp(const QImage &image, QIODevice &device, QString *reason = nullptr);

} // namespace PictureFile
