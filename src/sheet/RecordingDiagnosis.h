#pragma once

// diagnose of a recording: its census (the stream, its tags, the sheet found
// and every frame measured), then what the file stores, read from the
// samples of the first frame that holds the sheet, and the steps by which a
// player following the tags shows it wrongly; as lines or as JSON, and the
// table that undoes those steps.

#include "census/CensusReport.h"
#include "video/VideoFrames.h"

#include <optional>
#include <vector>

class CommandContext;
class QImage;
class QString;

namespace RecordingDiagnosis {

struct Request
{
    // The sheet (RGB32), or when it is null whichever of `anyOf` the
    // recording shows.
    const QImage &sheet;
    const std::vector<CensusReport::Candidate> &anyOf;
    std::optional<CensusReport::Placement> at;
    // Whose rules the recording is shown by.
    VideoFrames::Player player = VideoFrames::Player::Default;
    bool json = false;
    // Where to write the table that undoes the steps found; empty: nowhere.
    QString fixFile;
};

// Prints the diagnosis of the recording `fileName`; returns the command's
// status: Done when the data is what the tags say and the frames are the
// sheet, No otherwise, Failed on an error (and then nothing on standard
// output in JSON).
int Run(CommandContext &context, const QString &fileName, const Request &request);

} // namespace RecordingDiagnosis
