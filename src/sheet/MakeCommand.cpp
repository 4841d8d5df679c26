#include "sheet/MakeCommand.h"

#include "generation/DeepSheet.h"
#include "picture/HdrMetadata.h"
#include "platform/PictureFile.h"
#include "platform/PngEncoder.h"
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

// How long a clip runs: --seconds S (default 5) at --fps F (default 30), as
// a number of frames; none after a message when either is malformed.
std::optional<int> clipFrames(CommandContext &context, int &fps, int &status)
{
    double seconds = 5;
    fps = 30;
    if (context.isSet(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = context.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400) {
            status = context.failUsage(tr("Malformed length '%1': give --seconds from more than 0 to 86400.")
                                           .arg(context.value(QStringLiteral("seconds"))));
            return std::nullopt;
        }
    }
    if (context.isSet(QStringLiteral("fps"))) {
        bool ok = false;
        fps = context.value(QStringLiteral("fps")).toInt(&ok);
        if (!ok || fps < 1 || fps > 1000) {
            status = context.failUsage(
                tr("Malformed frame rate '%1': give --fps from 1 to 1000.").arg(context.value(QStringLiteral("fps"))));
            return std::nullopt;
        }
    }
    return std::max(1, int(std::lround(seconds * fps)));
}

int makeClip(CommandContext &context, Mode mode, const QString &fileName, VideoFrames::ClipFormat format)
{
    int status = Done;
    int fps = 30;
    const std::optional<int> frames = clipFrames(context, fps, status);
    if (!frames)
        return status;
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
        return module->writeClip(sheet, format, *frames, fps, device, reason);
    }, error);
    return written ? Done : context.fail(error);
}

// The deep sheet's recipe from --transfer and --white.
std::optional<DeepSheet::Recipe> deepRecipe(CommandContext &context, int &status)
{
    DeepSheet::Recipe recipe;
    if (const std::optional<QString> transfer = context.option("transfer")) {
        const std::optional<DeepSheet::Transfer> named = DeepSheet::TransferNamed(transfer->toLower().toStdString());
        if (!named) {
            status = context.failUsage(tr("Unknown transfer '%1': give pq, hlg or sdr.").arg(*transfer));
            return std::nullopt;
        }
        recipe.transfer = *named;
    }
    recipe.white = DeepSheet::DefaultWhite(recipe.transfer);
    if (const std::optional<QString> white = context.option("white")) {
        bool ok = false;
        const int nits = white->toInt(&ok);
        if (!ok || nits < DeepSheet::LeastWhite || nits > DeepSheet::MostWhite) {
            status = context.failUsage(tr("Malformed white '%1': give --white in whole cd/m² from %2 to %3.")
                                           .arg(*white)
                                           .arg(DeepSheet::LeastWhite)
                                           .arg(DeepSheet::MostWhite));
            return std::nullopt;
        }
        recipe.white = nits;
    }
    return recipe;
}

// What the deep sheet is tagged with: H.273's code points, and the
// mastering display (BT.2020 primaries, up to the sheet's own brightest)
// and content light of PQ and HLG.
struct DeepTags
{
    HdrMetadata::Cicp cicp;
    const char *ffmpegTransfer;
    std::optional<HdrMetadata::MasteringDisplay> mastering;
    std::optional<HdrMetadata::ContentLight> light;
};

DeepTags deepTags(const DeepSheet::Recipe &recipe)
{
    using namespace HdrMetadata;
    DeepTags tags {{Code::PrimariesBt2020, Code::TransferBt709, Code::MatrixRgb, true}, "bt709", {}, {}};
    if (recipe.transfer == DeepSheet::Transfer::Sdr)
        return tags;
    const bool pq = recipe.transfer == DeepSheet::Transfer::Pq;
    tags.cicp.transfer = pq ? Code::TransferPq : Code::TransferHlg;
    tags.ffmpegTransfer = pq ? "smpte2084" : "arib-std-b67";
    const DeepSheet::ContentLight content = DeepSheet::ContentLightOf(recipe);
    tags.mastering = MasteringDisplay {{{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}}, {0.3127, 0.3290},
                                       content.maxCll, 0.0001};
    if (pq)
        tags.light = ContentLight {content.maxCll, content.maxFall};
    return tags;
}

int makeDeep(CommandContext &context, const QString &fileName)
{
    int status = Done;
    const std::optional<DeepSheet::Recipe> recipe = deepRecipe(context, status);
    if (!recipe)
        return status;
    const std::optional<VideoFrames::ClipFormat> clip = clipFormatOfName(fileName);
    const bool toStandardOutput = fileName == QLatin1String("-");
    if (!toStandardOutput && QFileInfo(fileName).isDir())
        return context.fail(PictureFile::SaveFailure(fileName, tr("It is a folder; give the name of a file in it.")));
    int bits = 10;
    if (const std::optional<QString> given = context.option("bits")) {
        bool ok = false;
        bits = given->toInt(&ok);
        if (!ok || (bits != 10 && bits != 12))
            return context.failUsage(tr("Malformed depth '%1': give --bits 10 or 12.").arg(*given));
        if (clip != VideoFrames::ClipFormat::Matroska || (bits == 12 && clip == VideoFrames::ClipFormat::Mp4))
            return context.failUsage(tr("--bits is for .mkv clips: a PNG holds 16 bits, an .mp4 clip 10."));
    }
    if (clip) {
        if (context.isSet(QStringLiteral("format")))
            return context.failUsage(tr("--format is for pictures; a clip's format is its name's: .mkv or .mp4."));
    } else {
        if (context.isSet(QStringLiteral("seconds")) || context.isSet(QStringLiteral("fps")))
            return context.failUsage(tr("--seconds and --fps are for clips: end FILE in .mkv or .mp4."));
        const std::optional<Format> format = context.isSet(QStringLiteral("format"))
                                                 ? ParseFormat(context.value(QStringLiteral("format")))
                                                 : toStandardOutput ? Format::Png : PictureFile::FormatOfName(fileName);
        if (format != Format::Png)
            return context.failUsage(
                tr("The deep sheet is written as 16-bit PNG (.png or --format png), or as a clip (.mkv, .mp4)."));
        if (toStandardOutput && context.outIsTerminal())
            return context.fail(PictureFile::SaveFailure(
                tr("standard output"), tr("It is a terminal; send it to a file or a program instead.")));
    }
    int fps = 30;
    std::optional<int> frames;
    if (clip && !(frames = clipFrames(context, fps, status)))
        return status;
    if (clip && toStandardOutput)
        return context.fail(tr("A clip is written to a file, not to standard output: its index is written last."));

    QImage sheet(DeepSheet::Width, DeepSheet::Height, QImage::Format_RGBX64);
    if (sheet.isNull())
        return context.failNoMemory(DeepSheet::Width, DeepSheet::Height);
    DeepSheet::Draw(*recipe, reinterpret_cast<std::uint16_t *>(sheet.bits()), sheet.bytesPerLine() / 2);
    const DeepTags tags = deepTags(*recipe);

    QString error;
    if (clip) {
        VideoFrames::Module *module = VideoLibrary::Load(error);
        if (!module)
            return context.fail(error);
        VideoFrames::DeepClip deep;
        deep.bits = bits;
        deep.transfer = QLatin1String(tags.ffmpegTransfer);
        if (tags.mastering) {
            deep.displayMaxNits = tags.mastering->maxNits;
            deep.displayMinNits = tags.mastering->minNits;
        }
        if (tags.light) {
            deep.maxCll = tags.light->maxCll;
            deep.maxFall = tags.light->maxFall;
        }
        const bool written = context.writeOut(fileName, true, [&](QIODevice &device, QString &reason) {
            return module->writeDeepClip(sheet, deep, *clip, *frames, fps, device, reason);
        }, error);
        return written ? Done : context.fail(error);
    }
    std::vector<HdrMetadata::Chunk> chunks = {HdrMetadata::CicpChunk(tags.cicp)};
    if (tags.mastering)
        chunks.push_back(HdrMetadata::MasteringChunk(*tags.mastering));
    if (tags.light)
        chunks.push_back(HdrMetadata::ContentLightChunk(*tags.light));
    const auto write = [&](QIODevice &device, QString &reason) {
        return PngEncoder::WriteDeep(sheet, chunks, device, reason);
    };
    return context.writeOut(fileName, true, write, error) ? Done : context.fail(error);
}

} // namespace

int Run(CommandContext &context)
{
    if (context.arguments()[0].compare(QLatin1String(DeepSheet::Name.data()), Qt::CaseInsensitive) == 0) {
        if (context.arguments()[1].isEmpty())
            return context.failUsage(tr("The file name is empty."));
        return makeDeep(context, context.arguments()[1]);
    }
    for (const char *deepOnly : {"transfer", "white", "bits"})
        if (context.isSet(QLatin1String(deepOnly)))
            return context.failUsage(tr("--%1 is for the deep sheet: make deep FILE.").arg(QLatin1String(deepOnly)));
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
