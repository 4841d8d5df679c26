#pragma once

// The BMP encoder: a 24-bit uncompressed Windows bitmap, rows bottom-up,
// whatever form the image comes in (no colour table, no alpha channel).
// Written with our own code, a megabyte at a time: Qt's BMP writer took
// 2.6 times as long for the 4096 x 4096 sheet.

class QImage;
class QIODevice;
class QString;

namespace BmpEncoder {

// Writes `image` to the open `device` as it goes: nothing is made atomic
// here. On failure returns false and sets `reason`.
bool Write(const QImage &image, QIODevice &device, QString &reason);

} // namespace BmpEncoder
