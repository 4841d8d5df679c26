#include "sheet/MakeCommand.h"

#include "colour/Primaries.h"
#include "generation/DeepSheet.h"
#include "picture/HdrMetadata.h"
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
    .valueName = "8|10|12",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "A clip of Y'CbCr data of this depth (default 8); a deep .mkv clip's, 10 or 12 (default 10)."),
    .takes = Takes::Word,
    .words = "8 10 12",
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

constexpr CommandOption TransferOption {
    .name = "transfer",
    .valueName = "pq|hlg|sdr",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "The deep sheet's transfer: pq (the default), hlg or sdr."),
    .takes = Takes::Word,
    .words = "pq hlg sdr",
};
constexpr CommandOption WhiteOption {
    .name = "white",
    .valueName = "NITS",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "The deep sheet's SDR white in cd/m² (default 203 for pq and hlg, 100 for sdr)."),
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

// How long a clip runs: --seconds S (default 5) at --fps F (default 30), as
// a number of frames; none after a message when either is malformed.
std::optional<int> clipFrames(CommandContext &context, int &fps, int &status)
{
    double seconds = 5;
    fps = 30;
    if (context.isSet(SecondsOption)) {
        bool ok = false;
        seconds = context.value(SecondsOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400) {
            status = context.failUsage(tr("Malformed length '%1': give --seconds from more than 0 to 86400.")
                                           .arg(context.value(SecondsOption)));
            return std::nullopt;
        }
    }
    if (context.isSet(FpsOption)) {
        bool ok = false;
        fps = context.value(FpsOption).toInt(&ok);
        if (!ok || fps < 1 || fps > 1000) {
            status = context.failUsage(
                tr("Malformed frame rate '%1': give --fps from 1 to 1000.").arg(context.value(FpsOption)));
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
        return recipe ? module->writeYcbcrClip(sheet, *recipe, format, *frames, fps, device, reason)
                      : module->writeClip(sheet, format, *frames, fps, device, reason);
    }, error);
    return written ? Done : context.fail(error);
}

// The deep sheet's recipe from --transfer and --white.
std::optional<DeepSheet::Recipe> deepRecipe(CommandContext &context, int &status)
{
    DeepSheet::Recipe recipe;
    if (const std::optional<QString> transfer = context.option(TransferOption)) {
        const std::optional<DeepSheet::Transfer> named = DeepSheet::TransferNamed(transfer->toLower().toStdString());
        if (!named) {
            status = context.failUsage(tr("Unknown transfer '%1': give pq, hlg or sdr.").arg(*transfer));
            return std::nullopt;
        }
        recipe.transfer = *named;
    }
    recipe.white = DeepSheet::DefaultWhite(recipe.transfer);
    if (const std::optional<QString> white = context.option(WhiteOption)) {
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
    if (const std::optional<QString> given = context.option(BitsOption)) {
        bool ok = false;
        bits = given->toInt(&ok);
        if (!ok || (bits != 10 && bits != 12))
            return context.failUsage(tr("Malformed depth '%1': give --bits 10 or 12.").arg(*given));
        if (clip != VideoFrames::ClipFormat::Matroska || (bits == 12 && clip == VideoFrames::ClipFormat::Mp4))
            return context.failUsage(tr("--bits is for .mkv clips: a PNG holds 16 bits, an .mp4 clip 10."));
    }
    if (clip) {
        if (context.isSet(FormatOption))
            return context.failUsage(tr("--format is for pictures; a clip's format is its name's: .mkv or .mp4."));
    } else {
        if (context.isSet(SecondsOption) || context.isSet(FpsOption))
            return context.failUsage(tr("--seconds and --fps are for clips: end FILE in .mkv or .mp4."));
        const std::optional<Format> format = context.isSet(FormatOption)
                                                 ? ParseFormat(context.value(FormatOption))
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

int run(CommandContext &context)
{
    if (context.arguments()[0].compare(QLatin1String(DeepSheet::Name.data()), Qt::CaseInsensitive) == 0) {
        if (context.arguments()[1].isEmpty())
            return context.failUsage(tr("The file name is empty."));
        if (context.isSet(ProfileOption) || context.isSet(SizeOption) || context.isSet(UntaggedOption)
            || context.isSet(MatrixOption) || context.isSet(RangeOption) || context.isSet(ChromaOption)
            || context.isSet(TagMatrixOption) || context.isSet(TagRangeOption) || context.isSet(TagPrimariesOption)
            || context.isSet(TagTransferOption))
            return context.failUsage(tr("The deep sheet takes --transfer, --white, --bits, --seconds and --fps; "
                                        "its tags say what it is."));
        return makeDeep(context, context.arguments()[1]);
    }
    for (const CommandOption *deepOnly : {&TransferOption, &WhiteOption})
        if (context.isSet(*deepOnly))
            return context.failUsage(
                tr("--%1 is for the deep sheet: make deep FILE.").arg(QLatin1String(deepOnly->name)));
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
        .arguments = {{QStringLiteral("MODE"), ModeChoices() + tr(", or deep"), Takes::ModeOrDeep},
                      {QStringLiteral("FILE"),
                       tr("The picture to write, .bmp or .png; - for standard output; or a clip, .mkv or .mp4."),
                       Takes::File}},
        .options = {FormatOption, SecondsOption, FpsOption, ProfileOption, SizeOption, MatrixOption, RangeOption,
                    ChromaOption, BitsOption, TagMatrixOption, TagRangeOption, TagPrimariesOption, TagTransferOption,
                    UntaggedOption, TransferOption, WhiteOption},
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
               "frames of that size on grey, as a test disc's frame.\n"
               "\n"
               "make deep FILE writes the deep sheet: 3840x2160 at 16 bits a channel, BT.2020 primaries, cells\n"
               "of 8x8 pixels (the 33^3 lattice of 10-bit codes twice, the 1,024-code grey, red, green, blue,\n"
               "cyan, magenta and yellow ramps, near-black steps, hue and lightness sweeps across the sRGB and\n"
               "Display P3 borders, a 4,096-code grey ramp, landmarks in its corners and a strip saying how it\n"
               "was made), its numbers encoded with --transfer pq (the default), hlg or sdr (BT.1886), the\n"
               "SDR white of the sweeps at --white NITS (203 by default; 100 for sdr, where it is code 1023's).\n"
               "A .png FILE is 16-bit RGB with a cICP chunk (and for pq and hlg mDCV, and cLLI for pq); an .mkv\n"
               "clip is FFV1 R'G'B' at --bits 10 or 12; an .mp4 clip is HEVC Main 10 (x265, lossless) in\n"
               "BT.2020 Y'CbCr 4:2:0, limited range. Clips are tagged with the primaries, transfer and matrix,\n"
               "the mastering display (BT.2020, up to the sheet's brightest) and the content light level."),
        .run = run,
    };
}

} // namespace MakeCommand
