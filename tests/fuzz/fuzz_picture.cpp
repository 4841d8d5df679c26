// The picture reader that census, lut and apply read every picture with:
// any bytes give a picture in one of its four formats or a reason, never a
// fault. Qt's image plugins (TIFF, WebP, JPEG, GIF...) are reached through
// the same function, as they are in the program.

#include "FuzzTarget.h"
#include "picture/PictureReader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The bytes are not copied: a read past their end is caught as it happens.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    PictureReader::Picture picture;
    QString reason;
    if (!PictureReader::ReadPicture(buffer, picture, reason)) {
        FuzzTarget::Require(!reason.isEmpty(), "a picture that cannot be read comes with a reason");
        return 0;
    }

    const QImage &image = picture.image;
    const QImage::Format format = image.format();
    const bool deep = format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64;
    FuzzTarget::Require(!image.isNull() && image.width() > 0 && image.height() > 0, "a picture read has pixels");
    FuzzTarget::Require(deep || format == QImage::Format_RGB32 || format == QImage::Format_ARGB32,
                        "a picture comes back as RGB32, ARGB32, RGBX64 or RGBA64");
    FuzzTarget::Require(picture.depth == (deep ? 16 : 8), "the depth says how many bits a channel holds");

    // Every row is read as census reads it: the rows lie within the picture's memory.
    const qsizetype rowBytes = qsizetype(image.width()) * (deep ? 8 : 4);
    unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *row = image.constScanLine(y);
        sum += row[0] + row[rowBytes - 1];
    }
    volatile unsigned seen = sum;
    (void)seen;
    return 0;
}
