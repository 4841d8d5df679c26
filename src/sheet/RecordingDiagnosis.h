#pragma once

// diagnose of a recording: its census (the stream, its tags, the sheet found
// and every frame measured), then what the file stores, read from the
// samples of the first frame that holds the sheet, and the steps by which a
// player following the tags shows it wrongly.

#include "census/CensusReport.h"
#include "video/VideoFrames.h"

#include <optional>
#include <vector>

class CommandContext;
class QImage;
class QString;

namespace RecordingDiagnosis {

// Prints the diagnosis of the recording `fileName` against `sheet` (or,
// when it is null, whichever of `anyOf` it shows), shown as `player` shows
// it; returns the command's
// status: Done when the data is what the tags say and the frames are the
// sheet, No otherwise, Failed on an error.
int Run(CommandContext &context, const QString &fileName, const QImage &sheet,
        const std::vector<CensusReport::Candidate> &anyOf, const std::optional<CensusReport::Placement> &at,
        VideoFrames::Player player);

} // namespace RecordingDiagnosis
