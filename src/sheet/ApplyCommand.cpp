#include "sheet/ApplyCommand.h"

#include "lut/ColourLut.h"
#include "lut/CubeFile.h"
#include "lut/HaldClut.h"
#include "lut/SheetLut.h"
#include "picture/PictureDepth.h"
#include "picture/PictureReader.h"
#include "platform/PictureFile.h"
#include "platform/SafeSave.h"
#include "sheet/CommandContext.h"
#include "sheet/LutPictures.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <variant>

namespace ApplyCommand {

namespace {

TINTWELL_TR_CONTEXT("ApplyCommand");

using LutPictures::AnyLut;

constexpr CommandOption ModeOption {
    .name = "mode",
    .valueName = "MODE",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "LUT is an edited sheet of MODE."),
    .takes = Takes::Mode,
};
constexpr CommandOption FormatOption {
    .name = "format",
    .valueName = "hald|cube",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "LUT is a HaldCLUT picture (hald) or a .cube file (cube)."),
    .takes = Takes::Word,
    .words = "cube hald",
};
constexpr CommandOption InterpolationOption {
    .name = "interpolation",
    .valueName = "METHOD",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "tetrahedral (the default), trilinear or nearest."),
    .takes = Takes::Word,
    .words = "tetrahedral trilinear nearest",
};

// Reads the table `fileName` holds: a .cube file, unless --mode or --format
// hald says it is a picture, or Qt reads it as one.
bool readLut(const QString &fileName, LutPictures::Told told, bool cube, AnyLut &lut, QStringList &notes,
             QString &error)
{
    if (!cube && (told.mode || told.hald || !QImageReader::imageFormat(fileName).isEmpty()))
        return LutPictures::Read(fileName, told, lut, notes, error);
    ColourLut table;
    if (!CubeFile::ReadFile(fileName, table, error))
        return false;
    lut = std::move(table);
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

// Why `format` cannot hold a picture of `size`; empty when it can. Qt's
// writers fail on these with no reason of their own.
QString sizeRefused(const QByteArray &format, QSize size)
{
    // libjpeg's JPEG_MAX_DIMENSION and libwebp's WEBP_MAX_DIMENSION.
    constexpr int JpegLargest = 65500;
    constexpr int WebpLargest = 16383;
    const int largest = format == "jpeg" ? JpegLargest : format == "webp" ? WebpLargest : 0;
    if (largest == 0 || (size.width() <= largest && size.height() <= largest))
        return {};
    return tr("A %1 picture is at most %2 pixels wide and high, and the graded picture is %3x%4; write .png or "
              ".tif instead.")
        .arg(format == "jpeg" ? QStringLiteral("JPEG") : QStringLiteral("WebP"))
        .arg(largest)
        .arg(size.width())
        .arg(size.height());
}

bool writePicture(const QImage &picture, const QByteArray &format, QIODevice &device, QString &reason)
{
    const bool deep = PictureDepth::Deep(picture);
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
    // Encoded in memory first: Qt's writers say no more than "Write Error"
    // (libpng on standard error, too) when the output fails; the device says why.
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, format);
    if (format == "jpeg" || format == "webp")
        writer.setQuality(95);
    if (!writer.write(written)) {
        reason = writer.error() == QImageWriter::UnknownError
                     ? tr("Qt's %1 writer failed and gave no reason.").arg(QString::fromLatin1(format))
                     : writer.errorString();
        return false;
    }
    return SafeSave::WriteAll(device, encoded.data(), reason);
}

int run(CommandContext &context)
{
    const QStringList &arguments = context.arguments();
    const QString &lutName = arguments[0];
    const QString &pictureName = arguments[1];
    const QString &outName = arguments[2];

    std::optional<Mode> mode;
    if (const std::optional<QString> text = context.option(ModeOption)) {
        mode = SheetArguments::ParseMode(*text);
        if (!mode)
            return context.failUnknownMode(*text);
    }
    bool hald = false;
    bool cube = false;
    if (const std::optional<QString> text = context.option(FormatOption)) {
        hald = *text == QLatin1String("hald");
        cube = *text == QLatin1String("cube");
        if (!hald && !cube)
            return context.fail(tr("Unknown format '%1': give cube or hald.").arg(*text));
        if (mode)
            return context.failUsage(tr("--mode says LUT is an edited sheet and --format that it is not: give one."));
    }
    Interpolation method = Interpolation::Tetrahedral;
    if (const std::optional<QString> text = context.option(InterpolationOption)) {
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
    QStringList notes;
    bool lutRead = false;
    const auto readTable = [&] {
        try {
            lutRead = readLut(lutName, {mode, hald}, cube, lut, notes, lutError);
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
    // apply PICTURE LUT OUT: the table named where the picture belongs.
    if (!pictureRead && QFileInfo(pictureName).suffix().compare(QLatin1String("cube"), Qt::CaseInsensitive) == 0)
        return context.failUsage(tr("%1 is a look-up table, not a picture: the table comes first, as in "
                                    "apply LUT PICTURE OUT.")
                                     .arg(CommandContext::Shown(pictureName)));
    if (!lutRead)
        return context.fail(lutError);
    if (!pictureRead)
        return context.fail(tr("Could not read the picture %1: %2").arg(CommandContext::Shown(pictureName), reason));
    if (const QString refused = sizeRefused(format, picture.image.size()); !refused.isEmpty())
        return context.fail(tr("Could not save the picture to %1: %2").arg(QDir::toNativeSeparators(outName), refused));
    for (const QString &note : notes)
        context.warn(note);

    const bool applied = std::holds_alternative<SheetLut>(lut)
                             ? std::get<SheetLut>(lut).apply(picture.image, method, &scratch)
                             : std::get<ColourLut>(lut).apply(picture.image, method);
    if (!applied)
        return context.fail(tr("There is not enough memory to grade the picture %1.").arg(CommandContext::Shown(pictureName)));
    QString error;
    if (!context.writeOut(outName, true,
                  [&](QIODevice &device, QString &why) { return writePicture(picture.image, format, device, why); },
                  error))
        return context.fail(error);
    return Done;
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("apply"),
        .arguments = {{QStringLiteral("LUT"), tr("A .cube file, a HaldCLUT, or an edited sheet with --mode."),
                       Takes::File},
                      {QStringLiteral("PICTURE"), tr("The picture to grade; - for standard input."), Takes::File},
                      {QStringLiteral("OUT"), tr("The graded picture: .bmp, .png, .jpg, .tif or .webp."),
                       Takes::File}},
        .options = {ModeOption, FormatOption, InterpolationOption},
        .summary =
            tr("Grade PICTURE with a .cube file, a HaldCLUT or (with --mode) an edited sheet; write OUT."),
        .description = tr(
            "Grades PICTURE with the look-up table LUT and writes the result to OUT. LUT is a .cube file\n"
            "(3D or 1D, DOMAIN_MIN/DOMAIN_MAX honoured), a HaldCLUT picture, or with --mode an edited sheet\n"
            "of that mode: with an edited 16million sheet every pixel becomes exactly the edited colour of\n"
            "its own colour. Values are worked out in floating point and rounded to the nearest level.\n"
            "\n"
            "Without --mode or --format, a picture of a sheet's size is taken as that edited sheet, any\n"
            "other as a HaldCLUT. 27x27, 64x64, 512x512 and 4096x4096 are both a sheet's size and a\n"
            "HaldCLUT's: the picture is taken for the one whose unedited form it is nearer to, and a line on\n"
            "standard error says which. A table saved lossy (JPEG, lossy WebP) is used with a warning: the\n"
            "result cannot be exact.\n"
            "\n"
            "OUT's extension gives its format: .bmp, .png, .jpg, .tif or .webp. Alpha is kept where the\n"
            "format holds it; 16-bit pictures stay 16-bit in PNG and TIFF. OUT is replaced only by a\n"
            "complete new file."),
        .run = run,
    };
}

} // namespace ApplyCommand
