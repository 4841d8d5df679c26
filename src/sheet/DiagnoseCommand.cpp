#include "sheet/DiagnoseCommand.h"

#include "census/CensusReport.h"
#include "lut/CubeFile.h"
#include "sheet/CommandContext.h"
#include "sheet/DeepDiagnosis.h"
#include "sheet/RecordingDiagnosis.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetCache.h"

#include "generation/DeepSheet.h"
#include "video/VideoLibrary.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace DiagnoseCommand {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

constexpr CommandOption ModeOption {
    .name = "mode",
    .valueName = "MODE|auto",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "The sheet the capture shows; auto (the default): whichever of the sheets it shows."),
    .takes = Takes::ModeOrAuto,
};
constexpr CommandOption AtOption {
    .name = "at",
    .valueName = "X,Y[,SCALE]",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "The sheet lies at X,Y of the picture (its top-left pixel), shown at "
                                               "SCALE (default 1): no search."),
};
constexpr CommandOption FixOption {
    .name = "fix",
    .valueName = "FILE",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "Write a 65-point .cube to FILE that undoes the invertible steps found "
                                               "(order, range, matrix, tone curve), when it brings the capture "
                                               "closer to the sheet."),
    .takes = Takes::File,
};

int run(CommandContext &context)
{
    const QString fileName = context.arguments().constFirst();
    const bool json = context.isSet(SheetArguments::Json);

    CensusReport::Request request;
    if (context.isSet(AtOption)) {
        request.at = SheetArguments::ParsePlacement(context.value(AtOption));
        if (!request.at)
            return context.failUsage(tr("Malformed place '%1': give X,Y or X,Y,SCALE (whole numbers, SCALE from 1).")
                                         .arg(context.value(AtOption)));
    }
    const QString fixFile = context.value(FixOption);
    if (context.isSet(FixOption) && (fixFile.isEmpty() || fixFile == QLatin1String("-")))
        return context.failUsage(tr("--fix needs a file name (standard output carries the diagnosis)."));

    SheetCache sheets;
    const QString modeText = context.isSet(ModeOption) ? context.value(ModeOption) : QStringLiteral("auto");
    const bool anySheet = modeText.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
    if (anySheet) {
        request.anyOf = sheets.candidates();
    } else {
        const std::optional<Mode> mode = SheetArguments::ParseMode(modeText);
        if (!mode)
            return context.failUnknownMode(modeText);
        request.sheet = sheets.image(*mode);
        if (request.sheet.isNull())
            return context.fail(
                tr("There is not enough memory for the %1 sheet.").arg(SheetArguments::ModeName(*mode)));
    }

    // A recording: its census, then what its samples store against its tags.
    if (VideoLibrary::IsRecording(fileName)) {
        // Standard input is read once: a recording from a pipe is searched
        // for the eight sheets only.
        if (anySheet && fileName != QLatin1String("-"))
            if (const std::optional<int> deep = DeepDiagnosis::RunRecording(context, fileName, fixFile))
                return *deep;
        const std::optional<VideoFrames::Player> player = SheetArguments::ParsePlayer(context);
        if (!player)
            return Failed;
        return RecordingDiagnosis::Run(context, fileName,
                                       {request.sheet, request.anyOf, request.at, *player, json, fixFile});
    }
    if (context.isSet(SheetArguments::Player))
        return context.failUsage(
            tr("%1 is a picture: --player says how a recording is shown.").arg(CommandContext::Shown(fileName)));

    // The picture is read once: first looked at for the deep sheet, then
    // counted.
    const QString shownName = CommandContext::Shown(fileName);
    PictureReader::Picture picture;
    QString reason;
    if (!PictureReader::ReadPicture(fileName, picture, reason))
        return context.fail(tr("Could not read the picture %1: %2").arg(shownName, reason));
    if (anySheet && picture.image.width() >= DeepSheet::Width / 2 && picture.image.height() >= DeepSheet::Height / 2)
        if (const std::optional<DeepCapture::Placement> deep = DeepCapture::Find(picture.image))
            return DeepDiagnosis::Run(context, fileName, fixFile, picture, *deep);

    request.diagnose = true;
    const CensusReport::Result census = CensusReport::Run(picture, shownName, request);
    if (census.outcome == CensusReport::Outcome::Failed)
        return context.fail(census.error);
    Facts found = census.diagnosis ? census.diagnosis->facts() : Facts();

    // The table is written only when, applied to the capture, it brings it
    // closer to the sheet; and before the diagnosis is printed, so that a
    // table that cannot be written leaves no diagnosis as if all went well.
    QString refused;
    if (census.diagnosis && context.isSet(FixOption)) {
        const LutTable table = census.diagnosis->fix(FixPoints);
        const ErrorMeasures fixed = CapturePipeline::MeasureFixed(census.picture, census.found, table);
        if (fixed.meanDe2000 > census.diagnosis->meanDe2000) {
            refused = tr("--fix: no table written to %1: applied to the capture it leaves a mean dE2000 of %2, where "
                         "the capture itself has %3.")
                          .arg(CommandContext::Shown(fixFile))
                          .arg(fixed.meanDe2000, 0, 'f', 2)
                          .arg(census.diagnosis->meanDe2000, 0, 'f', 2);
        } else {
            const QString title = tr("undoes what happened to %1").arg(QFileInfo(fileName).fileName());
            const auto write = [&](QIODevice &device, QString &reason) {
                return CubeFile::Write(table, title, device, reason);
            };
            QString error;
            if (!context.writeOut(fixFile, false, write, error))
                return context.fail(error);
            found.add(QStringLiteral("fixed"), QStringLiteral("mean dE2000 %1").arg(fixed.meanDe2000, 0, 'f', 4),
                      QJsonObject {{QStringLiteral("mean_de2000"), fixed.meanDe2000}});
        }
    }
    if (json) {
        QJsonObject document = census.facts.json();
        const QJsonObject more = found.json();
        for (auto i = more.begin(); i != more.end(); ++i)
            document.insert(i.key(), i.value());
        context.printJson(document);
    } else {
        // The channel order is a step of the diagnosis: said once, there.
        const QStringList steps = found.lines();
        const QString order = QStringLiteral("channel order: ");
        const bool ordered =
            std::any_of(steps.begin(), steps.end(), [&](const QString &line) { return line.startsWith(order); });
        for (const QString &line : census.lines)
            if (!ordered || !line.startsWith(order))
                context.print(line);
        for (const QString &line : steps)
            context.print(line);
    }
    if (!census.diagnosis)
        return NoSheet; // the census says the sheet was not found
    if (!refused.isEmpty())
        return context.fail(refused);
    // A right path (only a codec's noise, colour perhaps kept at a lower
    // resolution) is a yes; a fault named, or a capture the steps cannot
    // explain, a no.
    return census.diagnosis->faulty() ? No : Done;
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("diagnose"),
        .arguments = {{QStringLiteral("FILE"), tr("The capture of the sheet; - for standard input."), Takes::File}},
        .options = {ModeOption, AtOption, FixOption, SheetArguments::Json, SheetArguments::Player},
        .summary = tr("Say what happened to the colours of a captured sheet: channel order, range, matrix, chroma, "
                      "bits, tone curve, clipping, noise."),
        .description =
            tr("Finds the sheet in FILE as census --mode does (auto unless --mode names one) and prints the\n"
               "census's lines, then landmarks: black, white, red, green, blue and grey 50 % as they came back\n"
               "(RRGGBB, where the sheet holds them), then the chain of known steps that turns the sheet into\n"
               "what FILE holds, one line a step found, in the order they act (a step that did nothing prints\n"
               "nothing):\n"
               "  channel order: BGR            any order of the channels but RGB\n"
               "  range: limited read as full   Y'CbCr coded 16-235 decoded as 0-255 (washed out), or full read\n"
               "                                as limited (crushed); '... twice' when it happened twice\n"
               "  matrix: BT.601 read as BT.709 encoded with one of BT.601, BT.709, BT.2020, decoded with another\n"
               "  chroma: 4:2:0                 colour kept at a lower resolution: 4:2:2, 4:2:0 or 4:1:1; then\n"
               "                                chroma upsampling: nearest (each sample repeated over its block,\n"
               "                                as ffmpeg's default and GStreamer decode), linear or cubic\n"
               "                                (centred on the block), or linear, left-sited (MPEG-2 siting)\n"
               "  tone curve: gamma R G B       out = in^gamma per channel on 0-1, and ', black R G B, white\n"
               "                                R G B' where levels were stretched between those points (a levels\n"
               "                                edit); tone curve: table where no such curve fits\n"
               "  clipped: below R G B, above R G B   the levels beyond which everything came out alike\n"
               "  bits: R G B                   the bits each channel keeps, 8 where the sheet shows no cut;\n"
               "                                then dither: yes when noise was added before the cut\n"
               "  noise: PSNR X dB              what is left after the steps (a lossy codec's share)\n"
               "  mean dE2000 after the steps: X   how far the sheet put through the steps is from FILE; the\n"
               "                                census's mean dE2000 above says how far the sheet itself is\n"
               "  unexplained: ...              when the steps found leave it further off than a codec's noise\n"
               "                                (a mean dE2000 above 2), with both figures\n"
               "A step is named only when it helps: the sheet put through the chain without it is further from\n"
               "FILE, on the sheet's smooth places, by at least 0.05 mean dE2000 and 5 % (the bits a channel\n"
               "keeps are told by the values it takes instead). Chroma is named only when bringing the sheet's\n"
               "chroma down and up lowers the error at its edges beyond doubt. A chain that leaves FILE further\n"
               "off than the sheet itself is dropped.\n"
               "\n"
               "A FILE that is a recording gets census's lines for recordings (census --help), then what its\n"
               "samples store, read against the sheet in the first frame that holds it before any conversion\n"
               "to RGB, beside what a player following its tags shows, and the steps between:\n"
               "  stored: BT.601 limited 4:2:0   the matrix, range and chroma format the data was made with,\n"
               "                                 beside census's shown: (what the player, --player, converts with)\n"
               "  range: limited read as full    matrix: BT.601 read as BT.709   (steps: none when they agree)\n"
               "\n"
               "--fix writes a 65-point .cube (as lut writes them) that undoes the invertible steps; apply it\n"
               "to the capture (apply, or ffmpeg's lut3d) to see what the path would show without them. The\n"
               "table is first applied to FILE and measured: fixed: mean dE2000 X says what it leaves, and a\n"
               "table that would leave FILE further from the sheet than it is is not written (an error that\n"
               "gives both figures). A recording's undoes the steps between what it stores and what the\n"
               "player shows.\n"
               "\n"
               "--json writes the census's keys and landmarks {black, white, red, green, blue, grey_50: RRGGBB},\n"
               "channel_order, range, matrix, chroma, chroma_upsampling (strings), bits [r, g, b], dither\n"
               "(true), tone_curve {kind: gamma|table, gamma [r, g, b], black [r, g, b], white [r, g, b], table\n"
               "[[256 levels] x 3]}, clipped {below [r, g, b], above [r, g, b]}, noise {psnr_db},\n"
               "mean_de2000_after_the_steps, unexplained, fixed {mean_de2000}; of a recording, census's keys\n"
               "for it and stored {matrix, range, chroma, clear, mean_difference}, range, matrix or steps:\n"
               "none. Nothing is written to standard output when the command fails.\n"
               "\n"
               "Exit status: 0 when FILE is the sheet, or its path is right: only a codec's noise, colour\n"
               "perhaps kept at a lower resolution (a recording: its samples stored as its tags say); 1 when a\n"
               "fault is named or FILE is unexplained; 2 an error (and --fix refused); 3 when no sheet is found."),
        .run = run,
    };
}

} // namespace DiagnoseCommand
