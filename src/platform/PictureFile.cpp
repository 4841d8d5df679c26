#include "platform/PictureFile.h"

#include "generation/Canvas.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include <sys/stat.h>

namespace PictureFile {

namespace {

bool fail(QString *errorMessage, const QString &fileName, const QString &reason)
{
    if (errorMessage)
        *errorMessage = QCoreApplication::translate("PictureFile", "Could not save the picture to %1: %2")
                            .arg(QDir::toNativeSeparators(fileName), reason);
    return false;
}

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
// offered again: that call fails and leaves the system's reason on `file`.
bool writeAll(QIODevice &file, const uchar *data, qsizetype size)
{
    while (size > 0) {
        const qint64 written = file.write(reinterpret_cast<const char *>(data), size);
        if (written <= 0)
            return false;
        data += written;
        size -= qsizetype(written);
    }
    return true;
}

// Writes `picture` (RGB32) as a BMP file. On failure `reason` says why.
bool writeBmp(QIODevice &file, const QImage &picture, QString &reason)
{
    const int width = picture.width();
    const int height = picture.height();
    const qsizetype rowBytes = paddedRowBytes(width);
    const qint64 imageBytes = qint64(rowBytes) * height;
    if (picture.isNull()) {
        reason = QCoreApplication::translate("PictureFile", "The picture is empty.");
        return false;
    }
    if (imageBytes + HeaderBytes > qint64(std::numeric_limits<quint32>::max())) {
        reason = QCoreApplication::translate("PictureFile", "The picture is too large for a BMP file.");
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
            if (!writeAll(file, buffer.get(), filled)) {
                reason = file.errorString();
                return false;
            }
            filled = 0;
        }
        uchar *row = buffer.get() + filled;
        toBgr(reinterpret_cast<const quint32 *>(picture.constScanLine(y)), width, row);
        std::memset(row + pixelBytes, 0, std::size_t(rowBytes - pixelBytes));
        filled += rowBytes;
    }
    if (!writeAll(file, buffer.get(), filled)) {
        reason = file.errorString();
        return false;
    }
    return true;
}

// Every pixel as 0xFFRRGGBB, whatever form the image came in.
QImage asRgb32(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
}

enum class Target { RegularOrNew, CharacterDevice, OtherSpecial };

Target targetKind(const QString &fileName)
{
    // stat() follows symbolic links, as opening the name does.
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return Target::RegularOrNew;
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return Target::RegularOrNew;
    return S_ISCHR(info.st_mode) ? Target::CharacterDevice : Target::OtherSpecial;
}

// A device has no content to keep safe, and QSaveFile would rename its
// temporary file over the device node, so a device is written in place.
bool writeToDevice(const QString &fileName, const Writer &write, QString *errorMessage)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(errorMessage, fileName, file.errorString());
    QString reason;
    if (!write(file, reason))
        return fail(errorMessage, fileName, reason);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(errorMessage, fileName, file.errorString());
    return true;
}

} // namespace

QImage CanvasPicture(const Canvas &canvas)
{
    return QImage(reinterpret_cast<const uchar *>(canvas.bits()), canvas.width(), canvas.height(),
                  static_cast<qsizetype>(canvas.bytesPerLine()), QImage::Format_RGB32);
}

bool SavePicture(const QImage &image, const QString &fileName, QString *errorMessage)
{
    const QImage picture = asRgb32(image);
    return SaveFile(
        fileName, [&picture](QIODevice &file, QString &reason) { return writeBmp(file, picture, reason); },
        errorMessage);
}

bool SaveFile(const QString &fileName, const Writer &write, QString *errorMessage)
{
    switch (targetKind(fileName)) {
    case Target::CharacterDevice:
        return writeToDevice(fileName, write, errorMessage);
    case Target::OtherSpecial:
        // A pipe or socket would block or swallow the picture, and a block
        // device is a disk.
        return fail(errorMessage, fileName,
                    QCoreApplication::translate("PictureFile", "It is not a regular file."));
    case Target::RegularOrNew:
        break;
    }

    // The new file is written beside the old one and then takes its place.
    // Only where the folder allows no new file (so no temporary one) but the
    // old file may be written is it rewritten in place: not atomic, but the
    // only way to save there. QSaveFile falls back to that only when making
    // the temporary file is refused. Unbuffered, so that a failed write (a
    // full disk) says why at once; the writers hand over large pieces.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(QFileInfo(fileName).isFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(errorMessage, fileName, file.errorString());
    // The reason is taken at once: closing the file on the way to discarding
    // it clears the error QSaveFile holds.
    QString reason;
    if (!write(file, reason)) {
        file.cancelWriting();
        return fail(errorMessage, fileName, reason);
    }
    if (!file.commit())
        return fail(errorMessage, fileName, file.errorString());
    return true;
}

bool WriteBmp(const QImage &image, QIODevice &device, QString *reason)
{
    QString why;
    if (writeBmp(device, asRgb32(image), why))
        return true;
    if (reason)
        *reason = why;
    return false;
}

} // namespace PictureFile
