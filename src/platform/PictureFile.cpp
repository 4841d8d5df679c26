#include "PictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

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

// The device's own error says why (a full disk, say) where the writer only
// knows that writing stopped.
QString reasonFor(const QFileDevice &file, const QImageWriter &writer)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return writer.errorString();
}

// Qt's BMP writer stores 24 bits a pixel only for images without alpha and
// more than 8 bits a pixel; RGB32 is the form it is known to write that way.
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
bool writeToDevice(const QImage &image, const QString &fileName, QString *errorMessage)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(errorMessage, fileName, file.errorString());
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image) || file.error() != QFileDevice::NoError)
        return fail(errorMessage, fileName, reasonFor(file, writer));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(errorMessage, fileName, file.errorString());
    return true;
}

} // namespace

bool SavePicture(const QImage &image, const QString &fileName, QString *errorMessage)
{
    const QImage picture = asRgb32(image);

    switch (targetKind(fileName)) {
    case Target::CharacterDevice:
        return writeToDevice(picture, fileName, errorMessage);
    case Target::OtherSpecial:
        // A pipe or socket would block or swallow the picture, and a block
        // device is a disk.
        return fail(errorMessage, fileName,
                    QCoreApplication::translate("PictureFile", "It is not a regular file."));
    case Target::RegularOrNew:
        break;
    }

    // No direct-write fallback: a folder where no temporary file can be made
    // must fail rather than have the old file truncated and half rewritten.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return fail(errorMessage, fileName, file.errorString());
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture) && file.error() == QFileDevice::NoError) {
        const QString reason = writer.errorString();
        file.cancelWriting();
        return fail(errorMessage, fileName, reason);
    }
    // After a failed write QSaveFile knows that it failed but not always why
    // (a full disk can read "Unknown error"); commit() then tries the rest
    // again, fails with the system's reason and discards the temporary file.
    if (!file.commit())
        return fail(errorMessage, fileName, file.errorString());
    return true;
}

} // namespace PictureFile
