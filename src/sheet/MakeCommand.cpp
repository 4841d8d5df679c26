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

constexpr CommandOption FormatOption {
    .name = "format",
    .valueName = "bmp|png",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "The picture format, bmp or png (default: FILE's extension; BMP for -)."),
    .takes = Takes::Word,
    .words = "bmp png",
};
constexpr CommandOption SecondsOption {
    .name = "seconds",
    .valueName = "S",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip's length in seconds (default 5)."),
};
constexpr CommandOption FpsOption {
    .name = "fps",
    .valueName = "F",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip's frames a second (default 30)."),
};
constexpr CommandOption ProfileOption {
    .name = "profile",
    .valueName = "srgb|p3|adobe|bt2020",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Embed the ICC profile of these primaries in the PNG (the numbers unchanged)."),
    .takes = Takes::Word,
    .words = "srgb p3 adobe bt2020",
};
constexpr CommandOption SizeOption {
    .name = "size",
    .valueName = "WxH",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "A clip's frames of WxH, the sheet in their middle on grey (default: the sheet's size)."),
};
constexpr CommandOption MatrixOption {
    .name = "matrix",
    .valueName = "bt601|bt709|bt2020",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip of Y'CbCr data made with this matrix (default bt709)."),
    .takes = Takes::Word,
    .words = "bt601 bt709 bt2020",
};
constexpr CommandOption RangeOption {
    .name = "range",
    .valueName = "limited|full",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip of Y'CbCr data in this range (default limited)."),
    .takes = Takes::Word,
    .words = "limited full",
};
constexpr CommandOption ChromaOption {
    .name = "chroma",
    .valueName = "444|422|420",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip of Y'CbCr data with this chroma format (default 420)."),
    .takes = Takes::Word,
    .words = "444 422 420",
};
constexpr CommandOption BitsOption {
    .name = "bits",
    .valueName = "8|10",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A clip of Y'CbCr data of this depth (default 8)."),
    .takes = Takes::Word,
    .words = "8 10",
};
constexpr CommandOption TagMatrixOption {
    .name = "tag-matrix",
    .valueName = "bt601|bt709|bt2020|none",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "Tag the clip's matrix as this, or leave it out (default: as made)."),
    .takes = Takes::Word,
    .words = "bt601 bt709 bt2020 none",
};
constexpr CommandOption TagRangeOption {
    .name = "tag-range",
    .valueName = "limited|full|none",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "Tag the clip's range as this, or leave it out (default: as made)."),
    .takes = Takes::Word,
    .words = "limited full none",
};
constexpr CommandOption TagPrimariesOption {
    .name = "tag-primaries",
    .valueName = "bt601-625|bt601-525|bt709|p3|bt2020|none",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Tag the clip's primaries as this, or leave them out (default: the matrix's own)."),
    .takes = Takes::Word,
    .words = "bt601-625 bt601-525 bt709 p3 bt2020 none",
};
constexpr CommandOption TagTransferOption {
    .name = "tag-transfer",
    .valueName = "bt709|smpte170m|bt2020|srgb|gamma22|gamma28|linear|pq|hlg|none",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Tag the clip's transfer as this, or leave it out (default: the matrix's own)."),
    .takes = Takes::Word,
    .words = "bt709 smpte170m bt2020 srgb gamma22 gamma28 linear pq hlg none",
};
constexpr CommandOption UntaggedOption {
    .name = "untagged",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Leave every tag of the clip out (range, matrix, primaries, transfer)."),
};

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
    given.matrix = context.option(MatrixOption);
    given.range = context.option(RangeOption);
    given.chroma = context.option(ChromaOption);
    given.bits = context.option(BitsOption);
    given.tagMatrix = context.option(TagMatrixOption);
    given.tagRange = context.option(TagRangeOption);
    given.tagPrimaries = context.option(TagPrimariesOption);
    given.tagTransfer = context.option(TagTransferOption);
    given.untagged = context.isSet(UntaggedOption);
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
    if (context.isSet(SecondsOption)) {
        bool ok = false;
        seconds = context.value(SecondsOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400)
            return context.failUsage(tr("Malformed length '%1': give --seconds from more than 0 to 86400.")
                                         .arg(context.value(SecondsOption)));
    }
    if (context.isSet(FpsOption)) {
        bool ok = false;
        fps = context.value(FpsOption).toInt(&ok);
        if (!ok || fps < 1 || fps > 1000)
            return context.failUsage(
                tr("Malformed frame rate '%1': give --fps from 1 to 1000.").arg(context.value(FpsOption)));
    }
    const int frames = std::max(1, int(std::lround(seconds * fps)));
    if (fileName == QLatin1String("-"))
        return context.fail(tr("A clip is written to a file, not to standard output: its index is written last."));
    if (context.isSet(FormatOption))
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
    if (const std::optional<QString> size = context.option(SizeOption)) {
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

int run(CommandContext &context)
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
        if (context.isSet(ProfileOption))
            return context.failUsage(tr("--profile is for PNG pictures; a clip says what its numbers mean with its "
                                        "tags (--tag-primaries, --tag-transfer)."));
        return makeClip(context, *mode, fileName, *clip);
    }
    if (context.isSet(SecondsOption) || context.isSet(FpsOption) || context.isSet(SizeOption)
        || clipOptions(context).any())
        return context.failUsage(tr("--seconds, --fps, --size and the options of the clip's data and tags are for clips: "
                                    "end FILE in .mkv or .mp4."));
    const bool toStandardOutput = fileName == QLatin1String("-");
    if (!toStandardOutput && QFileInfo(fileName).isDir())
        return context.fail(PictureFile::SaveFailure(fileName, tr("It is a folder; give the name of a file in it.")));

    std::optional<Format> format;
    if (context.isSet(FormatOption)) {
        format = ParseFormat(context.value(FormatOption));
        if (!format)
            return context.fail(tr("Unknown format '%1': give bmp or png.").arg(context.value(FormatOption)));
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
    if (const std::optional<QString> named = context.option(ProfileOption)) {
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

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("make"),
        .arguments = {{QStringLiteral("MODE"), ModeChoices(), Takes::Mode},
                      {QStringLiteral("FILE"),
                       tr("The picture to write, .bmp or .png; - for standard output; or a clip, .mkv or .mp4."),
                       Takes::File}},
        .options = {FormatOption, SecondsOption, FpsOption, ProfileOption, SizeOption, MatrixOption, RangeOption,
                    ChromaOption, BitsOption, TagMatrixOption, TagRangeOption, TagPrimariesOption, TagTransferOption,
                    UntaggedOption},
        .summary =
            tr("Write the sheet of MODE to FILE: .bmp as the window's Save writes it, .png; - is standard output."),
        .description =
            tr("Writes the complete sheet of MODE to FILE, through a temporary file: an existing FILE is\n"
               "replaced only by a complete new one, and a failure leaves no partial file.\n"
               "\n"
               "--profile srgb|p3|adobe|bt2020 embeds the ICC profile of those primaries (each with its own\n"
               "curve; BT.2020 with BT.709's) in a PNG: the sheet's numbers unchanged, the profile saying what\n"
               "they mean, so that a colour-managed viewer shows a known conversion.\n"
               "\n"
               "A FILE ending in .mkv or .mp4 is a lossless clip of the sheet, to send through a recorder,\n"
               "an encoder or a service: FFV1 (bgr0) in Matroska, or H.264 RGB at qp 0 (libx264rgb) in\n"
               "MP4, tagged range pc, matrix gbr, primaries bt709, transfer iec61966-2-1, so that a player\n"
               "shows the sheet's own pixels; --seconds S (default 5) at --fps F (default 30).\n"
               "\n"
               "--matrix, --range, --chroma or --bits make a clip of Y'CbCr data instead, as a test disc\n"
               "makes it: every pixel encoded exactly with that matrix and range (defaults bt709, limited),\n"
               "chroma shared as MPEG sites it (default 420), 8 or 10 bits, coded losslessly (FFV1, or\n"
               "H.264 at qp 0). Its tags say what it is (bt601 with SMPTE 170M primaries and transfer)\n"
               "unless --tag-matrix, --tag-range, --tag-primaries or --tag-transfer say something else\n"
               "or none, or --untagged leaves them all out. --size WxH puts the sheet in the middle of\n"
               "frames of that size on grey, as a test disc's frame."),
        .run = run,
    };
}

} // namespace MakeCommand
