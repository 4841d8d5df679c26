#include "sheet/RecordingDiagnosis.h"

#include "census/VideoCensus.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "video/StoredData.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"

#include <QImage>

#include <memory>

namespace RecordingDiagnosis {

int Run(CommandContext &context, const QString &fileName, const QImage &sheet,
        const std::vector<CensusReport::Candidate> &anyOf, const std::optional<CensusReport::Placement> &at,
        VideoFrames::Player player)
{
    QString error;
    const std::unique_ptr<VideoFrames::Reader> reader = VideoLibrary::Open(fileName, PictureReader::AllocationLimit(), error);
    if (!reader)
        return context.fail(error);
    reader->setPlayer(player);

    VideoCensus::Request request;
    if (!sheet.isNull())
        request.sheet = sheet.convertToFormat(QImage::Format_RGB32);
    request.anyOf = anyOf;
    request.at = at;
    QStringList stored;
    QStringList steps;
    bool storedRead = false;
    // The samples are read while the frame that first holds the sheet is the
    // reader's current one.
    const auto readStored = [&](const QImage &frame, const VideoCensus::Found &found) {
        const StoredData::Reading reading = StoredData::Read(reader->samples(), reader->info(), frame, found.sheet,
                                                             found.place.x, found.place.y, found.place.scale);
        stored = StoredData::Lines(reading, reader->info());
        storedRead = reading.read;
        if (reading.read)
            steps = StoredData::Steps(reading, reader->info());
    };
    const VideoCensus::Result census = VideoCensus::Run(*reader, CommandContext::Shown(fileName), request, readStored);
    for (const QString &line : census.lines)
        context.print(line);
    for (const QString &line : stored)
        context.print(line);
    if (census.outcome == CensusReport::Outcome::Failed)
        return context.fail(census.error);
    if (census.found.frame < 0 && (!sheet.isNull() || !anyOf.empty()))
        return NoSheet;
    // Samples stored as the tags say are a right path, whatever the codec's noise.
    if (storedRead)
        return steps.isEmpty() ? Done : No;
    return census.outcome == CensusReport::Outcome::Matches ? Done : No;
}

} // namespace RecordingDiagnosis
