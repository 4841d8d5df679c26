#include "sheet/SheetFile.h"

#include "platform/PictureFile.h"
#include "sheet/PngFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>

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

} // namespace

bool WritePicture(const QImage &image, const QString &fileName, Format format, QString &error)
{
    if (fileName == QLatin1String("-"))
        return writeToStandardOutput(image, format, error);
    // The same rules as the window's Save: a file is replaced only by a
    // complete new one.
    return PictureFile::SaveFile(
        fileName, [&](QIODevice &file, QString &reason) { return writeTo(image, file, format, reason); }, &error);
}

} // namespace SheetFile
