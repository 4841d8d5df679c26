#include "sheet/LutCommands.h"

#include "sheet/CubeFile.h"
#include "sheet/HaldClut.h"
#include "sheet/PictureReader.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetLut.h"

#include "platform/PictureFile.h"
#include "platform/SafeSave.h"
#include "sheet/CommandContext.h"

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <new>
#include <system_error>
#include <thread>
#include <variant>

#include <unistd.h>

namespace LutCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LutCommands", text);
}

QString shown(const QString &fileName)
{
    return fileName == QLatin1String("-") ? tr("standard input") : QDir::toNativeSeparators(fileName);
}

constexpr int DefaultCubeSize = 33;
constexpr int DefaultHaldLevel = 8;
// A .cube file of the largest size (256) takes about 450 MB as text.
constexpr qint64 LargestCubeFile = qint64(1) << 30;

std::optional<Mode> modeNamed(const QString &text)
{
    return SheetArguments::ParseMode(text);
}

// Reads the edited sheet of `mode` from `fileName` into `sheet`.
bool readSheet(const QString &fileName, Mode mode, SheetLut &sheet, QString &error)
{
    PictureReader::Picture picture;
    QString reason;
    if (!PictureReader::ReadPicture(fileName, picture, reason) || !sheet.load(picture.image, mode, reason)) {
        error = tr("Could not read the edited sheet %1: %2").arg(shown(fileName), reason);
        return false;
    }
    return true;
}

bool isTerminal(QIODevice &device)
{
    const auto *file = qobject_cast<QFileDevice *>(&device);
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

// Writes through `write` to `fileName` under SafeSave's rules, or to the
// command's standard output for "-" (not a terminal when `binary`).
bool writeOut(CommandContext &context, const QString &fileName, bool binary, const SafeSave::Writer &write,
              QString &error)
{
    QString reason;
    if (fileName != QLatin1String("-")) {
        if (SafeSave::Save(fileName, write, reason))
            return true;
        error = PictureFile::SaveFailure(fileName, reason);
        return false;
    }
    const QString name = tr("standard output");
    if (binary && isTerminal(context.out()))
        reason = tr("It is a terminal; send it to a file or a program instead.");
    else if (write(context.out(), reason))
        return true;
    error = PictureFile::SaveFailure(name, reason);
    return false;
}

// --- apply ------------------------------------------------------------------

using AnyLut = std::variant<ColourLut, SheetLut>;

// Reads the table `fileName` holds: an edited sheet when `mode` is given, a
// HaldCLUT when the file is a picture, a .cube file otherwise.
bool readLut(const QString &fileName, std::optional<Mode> mode, AnyLut &lut, QString &error)
{
    if (mode) {
        SheetLut sheet;
        if (!readSheet(fileName, *mode, sheet, error))
            return false;
        lut = std::move(sheet);
        return true;
    }
    if (!QImageReader::imageFormat(fileName).isEmpty()) {
        PictureReader::Picture picture;
        QString reason;
        ColourLut hald;
        hald.table.emplace();
        if (!PictureReader::ReadPicture(fileName, picture, reason)
            || !HaldClut::FromPicture(picture.image, *hald.table, reason)) {
            error = tr("Could not read the HaldCLUT %1: %2").arg(shown(fileName), reason);
            return false;
        }
        lut = std::move(hald);
        return true;
    }

    QFile file(fileName);
    const QString name = QDir::toNativeSeparators(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        error = tr("Could not read the look-up table %1: %2")
                    .arg(name, QFileInfo(fileName).isDir() ? tr("It is a folder.") : file.errorString());
        return false;
    }
    // Read a piece at a time: QIODevice::read(n) takes n bytes of memory
    // before it reads, so one read of the largest size would ask for 1 GiB
    // for every small table.
    constexpr qint64 Piece = qint64(1) << 20;
    QByteArray bytes;
    while (bytes.size() <= LargestCubeFile) {
        const QByteArray piece = file.read(Piece);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (file.error() != QFileDevice::NoError) {
        error = tr("Could not read the look-up table %1: %2").arg(name, file.errorString());
        return false;
    }
    if (bytes.size() > LargestCubeFile) {
        error = tr("%1: the file is larger than a .cube file of LUT_3D_SIZE 256 can be.").arg(name);
        return false;
    }
    ColourLut cube;
    CubeFile::ReadError readError;
    if (!CubeFile::Read(bytes, cube, readError)) {
        error = QStringLiteral("%1: line %2: %3").arg(name).arg(readError.line).arg(readError.what);
        return false;
    }
    lut = std::move(cube);
    return true;
}

std::optional<Interpolation> interpolationNamed(const QString &text)
{
    if (text == QLatin1String("tetrahedral"))
        return Interpolation::Tetrahedral;
    if (text == QLatin1String("trilinear"))
        return Interpolation::Trilinear;
    if (text == QLatin1String("nearest"))
        return Interpolation::Nearest;
    return std::nullopt;
}

// The format Qt writes for OUT's extension.
QByteArray formatOfName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "jpeg";
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return "tiff";
    for (const char *format : {"bmp", "png", "webp"}) {
        if (suffix == QLatin1String(format))
            return format;
    }
    return {};
}

bool writePicture(const QImage &picture, const QByteArray &format, QIODevice &device, QString &reason)
{
    const bool deep = picture.format() == QImage::Format_RGBX64 || picture.format() == QImage::Format_RGBA64;
    // An opaque 8-bit BMP is written as the window's Save writes it.
    if (format == "bmp" && picture.format() == QImage::Format_RGB32)
        return PictureFile::WritePicture(picture, device, PictureFile::Format::Bmp, reason);
    QImage written = picture;
    // Only PNG and TIFF keep 16 bits a channel.
    if (deep && format != "png" && format != "tiff")
        written = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (written.isNull()) {
        reason = tr("There is not enough memory to convert the picture.");
        return false;
    }
    QImageWriter writer(&device, format);
    if (format == "jpeg" || format == "webp")
        writer.setQuality(95);
    if (!writer.write(written)) {
        reason = writer.errorString();
        return false;
    }
    return true;
}

} // namespace

int RunApply(CommandContext &context)
{
    const QStringList &arguments = context.arguments();
    const auto option = [&](const char *name) {
        const QString key = QLatin1String(name);
        return context.isSet(key) ? std::optional<QString>(context.value(key)) : std::nullopt;
    };
    const QString &lutName = arguments[0];
    const QString &pictureName = arguments[1];
    const QString &outName = arguments[2];

    std::optional<Mode> mode;
    if (const std::optional<QString> text = option("mode")) {
        mode = modeNamed(*text);
        if (!mode)
            return context.failUnknownMode(*text);
    }
    Interpolation method = Interpolation::Tetrahedral;
    if (const std::optional<QString> text = option("interpolation")) {
        const std::optional<Interpolation> named = interpolationNamed(*text);
        if (!named)
            return context.fail(tr("Unknown interpolation '%1': give tetrahedral, trilinear or nearest.").arg(*text));
        method = *named;
    }
    const QByteArray format = formatOfName(outName);
    if (format.isEmpty())
        return context.fail(tr("Cannot tell the format from the name %1: end it in .bmp, .png, .jpg, .tif or .webp.")
                                 .arg(QDir::toNativeSeparators(outName)));

    // The table and the picture are read at the same time.
    AnyLut lut;
    QString lutError;
    bool lutRead = false;
    const auto readTable = [&] {
        try {
            lutRead = readLut(lutName, mode, lut, lutError);
        } catch (const std::bad_alloc &) {
            lutError = tr("There is not enough memory for the look-up table %1.").arg(QDir::toNativeSeparators(lutName));
        }
    };
    std::optional<std::thread> helper;
    try {
        helper.emplace(readTable);
    } catch (const std::system_error &) {
        readTable(); // no thread to be had: one after the other
    }
    PictureReader::Picture picture;
    QString reason;
    const bool pictureRead = PictureReader::ReadPicture(pictureName, picture, reason);
    SheetLut::Scratch scratch;
    if (pictureRead && mode)
        scratch = SheetLut::ScratchFor(picture.image, *mode);
    if (helper)
        helper->join();
    if (!lutRead)
        return context.fail(lutError);
    if (!pictureRead)
        return context.fail(tr("Could not read the picture %1: %2").arg(shown(pictureName), reason));

    const bool applied = std::holds_alternative<SheetLut>(lut)
                             ? std::get<SheetLut>(lut).apply(picture.image, method, &scratch)
                             : std::get<ColourLut>(lut).apply(picture.image, method);
    if (!applied)
        return context.fail(tr("There is not enough memory to grade the picture %1.").arg(shown(pictureName)));
    QString error;
    if (!writeOut(context, outName, true,
                  [&](QIODevice &device, QString &why) { return writePicture(picture.image, format, device, why); },
                  error))
        return context.fail(error);
    return Done;
}

int RunLut(CommandContext &context)
{
    const QStringList &arguments = context.arguments();
    const auto option = [&](const char *name) {
        const QString key = QLatin1String(name);
        return context.isSet(key) ? std::optional<QString>(context.value(key)) : std::nullopt;
    };
    const std::optional<QString> modeText = option("mode");
    if (!modeText)
        return context.failUsage(tr("lut needs --mode: the mode of the edited sheet."));
    const std::optional<Mode> mode = modeNamed(*modeText);
    if (!mode)
        return context.failUnknownMode(*modeText);
    const QString output = option("output").value_or(QStringLiteral("-"));
    const std::optional<QString> formatText = option("format");
    const std::optional<QString> sizeText = option("size");

    bool hald = false;
    if (formatText) {
        if (*formatText != QLatin1String("cube") && *formatText != QLatin1String("hald"))
            return context.fail(tr("Unknown format '%1': give cube or hald.").arg(*formatText));
        hald = *formatText == QLatin1String("hald");
    } else {
        hald = QFileInfo(output).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0;
    }
    const int smallest = hald ? HaldClut::SmallestLevel : 2;
    const int largest = hald ? HaldClut::LargestLevel : CubeFile::Largest3dSize;
    int size = hald ? DefaultHaldLevel : DefaultCubeSize;
    if (sizeText) {
        bool ok = false;
        size = sizeText->toInt(&ok);
        if (!ok || size < smallest || size > largest)
            return context.fail(tr("--size %1: give a whole number from %2 to %3 (%4).")
                                     .arg(*sizeText)
                                     .arg(smallest)
                                     .arg(largest)
                                     .arg(hald ? tr("the HaldCLUT's level") : tr("the .cube's points a channel")));
    }

    SheetLut sheet;
    QString error;
    try {
        if (!readSheet(arguments[0], *mode, sheet, error))
            return context.fail(error);
        const LutTable table = sheet.resample(hald ? size * size : size);
        if (hald) {
            const QImage picture = HaldClut::ToPicture(table);
            if (picture.isNull())
                return context.fail(tr("There is not enough memory for the HaldCLUT."));
            const auto write = [&](QIODevice &device, QString &reason) {
                QImageWriter writer(&device, "png");
                if (writer.write(picture))
                    return true;
                reason = writer.errorString();
                return false;
            };
            return writeOut(context, output, true, write, error) ? Done : context.fail(error);
        }
        const QString title = QStringLiteral("%1 (%2)").arg(QFileInfo(arguments[0]).completeBaseName(),
                                                            SheetArguments::ModeName(*mode));
        const auto write = [&](QIODevice &device, QString &reason) {
            return CubeFile::Write(table, title, device, reason);
        };
        return writeOut(context, output, false, write, error) ? Done : context.fail(error);
    } catch (const std::bad_alloc &) {
        return context.fail(tr("There is not enough memory for a table of %1 points a channel.")
                                 .arg(hald ? size * size : size));
    }
}

QString LutDescription()
{
    return tr("Turns EDITED, the sheet of --mode after editing (graded in any editor: curves, levels, a film\n"
              "look; the same size, 8 or 16 bits a channel), into a look-up table that other programs read.\n"
              "Every colour of the sheet becomes the edited pixel at its place; a colour held in several\n"
              "places, the mean of them. Between the sheet's levels the table is interpolated trilinearly,\n"
              "beyond its outermost levels extrapolated linearly, so that an unedited sheet gives the identity.\n"
              "\n"
              "cube: a .cube file (TITLE, LUT_3D_SIZE, red changing fastest), --size points a channel from 2\n"
              "to 256 (default 33). hald: a HaldCLUT PNG of level --size from 2 to 16 (default 8: 512x512),\n"
              "16 bits a channel below level 16. The format is cube unless --format or a FILE ending in .png\n"
              "says hald. Without -o the table goes to standard output.");
}

QString ApplyDescription()
{
    return tr("Grades PICTURE with the look-up table LUT and writes the result to OUT. LUT is a .cube file\n"
              "(3D or 1D, DOMAIN_MIN/DOMAIN_MAX honoured), a HaldCLUT picture, or with --mode an edited sheet\n"
              "of that mode: with an edited 16million sheet every pixel becomes exactly the edited colour of\n"
              "its own colour. Values are worked out in floating point and rounded to the nearest level.\n"
              "\n"
              "OUT's extension gives its format: .bmp, .png, .jpg, .tif or .webp. Alpha is kept where the\n"
              "format holds it; 16-bit pictures stay 16-bit in PNG and TIFF. OUT is replaced only by a\n"
              "complete new file.");
}

QString LutSummary()
{
    return tr("Turn an edited sheet of MODE into a look-up table: a .cube file or a HaldCLUT.");
}

QString ApplySummary()
{
    return tr("Grade PICTURE with a .cube file, a HaldCLUT or (with --mode) an edited sheet; write OUT.");
}

QList<QCommandLineOption> LutOptions()
{
    return {
        {QStringLiteral("mode"), tr("The mode of the edited sheet."), QStringLiteral("MODE")},
        {{QStringLiteral("output"), QStringLiteral("o")}, tr("The file to write (default: standard output)."),
         QStringLiteral("FILE")},
        {QStringLiteral("size"),
         tr("Points a channel of a .cube (2-256, default 33); level of a HaldCLUT (2-16, default 8)."),
         QStringLiteral("N")},
        {QStringLiteral("format"), tr("cube (the default) or hald."), QStringLiteral("cube|hald")},
    };
}

QList<QCommandLineOption> ApplyOptions()
{
    return {
        {QStringLiteral("mode"), tr("LUT is an edited sheet of MODE."), QStringLiteral("MODE")},
        {QStringLiteral("interpolation"), tr("tetrahedral (the default), trilinear or nearest."),
         QStringLiteral("METHOD")},
    };
}

} // namespace LutCommands
