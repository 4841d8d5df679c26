#include "sheet/CensusCommand.h"

#include "census/CensusReport.h"
#include "census/VideoCensus.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetCache.h"
#include "sheet/SheetHost.h"
#include "video/PlayerRules.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <tuple>

namespace CensusCommand {

namespace {

int statusOf(CensusReport::Outcome outcome)
{
    switch (outcome) {
    case CensusReport::Outcome::Matches: return Done;
    case CensusReport::Outcome::Differs: return No;
    case CensusReport::Outcome::Failed: return Failed;
    }
    return Failed;
}

// The longest list of worst places: enough to see a pattern, little memory.
constexpr int MostWorst = 100000;

TINTWELL_TR_CONTEXT("SheetCommands");

constexpr CommandOption ModeOption {
    .name = "mode",
    .valueName = "MODE|auto",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Compare the picture with the sheet of MODE; auto: with whichever of the sheets it shows."),
    .takes = Takes::ModeOrAuto,
};
constexpr CommandOption AtOption {
    .name = "at",
    .valueName = "X,Y[,SCALE]",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "The sheet lies at X,Y of the picture (its top-left pixel), shown at SCALE (default 1): "
                              "no search\n(with --mode auto, the sheet that fits there best)."),
};
constexpr CommandOption DiffOption {
    .name = "diff",
    .valueName = "FILE",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "Write a picture of where the picture differs from the sheet to FILE (.bmp or .png)."),
    .takes = Takes::File,
};
constexpr CommandOption MissingOption {
    .name = "missing",
    .valueName = "N",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "List the first N (default 20: --missing alone) of the sheet's colours the picture "
                              "lacks, as\nRRGGBB X Y with the place the sheet holds each."),
    .bareValue = "20",
};
constexpr CommandOption WorstOption {
    .name = "worst",
    .valueName = "N",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "List the N places with the largest dE2000 as X Y SHEET CAPTURED dE: X Y in the "
                              "picture, the\nsheet's colour and the picture's as RRGGBB (RRRRGGGGBBBB at 16 bits)."),
};
constexpr CommandOption FramesOption {
    .name = "frames",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A recording: one more line per frame measured."),
};
constexpr CommandOption FrameOption {
    .name = "frame",
    .valueName = "N",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A recording: measure only frame N (from 0)."),
};
constexpr CommandOption FirstOption {
    .name = "first",
    .valueName = "N",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "A recording: read only its first N frames."),
};

// A frame number or count given to --frame or --first.
std::optional<std::int64_t> parseCount(CommandContext &context, const CommandOption &option, std::int64_t least)
{
    if (!context.isSet(option))
        return std::nullopt;
    bool ok = false;
    const qint64 value = context.value(option).toLongLong(&ok);
    if (!ok || value < least)
        return std::nullopt;
    return value;
}

CensusReport::Result recordingCensus(const QString &fileName, const VideoCensus::Request &request,
                                     VideoFrames::Player player)
{
    CensusReport::Result result;
    result.outcome = CensusReport::Outcome::Failed;
    const std::unique_ptr<VideoFrames::Reader> reader = VideoLibrary::Open(
        fileName, PictureReader::AllocationLimit(), result.error, VideoFrames::Decoding::OneThread);
    if (!reader)
        return result;
    reader->setPlayer(player);
    const VideoCensus::Result census = VideoCensus::Run(*reader, CommandContext::Shown(fileName), request);
    result.facts = census.facts;
    result.lines = census.facts.lines();
    result.outcome = census.outcome;
    result.error = census.error;
    return result;
}

int run(CommandContext &context)
{
    const QStringList &files = context.arguments();

    CensusReport::Request request;
    const bool compare = context.isSet(ModeOption);
    if (!compare && (context.isSet(AtOption) || context.isSet(DiffOption) || context.isSet(MissingOption)
                     || context.isSet(WorstOption)))
        return context.failUsage(tr("--at, --diff, --missing and --worst compare with a sheet: give --mode too."));
    if (context.isSet(WorstOption)) {
        bool ok = false;
        request.worstListed = context.value(WorstOption).toInt(&ok);
        if (!ok || request.worstListed < 1 || request.worstListed > MostWorst)
            return context.failUsage(tr("Malformed count '%1': give --worst N, N from 1 to %2.")
                                         .arg(context.value(WorstOption))
                                         .arg(MostWorst));
    }
    if (context.isSet(MissingOption)) {
        bool ok = false;
        request.missingListed = context.value(MissingOption).toInt(&ok);
        if (!ok || request.missingListed < 0)
            return context.failUsage(
                tr("Malformed count '%1': give --missing or --missing=N.").arg(context.value(MissingOption)));
    }
    if (context.isSet(AtOption)) {
        request.at = SheetArguments::ParsePlacement(context.value(AtOption));
        if (!request.at)
            return context.failUsage(tr("Malformed place '%1': give X,Y or X,Y,SCALE (whole numbers, SCALE from 1).")
                                         .arg(context.value(AtOption)));
    }
    if (context.isSet(DiffOption)) {
        request.diffFile = context.value(DiffOption);
        if (files.size() > 1)
            return context.failUsage(tr("--diff writes one picture: give one FILE with it."));
        if (request.diffFile.isEmpty() || request.diffFile == QLatin1String("-"))
            return context.failUsage(tr("--diff needs a file name (standard output carries the census)."));
        const std::optional<PictureFile::Format> format = PictureFile::FormatOfName(request.diffFile);
        if (!format)
            return context.fail(tr("Cannot tell the format from the name %1: end it in .bmp or .png.")
                                    .arg(QDir::toNativeSeparators(request.diffFile)));
        request.diffFormat = *format;
    }

    SheetHost host;
    SheetCache sheets;
    if (compare && context.value(ModeOption).compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        request.anyOf = sheets.candidates();
    } else if (compare) {
        const std::optional<Mode> mode = SheetArguments::ParseMode(context.value(ModeOption));
        if (!mode)
            return context.failUnknownMode(context.value(ModeOption));
        if (!host.Draw(Sheets::Index(*mode)))
            return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
        request.sheet = host.image();
    }

    VideoCensus::Request recording;
    recording.sheet = request.sheet;
    recording.anyOf = request.anyOf;
    recording.at = request.at;
    recording.perFrame = context.isSet(FramesOption);
    for (const auto &[option, least, count] :
         {std::tuple {FrameOption, 0, &recording.onlyFrame}, std::tuple {FirstOption, 1, &recording.firstFrames}}) {
        *count = parseCount(context, option, least);
        if (context.isSet(option) && !*count)
            return context.failUsage(tr("Malformed number '%1' for --%2: give a whole number from %3.")
                                         .arg(context.value(option), QLatin1String(option.name))
                                         .arg(least));
    }
    // --first N reads frames 0 to N - 1: the frame measured must be one of them.
    if (recording.onlyFrame && recording.firstFrames && *recording.onlyFrame >= *recording.firstFrames)
        return context.failUsage(tr("--frame %1 is not among the first %2 frames, numbered 0 to %3: give a smaller "
                                    "--frame, or leave out --first.")
                                     .arg(*recording.onlyFrame)
                                     .arg(*recording.firstFrames)
                                     .arg(*recording.firstFrames - 1));

    const std::optional<VideoFrames::Player> player = SheetArguments::ParsePlayer(context);
    if (!player)
        return Failed;

    const bool json = context.isSet(SheetArguments::Json);
    QJsonArray documents;
    int status = Done;
    for (const QString &fileName : files) {
        const bool isRecording = VideoLibrary::IsRecording(fileName);
        CensusReport::Result result;
        if (isRecording && (!request.diffFile.isEmpty() || request.missingListed > 0 || request.worstListed > 0)) {
            // Refused as any file that cannot be counted is: its error, in JSON too.
            result.outcome = CensusReport::Outcome::Failed;
            result.error = tr("%1 is a recording: --diff, --missing and --worst are for pictures.")
                               .arg(CommandContext::Shown(fileName));
        } else if (!isRecording && context.isSet(SheetArguments::Player)) {
            result.outcome = CensusReport::Outcome::Failed;
            result.error =
                tr("%1 is a picture: --player says how a recording is shown.").arg(CommandContext::Shown(fileName));
        } else {
            result = isRecording ? recordingCensus(fileName, recording, *player) : CensusReport::Run(fileName, request);
        }
        if (!isRecording && result.outcome == CensusReport::Outcome::Failed) {
            const QString note = VideoLibrary::UnreadableNote(fileName);
            if (!note.isEmpty())
                result.error += QLatin1Char(' ') + note;
        }
        if (json) {
            // Of several files, one that failed is an object naming its error.
            QJsonObject document = result.facts.json();
            if (files.size() > 1)
                document.insert(QStringLiteral("file"), fileName);
            if (result.outcome == CensusReport::Outcome::Failed)
                document.insert(QStringLiteral("error"), result.error);
            documents.append(document);
        } else {
            if (files.size() > 1)
                context.print(QStringLiteral("file: %1").arg(fileName));
            for (const QString &line : result.lines)
                context.print(line);
        }
        if (result.outcome == CensusReport::Outcome::Failed)
            context.fail(result.error);
        status = std::max(status, statusOf(result.outcome));
    }
    // One file that failed leaves standard output empty: a script reading
    // JSON finds no document rather than one saying nothing.
    if (json && (files.size() > 1 || status != Failed))
        context.printJson(files.size() > 1 ? QJsonValue(documents) : documents.first());
    return status;
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("census"),
        .arguments = {{QStringLiteral("FILE..."), tr("The pictures to count; - for standard input."), Takes::File}},
        .options = {ModeOption, AtOption, DiffOption, MissingOption, WorstOption, SheetArguments::Json, FramesOption,
                    FrameOption, FirstOption, SheetArguments::Player},
        .summary = tr("Count a picture's pixels and colours; with --mode, find the sheet of MODE in it and measure "
                      "how far off it is."),
        .description =
            tr("Prints size: WxH, pixels: N, distinct: N and depth: 8|16 of the picture in FILE (any format\n"
               "Qt reads: BMP, PNG, JPEG, TIFF, WebP, ...; the alpha channel is ignored; 16-bit PNG and TIFF\n"
               "are read and counted at 16 bits a channel).\n"
               "\n"
               "With --mode it compares the picture with the sheet and adds differing pixels: N, missing\n"
               "colours: N (the sheet's colours not in the picture), extra colours: N (the picture's colours\n"
               "not in the sheet), max channel difference: N (in 8-bit levels; fractional at 16 bits), mean\n"
               "channel difference: X, PSNR: X dB (as ImageMagick's compare -metric PSNR; inf when\n"
               "identical), mean dE2000: X and max dE2000: X (sRGB, D65, CIEDE2000), and within 1 level: X %,\n"
               "within 2 levels: X % and within 4 levels: X % (the pixels whose largest channel difference is\n"
               "at most that: a healthy 4:2:0 path keeps nearly all within a few). It exits with 0 when the\n"
               "picture is the sheet pixel for pixel, 1 otherwise. A 16-bit sample matches only at the\n"
               "sheet's level times 257.\n"
               "\n"
               "A picture larger than the sheet (a screenshot) is searched for the sheet, shown 1:1 or at a\n"
               "scale of 2, 3 or 4, or smoothly resampled by 0.5 to 4 (bilinear, bicubic, Lanczos), its\n"
               "channels in any order: offset: X Y (and scale: N, or scale: 0.667 (smooth), and channel\n"
               "order: BGR) tell where and how it lies, and every line after concerns that area; a\n"
               "resampled sheet is measured inside its tiles only (interior pixels: N). When no placement is plausible the census says so on a line 'sheet not\n"
               "found: ...' naming the closest, and exits with 1. A picture within 16 pixels of the sheet's\n"
               "size that is not the sheet 1:1 is searched for it shifted by up to 16 pixels (cropped a few\n"
               "pixels off); a picture smaller than the sheet differs at every place only one of them has.\n"
               "\n"
               "--mode auto looks for all eight sheets at once, and prints mode: NAME first, the sheet\n"
               "found. When nothing is found, a line searched: ... says what was tried.\n"
               "\n"
               "Several FILEs are counted in turn, each after a line file: NAME; the exit status is 1 if any\n"
               "differs.\n"
               "\n"
               "A FILE that is no picture is read as a recording (any container and codec FFmpeg's libraries\n"
               "read, local files only): video: CODEC PIXFMT WxH FPS fps N frames and tagged: range, matrix,\n"
               "primaries, transfer in FFmpeg's names. With --mode the sheet is searched in the first frame\n"
               "that holds it, and every frame from there is measured at that place as a player honouring the\n"
               "tags shows it (untagged: BT.601 below 720 lines, BT.709 from 720, limited range, as Chromium\n"
               "and Firefox guess), or as --player shows it: mpv (BT.709 from 1280 wide or 577 lines, and\n"
               "the primaries converted to BT.709: standard-definition ones by their size when untagged),\n"
               "gstreamer (BT.709 from 577 lines; an MP4's range flag not read), ffmpeg (always BT.601),\n"
               "chromium, firefox. shown: says how, and what was guessed by whose rule; the lines cover all\n"
               "frames together. Above 65,536 sheet places a frame's dE2000 comes\n"
               "from that many places spread over the sheet (said so on a line dE2000 sample:); differences\n"
               "and PSNR from every pixel. worst frame: N names the frame of the largest mean dE2000.\n"
               "--frame N measures frame N alone, --first N frames 0 to N - 1; with both, N of --frame must be\n"
               "below N of --first. A recording on standard input (-) is read as it comes; one whose index\n"
               "is at its end (MP4 as most programs write it) cannot be read from a pipe.\n"
               "\n"
               "--json writes the same facts as one JSON document: an object whose keys are the line names in\n"
               "snake_case, numbers as numbers: mode, offset [x, y], scale, size [w, h], pixels, distinct,\n"
               "depth, differing_pixels, missing_colours, extra_colours, max_channel_difference,\n"
               "mean_channel_difference, psnr_db (null when identical), mean_de2000, max_de2000,\n"
               "within_1_level_percent, within_2_levels_percent, within_4_levels_percent, diff_scale,\n"
               "sheet_not_found {mode, offset, scale, mean_channel_difference}, searched, missing [{colour,\n"
               "x, y}], worst [{x, y, sheet, captured, de2000}]; of a recording also video {codec,\n"
               "pixel_format, size, fps, frames}, tagged {range, matrix, primaries, transfer}, shown {matrix,\n"
               "range}, frames_before_the_sheet, first_frame_with_the_sheet, frames_measured, frames_read,\n"
               "de2000_sample {places, of}, worst_frame {frame, mean_de2000} and with --frames frames [{frame,\n"
               "mean_de2000, psnr_db}]. For several FILEs an array of them, each with file (and error when it\n"
               "could not be counted); one FILE that cannot be counted leaves standard output empty.\n\n")
            + SheetArguments::AllocationLimitNote(),
        .run = run,
    };
}

} // namespace CensusCommand
