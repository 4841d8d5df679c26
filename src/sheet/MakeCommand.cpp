#include "sheet/MakeCommand.h"

#include "colour/Primaries.h"
#include "picture/ColourProfile.h"
#include "platform/PictureFile.h"
#include "platform/PngEncoder.h"
#include "sheet/ClipRecipe.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cmath>
#include <cstring>
#include <optional>


namespace MakeCommand {

namespace {

using namespace SheetArguments;

TINTWELL_TR_CONTEXT("SheetCommands");

// The clip a name asks for: .mkv or .mp4.
std::optional<VideoFrames::ClipFormat> clipFormatOfName(const QString &fileName)
{
    if (fileName.endsWith(QLatin1String(".mkv"), Qt::CaseInsensitive))
        return VideoFrames::ClipFormat::Matroska;
    if (fileName.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive))
        return VideoFrames::ClipFormat::Mp4;
    return std::nullopt;
}

// The clip options as given.
ClipRecipe::Given clipOptions(CommandContext &context)
{
    ClipRecipe::Given given;
    given.matrix = context.option("matrix");
    given.range = context.option("range");
    given.chroma = context.option("chroma");
    given.bits = context.option("bits");
    given.tagMatrix = context.option("tag-matrix");
    given.tagRange = context.option("tag-range");
    given.tagPrimaries = context.option("tag-primaries");
    given.tagTransfer = context.option("tag-transfer");
    given.untagged = context.isSet(QStringLiteral("untagged"));
    return given;
}

// "WxH", each from 1 to 16384.
std::optional<QSize> parseSize(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('x'), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    if (parts.size() != 2)
        return std::nullopt;
    bool okWidth = false, okHeight = false;
    const QSize size(parts[0].toInt(&okWidth), parts[1].toInt(&okHeight));
    constexpr int Largest = 16384;
    if (!okWidth || !okHeight || size.width() < 1 || size.height() < 1 || size.width() > Largest
        || size.height() > Largest)
        return std::nullopt;
    return size;
}

// The sheet in the middle of a frame of `size`, on mid grey, at an even place
// so that shared chroma samples line up with the sheet's own pixel pairs.
QImage inFrame(const QImage &sheet, QSize size)
{
    QImage frame(size, QImage::Format_RGB32);
    if (frame.isNull())
        return frame;
    frame.fill(QColor(128, 128, 128));
    const int x = (size.width() - sheet.width()) / 4 * 2;
    const int y = (size.height() - sheet.height()) / 4 * 2;
    for (int row = 0; row < sheet.height(); ++row)
        std::memcpy(frame.scanLine(y + row) + std::ptrdiff_t(x) * 4, sheet.constScanLine(row),
                    std::size_t(sheet.width()) * 4);
    return frame;
}

int makeClip(CommandContext &context, Mode mode, const QString &fileName, VideoFrames::ClipFormat format)
{
    double seconds = 5;
    int fps = 30;
    if (context.isSet(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = context.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400)
            return context.failUsage(tr("Malformed length '%1': give --seconds from more than 0 to 86400.")
                                         .arg(context.value(QStringLiteral("seconds"))));
    }
    if (context.isSet(QStringLiteral("fps"))) {
        bool ok = false;
        fps = context.value(QStringLiteral("fps")).toInt(&ok);
        if (!ok || fps < 1 || fps > 1000)
            return context.failUsage(
                tr("Malformed frame rate '%1': give --fps from 1 to 1000.").arg(context.value(QStringLiteral("fps"))));
    }
    const int frames = std::max(1, int(std::lround(seconds * fps)));
    if (fileName == QLatin1String("-"))
        return context.fail(tr("A clip is written to a file, not to standard output: its index is written last."));
    if (context.isSet(QStringLiteral("format")))
        return context.failUsage(tr("--format is for pictures; a clip's format is its name's: .mkv or .mp4."));
    const ClipRecipe::Given given = clipOptions(context);
    std::optional<VideoFrames::YcbcrRecipe> recipe;
    if (given.any()) {
        QString malformed;
        recipe = ClipRecipe::Parse(given, malformed);
        if (!recipe)
            return context.failUsage(malformed);
    }

    std::optional<QSize> frameSize;
    if (const std::optional<QString> size = context.option("size")) {
        frameSize = parseSize(*size);
        if (!frameSize)
            return context.failUsage(
                tr("Malformed size '%1': give --size WxH, each from 1 to 16384 (720x576, 1920x1080).").arg(*size));
    }

    QString error;
    VideoFrames::Module *module = VideoLibrary::Load(error);
    if (!module)
        return context.fail(error);
    SheetHost host;
    if (!host.Draw(Sheets::Index(mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    QImage sheet = host.image().convertToFormat(QImage::Format_RGB32);
    if (frameSize && *frameSize != sheet.size()) {
        if (frameSize->width() < sheet.width() || frameSize->height() < sheet.height())
            return context.failUsage(tr("The %1 sheet (%2x%3) does not fit in frames of %4x%5.")
                                         .arg(SheetArguments::ModeName(mode))
                                         .arg(sheet.width())
                                         .arg(sheet.height())
                                         .arg(frameSize->width())
                                         .arg(frameSize->height()));
        sheet = inFrame(sheet, *frameSize);
        if (sheet.isNull())
            return context.failNoMemory(frameSize->width(), frameSize->height());
    }
    if (recipe) {
        const QString refusal = ClipRecipe::Refusal(*recipe, format, sheet.size());
        if (!refusal.isEmpty())
            return context.fail(refusal);
    }
    const bool written = context.writeOut(fileName, true, [&](QIODevice &device, QString &reason) {
        return recipe ? module->writeYcbcrClip(sheet, *recipe, format, frames, fps, device, reason)
                      : module->writeClip(sheet, format, frames, fps, device, reason);
    }, error);
    return written ? Done : context.fail(error);
}

} // namespace

int Run(CommandContext &context)
{
    const std::optional<Mode> mode = ParseMode(context.arguments()[0]);
    if (!mode)
        return context.failUnknownMode(context.arguments()[0]);
    const QString fileName = context.arguments()[1];
    if (fileName.isEmpty())
        return context.failUsage(tr("The file name is empty."));
    if (const std::optional<VideoFrames::ClipFormat> clip = clipFormatOfName(fileName)) {
        if (QFileInfo(fileName).isDir())
            return context.fail(PictureFile::SaveFailure(fileName, tr("It is a folder; give the name of a file in it.")));
        if (context.isSet(QStringLiteral("profile")))
            return context.failUsage(tr("--profile is for PNG pictures; a clip says what its numbers mean with its "
                                        "tags (--tag-primaries, --tag-transfer)."));
        return makeClip(context, *mode, fileName, *clip);
    }
    if (context.isSet(QStringLiteral("seconds")) || context.isSet(QStringLiteral("fps"))
        || context.isSet(QStringLiteral("size")) || clipOptions(context).any())
        return context.failUsage(tr("--seconds, --fps, --size and the options of the clip's data and tags are for clips: "
                                    "end FILE in .mkv or .mp4."));
    const bool toStandardOutput = fileName == QLatin1String("-");
    if (!toStandardOutput && QFileInfo(fileName).isDir())
        return context.fail(PictureFile::SaveFailure(fileName, tr("It is a folder; give the name of a file in it.")));

    std::optional<Format> format;
    if (context.isSet(QStringLiteral("format"))) {
        format = ParseFormat(context.value(QStringLiteral("format")));
        if (!format)
            return context.fail(tr("Unknown format '%1': give bmp or png.").arg(context.value(QStringLiteral("format"))));
    } else if (toStandardOutput) {
        format = Format::Bmp;
    } else {
        format = PictureFile::FormatOfName(fileName);
        if (!format)
            return context.fail(tr("Cannot tell the format from the name %1: end it in .bmp or .png (a picture) or "
                                   ".mkv or .mp4 (a clip), or give --format.")
                                    .arg(QDir::toNativeSeparators(fileName)));
    }
    // The numbers as they are, with a profile saying what they mean.
    QByteArray profile;
    QByteArray profileName;
    if (const std::optional<QString> named = context.option("profile")) {
        const std::optional<Primaries::Set> set = Primaries::Named(named->toStdString());
        if (!set)
            return context.failUsage(
                tr("Unknown profile '%1': give --profile srgb, p3, adobe or bt2020 (or bt601-625, bt601-525).")
                    .arg(*named));
        if (*format != Format::Png)
            return context.failUsage(tr("--profile embeds an ICC profile, which a BMP file written here does not "
                                        "carry: end FILE in .png or give --format png."));
        profile = ColourProfile::Make(*set);
        if (profile.isEmpty())
            return context.fail(tr("LittleCMS could not make the %1 profile.").arg(*named));
        const std::string_view name = Primaries::Of(*set).name;
        profileName = *set == Primaries::Set::Bt709 ? QByteArray("sRGB") : QByteArray(name.data(), qsizetype(name.size()));
    }
    const QString standardOutput = tr("standard output");
    if (toStandardOutput && context.outIsTerminal())
        return context.fail(PictureFile::SaveFailure(
            standardOutput, tr("It is a terminal; send it to a file or a program instead.")));

    SheetHost host;
    if (!host.Draw(Sheets::Index(*mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    if (!profile.isEmpty()) {
        QString error;
        const bool written = context.writeOut(fileName, true, [&](QIODevice &device, QString &reason) {
            return PngEncoder::Write(host.image(), device, profile, profileName, reason);
        }, error);
        return written ? Done : context.fail(error);
    }
    if (toStandardOutput) {
        QString reason;
        if (!PictureFile::WritePicture(host.image(), context.out(), *format, reason))
            return context.fail(PictureFile::SaveFailure(standardOutput, reason));
        return Done;
    }
    QString error;
    if (!PictureFile::SavePicture(host.image(), fileName, *format, &error))
        return context.fail(error);
    return Done;
}

} // namespace MakeCommand
