#include "sheet/SheetFile.h"

#include "platform/PictureFile.h"
#include "sheet/PngFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSaveFile>


#include <sys/stat.h>
#include <unistd.h>

namespace SheetFile {

namespace {

using SheetArguments::Format;

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetFile", text);
}

bool fail(QString &error, const QString &fileName, const QString &reason)
{
    error = tr("Could not save the picture to %1: %2").arg(QDir::toNativeSeparators(fileName), reason);
    return false;
}

bool writeTo(const QImage &image, QIODevice &device, Format format, QString &reason)
{
    if (format == Format::Bmp)
        return PictureFile::WriteBmp(image, device, &reason);
    return PngFile::WritePng(image, device, reason);
}

bool writeToStandardOutput(const QImage &image, Format format, QString &error)
{
    const QString name = tr("standard output");
    if (::isatty(STDOUT_FILENO))
        return fail(error, name, tr("It is a terminal; send it to a file or a program instead."));
    QFile output;
    if (!output.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return fail(error, name, output.errorString());
    QString reason;
    if (!writeTo(image, output, format, reason))
        return fail(error, name, reason);
    return true;
}

enum class Target { RegularOrNew, CharacterDevice, OtherSpecial };

Target targetKind(const QString &fileName)
{
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return Target::RegularOrNew;
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return Target::RegularOrNew;
    return S_ISCHR(info.st_mode) ? Target::CharacterDevice : Target::OtherSpecial;
}

// The same rules as Save's BMP files: a new or regular file through a
// temporary file renamed into place, a device (/dev/null) in place, nothing
// else special.
bool savePng(const QImage &image, const QString &fileName, QString &error)
{
    QString reason;
    switch (targetKind(fileName)) {
    case Target::CharacterDevice: {
        QFile device(fileName);
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(error, fileName, device.errorString());
        if (!PngFile::WritePng(image, device, reason))
            return fail(error, fileName, reason);
        device.close();
        if (device.error() != QFileDevice::NoError)
            return fail(error, fileName, device.errorString());
        return true;
    }
    case Target::OtherSpecial:
        return fail(error, fileName, tr("It is not a regular file."));
    case Target::RegularOrNew:
        break;
    }

    // Unbuffered: a write that fails (a full disk) then says why at once; a
    // buffered one reports "Unknown error". The encoder writes large pieces.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(error, fileName, file.errorString());
    if (!PngFile::WritePng(image, file, reason)) {
        file.cancelWriting();
        return fail(error, fileName, reason);
    }
    if (!file.commit())
        return fail(error, fileName, file.errorString());
    return true;
}

} // namespace

bool WritePicture(const QImage &image, const QString &fileName, Format format, QString &error)
{
    if (fileName == QLatin1String("-"))
        return writeToStandardOutput(image, format, error);
    if (format == Format::Bmp)
        return PictureFile::SavePicture(image, fileName, &error);
    return savePng(image, fileName, error);
}

} // namespace SheetFile
