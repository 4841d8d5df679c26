#pragma once

// Writing a sheet: a BMP file is exactly what the window's Save writes (the
// same code writes it), a PNG file holds the same pixels as 24-bit RGB.
// Files are written as Save writes them: an existing file is replaced only
// by a complete new one, and a failure leaves no partial file.

#include "sheet/SheetArguments.h"

class QImage;
class QString;

namespace SheetFile {

// Writes `image` to `fileName` ("-": standard output) in `format`. On failure
// returns false and sets `error` to a sentence naming the file and the reason.
bool WritePicture(const QImage &image, const QString &fileName, SheetArguments::Format format, QString &error);

} // namespace SheetFile
