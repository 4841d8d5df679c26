#pragma once

// Reading a picture for a census: any format Qt reads, within Qt's
// allocation limit, and never a picture Qt only half read.

class QImage;
class QString;

namespace PictureReader {

// Reads `fileName` ("-": standard input) into `image`, as RGB32 or, when the
// picture has an alpha channel, ARGB32 (the colour of a pixel is then its low
// 24 bits, whatever its alpha). On failure returns false and sets `reason` to
// a sentence saying why.
bool ReadPicture(const QString &fileName, QImage &image, QString &reason);

// The largest decoded picture Qt agrees to read, in megabytes (0: no limit).
int AllocationLimit();

} // namespace PictureReader
