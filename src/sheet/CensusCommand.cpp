#include "sheet/CensusCommand.h"

#include "census/CensusReport.h"
#include "census/VideoCensus.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetCache.h"
#include "sheet/SheetHost.h"
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

} // namespace

// "X,Y" or "X,Y,SCALE": where the sheet lies in the picture.
std::optional<CensusReport::Placement> ParsePlacement(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    std::array<int, 3> values {0, 0, 1};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[std::size_t(i)] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[std::size_t(i)] < (i == 2 ? 1 : 0))
            return std::nullopt;
    }
    return CensusReport::Placement {values[0], values[1], values[2]};
}

namespace {

// A frame number or count given to --frame or --first.
std::optional<std::int64_t> parseCount(CommandContext &context, const QString &option, std::int64_t least)
{
    if (!context.isSet(option))
        return std::nullopt;
    bool ok = false;
    const qint64 value = context.value(option).toLongLong(&ok);
    if (!ok || value < least)
        return std::nullopt;
    return value;
}

CensusReport::Result recordingCensus(const QString &fileName, const VideoCensus::Request &request)
{
    CensusReport::Result result;
    result.outcome = CensusReport::Outcome::Failed;
    VideoFrames::Module *module = VideoLibrary::Load(result.error);
    if (!module)
        return result;
    const std::unique_ptr<VideoFrames::Reader> reader =
        module->open(fileName, PictureReader::AllocationLimit(), VideoFrames::Decoding::OneThread, result.error);
    if (!reader)
        return result;
    const VideoCensus::Result census = VideoCensus::Run(*reader, CommandContext::Shown(fileName), request);
    result.facts = census.facts;
    result.lines = census.facts.lines();
    result.outcome = census.outcome;
    result.error = census.error;
    return result;
}

} // namespace

int Run(CommandContext &context)
{
    const QStringList &files = context.arguments();
    const QString modeOption = QStringLiteral("mode");
    const QString atOption = QStringLiteral("at");
    const QString diffOption = QStringLiteral("diff");
    const QString missingOption = QStringLiteral("missing");
    const QString worstOption = QStringLiteral("worst");

    CensusReport::Request request;
    const bool compare = context.isSet(modeOption);
    if (!compare && (context.isSet(atOption) || context.isSet(diffOption) || context.isSet(missingOption)
                     || context.isSet(worstOption)))
        return context.failUsage(tr("--at, --diff, --missing and --worst compare with a sheet: give --mode too."));
    if (context.isSet(worstOption)) {
        bool ok = false;
        request.worstListed = context.value(worstOption).toInt(&ok);
        if (!ok || request.worstListed < 1 || request.worstListed > MostWorst)
            return context.failUsage(tr("Malformed count '%1': give --worst N, N from 1 to %2.")
                                         .arg(context.value(worstOption))
                                         .arg(MostWorst));
    }
    if (context.isSet(missingOption)) {
        bool ok = false;
        request.missingListed = context.value(missingOption).toInt(&ok);
        if (!ok || request.missingListed < 0)
            return context.failUsage(
                tr("Malformed count '%1': give --missing or --missing=N.").arg(context.value(missingOption)));
    }
    if (context.isSet(atOption)) {
        request.at = ParsePlacement(context.value(atOption));
        if (!request.at)
            return context.failUsage(tr("Malformed place '%1': give X,Y or X,Y,SCALE (whole numbers, SCALE from 1).")
                                         .arg(context.value(atOption)));
    }
    if (context.isSet(diffOption)) {
        request.diffFile = context.value(diffOption);
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
    if (compare && context.value(modeOption).compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        request.anyOf = sheets.candidates();
    } else if (compare) {
        const std::optional<Mode> mode = SheetArguments::ParseMode(context.value(modeOption));
        if (!mode)
            return context.failUnknownMode(context.value(modeOption));
        if (!host.Draw(Sheets::Index(*mode)))
            return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
        request.sheet = host.image();
    }

    VideoCensus::Request recording;
    recording.sheet = request.sheet;
    recording.anyOf = request.anyOf;
    recording.at = request.at;
    recording.perFrame = context.isSet(QStringLiteral("frames"));
    for (const auto &[option, least, count] :
         {std::tuple {QStringLiteral("frame"), 0, &recording.onlyFrame},
          std::tuple {QStringLiteral("first"), 1, &recording.firstFrames}}) {
        *count = parseCount(context, option, least);
        if (context.isSet(option) && !*count)
            return context.failUsage(tr("Malformed number '%1' for --%2: give a whole number from %3.")
                                         .arg(context.value(option), option)
                                         .arg(least));
    }

    const bool json = context.isSet(QStringLiteral("json"));
    QJsonArray documents;
    int status = Done;
    for (const QString &fileName : files) {
        const bool isRecording = VideoLibrary::IsRecording(fileName);
        if (isRecording && (!request.diffFile.isEmpty() || request.missingListed > 0 || request.worstListed > 0)) {
            context.fail(tr("%1 is a recording: --diff, --missing and --worst are for pictures.")
                             .arg(CommandContext::Shown(fileName)));
            status = Failed;
            continue;
        }
        CensusReport::Result result =
            isRecording ? recordingCensus(fileName, recording) : CensusReport::Run(fileName, request);
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

} // namespace CensusCommand
