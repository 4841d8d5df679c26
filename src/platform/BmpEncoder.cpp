#include "platform/BmpEncoder.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QImage>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace BmpEncoder {

namespace {

TINTWELL_TR_CONTEXT("BmpEncoder");

// The file: a 14-byte file header and a 40-byte info header, then the rows
// bottom-up, each pixel as blue, green, red, each row padded with zeros to a
// multiple of four bytes.
constexpr qsizetype FileHeaderBytes = 14;
constexpr qsizetype InfoHeaderBytes = 40;
constexpr qsizetype HeaderBytes = FileHeaderBytes + InfoHeaderBytes;
constexpr qint32 PixelsPerMetre = 2835; // 72 dpi

// Rows are converted into a buffer of about this size and written a buffer
// at a time: few calls, and the buffer is still in the cache when the system
// copies it. (256 KB and 4 MB measured the same.)
constexpr qsizetype ChunkBytes = qsizetype(1) << 20;

qsizetype paddedRowBytes(int width)
{
    return (qsizetype(width) * 3 + 3) / 4 * 4;
}

void putHeader(uchar *to, int width, int height, quint32 imageBytes)
{
    to[0] = 'B';
    to[1] = 'M';
    qToLittleEndian<quint32>(quint32(HeaderBytes) + imageBytes, to + 2);
    qToLittleEndian<quint32>(0, to + 6);  // reserved
    qToLittleEndian<quint32>(quint32(HeaderBytes), to + 10);
    qToLittleEndian<quint32>(quint32(InfoHeaderBytes), to + 14);
    qToLittleEndian<qint32>(width, to + 18);
    qToLittleEndian<qint32>(height, to + 22); // positive: bottom-up
    qToLittleEndian<quint16>(1, to + 26);  // planes
    qToLittleEndian<quint16>(24, to + 28); // bits a pixel
    qToLittleEndian<quint32>(0, to + 30);  // no compression
    qToLittleEndian<quint32>(imageBytes, to + 34);
    qToLittleEndian<qint32>(PixelsPerMetre, to + 38);
    qToLittleEndian<qint32>(PixelsPerMetre, to + 42);
    qToLittleEndian<quint32>(0, to + 46); // no colour table
    qToLittleEndian<quint32>(0, to + 50); // all colours important
}

// One row of 0xFFRRGGBB as blue, green, red bytes, four pixels (twelve
// bytes, three words) at a time.
void toBgr(const quint32 *from, int width, uchar *to)
{
    int x = 0;
    for (; x + 4 <= width; x += 4, from += 4, to += 12) {
        const quint32 p0 = from[0], p1 = from[1], p2 = from[2], p3 = from[3];
        qToLittleEndian<quint32>((p0 & 0xFFFFFFu) | p1 << 24, to);
        qToLittleEndian<quint32>((p1 >> 8 & 0xFFFFu) | p2 << 16, to + 4);
        qToLittleEndian<quint32>((p2 >> 16 & 0xFFu) | p3 << 8, to + 8);
    }
    for (; x < width; ++x, ++from, to += 3) {
        to[0] = uchar(qBlue(*from));
        to[1] = uchar(qGreen(*from));
        to[2] = uchar(qRed(*from));
    }
}

// Writes all of `size` bytes. Where the system takes only part, the rest is
// offered again: that call fails and leaves the system's reason on `device`.
bool writeAll(QIODevice &device, const uchar *data, qsizetype size)
{
    while (size > 0) {
        const qint64 written = device.write(reinterpret_cast<const char *>(data), size);
        if (written <= 0)
            return false;
        data += written;
        size -= qsizetype(written);
    }
    return true;
}

} // namespace

bool Write(const QImage &image, QIODevice &device, QString &reason)
{
    // Every pixel as 0xFFRRGGBB, whatever form the image came in.
    const QImage picture = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    const int width = picture.width();
    const int height = picture.height();
    const qsizetype rowBytes = paddedRowBytes(width);
    const qint64 imageBytes = qint64(rowBytes) * height;
    if (picture.isNull()) {
        reason = tr("The picture is empty.");
        return false;
    }
    if (imageBytes + HeaderBytes > qint64(std::numeric_limits<quint32>::max())) {
        reason = tr("The picture is too large for a BMP file.");
        return false;
    }

    const qsizetype rowsPerChunk = std::max<qsizetype>(1, ChunkBytes / rowBytes);
    const qsizetype capacity = HeaderBytes + rowsPerChunk * rowBytes;
    const auto buffer = std::make_unique_for_overwrite<uchar[]>(std::size_t(capacity));
    putHeader(buffer.get(), width, height, quint32(imageBytes));
    qsizetype filled = HeaderBytes;

    const qsizetype pixelBytes = qsizetype(width) * 3;
    for (int y = height - 1; y >= 0; --y) {
        if (filled + rowBytes > capacity) {
            if (!writeAll(device, buffer.get(), filled)) {
                reason = device.errorString();
                return false;
            }
            filled = 0;
        }
        uchar *row = buffer.get() + filled;
        toBgr(reinterpret_cast<const quint32 *>(picture.constScanLine(y)), width, row);
        std::memset(row + pixelBytes, 0, std::size_t(rowBytes - pixelBytes));
        filled += rowBytes;
    }
    if (!writeAll(device, buffer.get(), filled)) {
        reason = device.errorString();
        return false;
    }
    return true;
}

} // namespace BmpEncoder
