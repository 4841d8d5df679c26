#include "sheet/RecordingDiagnosis.h"

#include "census/VideoCensus.h"
#include "lut/CubeFile.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "sheet/DiagnoseCommand.h"
#include "video/StoredData.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>

#include <memory>

namespace RecordingDiagnosis {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

} // namespace

int Run(CommandContext &context, const QString &fileName, const Request &asked)
{
    QString error;
    const std::unique_ptr<VideoFrames::Reader> reader =
        VideoLibrary::Open(fileName, PictureReader::AllocationLimit(), error, VideoFrames::Decoding::OneThread);
    if (!reader)
        return context.fail(error);
    reader->setPlayer(asked.player);

    VideoCensus::Request request;
    if (!asked.sheet.isNull())
        request.sheet = asked.sheet.convertToFormat(QImage::Format_RGB32);
    request.anyOf = asked.anyOf;
    request.at = asked.at;
    std::optional<StoredData::Reading> reading;
    // The samples are read while the frame that first holds the sheet is the
    // reader's current one.
    const auto readStored = [&](const QImage &frame, const VideoCensus::Found &found) {
        reading = StoredData::Read(reader->samples(), reader->info(), frame, found.sheet, found.place.x, found.place.y,
                                   found.place.scale);
    };
    VideoCensus::Result census = VideoCensus::Run(*reader, CommandContext::Shown(fileName), request, readStored);
    if (census.outcome == CensusReport::Outcome::Failed) {
        // The lines so far say how far it got; a JSON document would be a partial one.
        if (!asked.json)
            for (const QString &line : census.facts.lines())
                context.print(line);
        return context.fail(census.error);
    }
    const bool noSheet = census.found.frame < 0 && (!asked.sheet.isNull() || !asked.anyOf.empty());
    if (reading)
        VideoCensus::AddStored(*reading, reader->info(), census.facts);
    if (asked.json) {
        context.printJson(census.facts.json());
    } else {
        for (const QString &line : census.facts.lines())
            context.print(line);
    }

    if (!asked.fixFile.isEmpty()) {
        if (!reading) {
            context.answerNo(tr("No frame of %1 holds the sheet: no table written to %2.")
                                 .arg(CommandContext::Shown(fileName), CommandContext::Shown(asked.fixFile)));
            return noSheet ? NoSheet : No;
        }
        const LutTable table = VideoCensus::StoredSteps(*reading, reader->info()).fix(DiagnoseCommand::FixPoints);
        const QString title = tr("undoes what happened to %1").arg(QFileInfo(fileName).fileName());
        const auto write = [&](QIODevice &device, QString &reason) { return CubeFile::Write(table, title, device, reason); };
        if (!context.writeOut(asked.fixFile, false, write, error))
            return context.fail(error);
    }
    if (noSheet)
        return NoSheet;
    // Samples stored as the tags say are a right path, whatever the codec's
    // noise; samples that no reading makes the sheet of are not.
    if (reading && reading->read && StoredData::Clear(*reading))
        return StoredData::Steps(*reading, reader->info()).empty() ? Done : No;
    return census.outcome == CensusReport::Outcome::Matches ? Done : No;
}

} // namespace RecordingDiagnosis
