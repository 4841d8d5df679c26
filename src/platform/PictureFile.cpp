#include "platform/PictureFile.h"

#include "platform/BmpEncoder.h"
#include "platform/PngEncoder.h"
#include "platform/SafeSave.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace PictureFile {

std::optional<Format> FormatOfName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0)
        return Format::Bmp;
    if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return Format::Png;
    return std::nullopt;
}

bool SavePicture(const QImage &image, const QString &fileName, Format format, QString *errorMessage)
{
    QString reason;
    if (SafeSave::Save(
            fileName, [&](QIODevice &file, QString &why) { return WritePicture(image, file, format, why); }, reason))
        return true;
    if (errorMessage)
        *errorMessage = SaveFailure(fileName, reason);
    return false;
}

bool WritePicture(const QImage &image, QIODevice &device, Format format, QString &reason)
{
    switch (format) {
    case Format::Bmp:
        return BmpEncoder::Write(image, device, reason);
    case Format::Png:
        return PngEncoder::Write(image, device, reason);
    }
    return false;
}

QString SaveFailure(const QString &fileName, const QString &reason)
{
    return QCoreApplication::translate("PictureFile", "Could not save the picture to %1: %2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

} // namespace PictureFile
