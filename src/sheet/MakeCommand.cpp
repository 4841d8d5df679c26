#include "sheet/MakeCommand.h"

#include "platform/PictureFile.h"
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

    QString error;
    VideoFrames::Module *module = VideoLibrary::Load(error);
    if (!module)
        return context.fail(error);
    SheetHost host;
    if (!host.Draw(Sheets::Index(mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    const QImage sheet = host.image().convertToFormat(QImage::Format_RGB32);
    const bool written = context.writeOut(fileName, true, [&](QIODevice &device, QString &reason) {
        return module->writeClip(sheet, format, frames, fps, device, reason);
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
        return makeClip(context, *mode, fileName, *clip);
    }
    if (context.isSet(QStringLiteral("seconds")) || context.isSet(QStringLiteral("fps")))
        return context.failUsage(tr("--seconds and --fps are for clips: end FILE in .mkv or .mp4."));
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
            return context.fail(tr("Cannot tell the format from the name %1: end it in .bmp or .png, or give --format.")
                                    .arg(QDir::toNativeSeparators(fileName)));
    }
    const QString standardOutput = tr("standard output");
    if (toStandardOutput && context.outIsTerminal())
        return context.fail(PictureFile::SaveFailure(
            standardOutput, tr("It is a terminal; send it to a file or a program instead.")));

    SheetHost host;
    if (!host.Draw(Sheets::Index(*mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
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
