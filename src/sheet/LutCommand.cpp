#include "sheet/LutCommand.h"

#include "lut/CubeFile.h"
#include "lut/HaldClut.h"
#include "lut/SheetLut.h"
#include "platform/SafeSave.h"
#include "sheet/CommandContext.h"
#include "sheet/LutPictures.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

#include <new>
#include <optional>

namespace LutCommand {

namespace {

TINTWELL_TR_CONTEXT("LutCommand");

constexpr int DefaultCubeSize = 33;
constexpr int DefaultHaldLevel = 8;

constexpr CommandOption ModeOption {
    .name = "mode",
    .valueName = "MODE",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "The mode of the edited sheet."),
    .takes = Takes::Mode,
    .required = true,
};
constexpr CommandOption OutputOption {
    .name = "output",
    .valueName = "FILE",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "The file to write (default: standard output)."),
    .takes = Takes::File,
    .shortName = "o",
};
constexpr CommandOption SizeOption {
    .name = "size",
    .valueName = "N",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Points a channel of a .cube (2-256, default 33); level of a HaldCLUT (2-16, default 8)."),
};
constexpr CommandOption FormatOption {
    .name = "format",
    .valueName = "cube|hald",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "cube (the default) or hald."),
    .takes = Takes::Word,
    .words = "cube hald",
};

int run(CommandContext &context)
{
    const QStringList &arguments = context.arguments();
    const std::optional<QString> modeText = context.option(ModeOption);
    if (!modeText)
        return context.failUsage(tr("lut needs --mode: the mode of the edited sheet."));
    const std::optional<Mode> mode = SheetArguments::ParseMode(*modeText);
    if (!mode)
        return context.failUnknownMode(*modeText);
    const QString output = context.option(OutputOption).value_or(QStringLiteral("-"));
    const std::optional<QString> formatText = context.option(FormatOption);
    const std::optional<QString> sizeText = context.option(SizeOption);

    // The name's ending says the format, and must not say another.
    const QString suffix = QFileInfo(output).suffix().toLower();
    const bool namesCube = suffix == QLatin1String("cube");
    const bool namesPicture = output != QLatin1String("-") && !suffix.isEmpty()
                              && QImageWriter::supportedImageFormats().contains(suffix.toLatin1());
    bool hald = suffix == QLatin1String("png");
    if (formatText) {
        if (*formatText != QLatin1String("cube") && *formatText != QLatin1String("hald"))
            return context.fail(tr("Unknown format '%1': give cube or hald.").arg(*formatText));
        hald = *formatText == QLatin1String("hald");
    }
    if ((hald && (namesCube || (namesPicture && suffix != QLatin1String("png")))) || (!hald && namesPicture))
        return context.failUsage(tr("%1 is no name for a %2: name it .%3%4.")
                                     .arg(QDir::toNativeSeparators(output),
                                          hald ? tr("HaldCLUT, which is written as PNG") : tr(".cube file"),
                                          hald ? QStringLiteral("png") : QStringLiteral("cube"),
                                          formatText ? tr(", or give another --format") : QString()));
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
        QStringList notes;
        if (!LutPictures::ReadEditedSheet(arguments[0], *mode, sheet, notes, error))
            return context.fail(error);
        for (const QString &note : notes)
            context.warn(note);
        const LutTable table = sheet.resample(hald ? size * size : size);
        if (hald) {
            const QImage picture = HaldClut::ToPicture(table);
            if (picture.isNull())
                return context.fail(tr("There is not enough memory for the HaldCLUT."));
            // Encoded in memory first: libpng says no more than "Write Error"
            // when the output fails, the device says why.
            const auto write = [&](QIODevice &device, QString &reason) {
                QBuffer encoded;
                encoded.open(QIODevice::WriteOnly);
                QImageWriter writer(&encoded, "png");
                if (!writer.write(picture)) {
                    reason = writer.errorString();
                    return false;
                }
                return SafeSave::WriteAll(device, encoded.data(), reason);
            };
            return context.writeOut(output, true, write, error) ? Done : context.fail(error);
        }
        const QString title = QStringLiteral("%1 (%2)").arg(QFileInfo(arguments[0]).completeBaseName(),
                                                            SheetArguments::ModeName(*mode));
        const auto write = [&](QIODevice &device, QString &reason) {
            return CubeFile::Write(table, title, device, reason);
        };
        return context.writeOut(output, false, write, error) ? Done : context.fail(error);
    } catch (const std::bad_alloc &) {
        return context.fail(tr("There is not enough memory for a table of %1 points a channel.")
                                 .arg(hald ? size * size : size));
    }
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("lut"),
        .arguments = {{QStringLiteral("EDITED"), tr("The edited sheet; - for standard input."), Takes::File}},
        .options = {ModeOption, OutputOption, SizeOption, FormatOption},
        .summary = tr("Turn an edited sheet of MODE into a look-up table: a .cube file or a HaldCLUT."),
        .description =
            tr("Turns EDITED, the sheet of --mode after editing (graded in any editor: curves, levels, a film\n"
               "look; the same size, 8 or 16 bits a channel), into a look-up table that other programs read.\n"
               "Every colour of the sheet becomes the edited pixel at its place; a colour held in several\n"
               "places, the mean of them. Between the sheet's levels the table is interpolated trilinearly,\n"
               "beyond its outermost levels extrapolated linearly, so that an unedited sheet gives the identity.\n"
               "\n"
               "cube: a .cube file (TITLE, LUT_3D_SIZE, red changing fastest), --size points a channel from 2\n"
               "to 256 (default 33). hald: a HaldCLUT PNG of level --size from 2 to 16 (default 8: 512x512),\n"
               "16 bits a channel below level 16. The format is cube unless --format or a FILE ending in .png\n"
               "says hald. Without -o the table goes to standard output."),
        .run = run,
    };
}

} // namespace LutCommand
