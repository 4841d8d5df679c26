#pragma once

// diagnose of a capture of the deep sheet: where it lies, how it was made
// (its identity strip), and the chain that made the capture of it, as
// facts; --fix writes the table that takes the capture to the sheet's SDR
// rendering.

#include "hdr/DeepCapture.h"
#include "picture/PictureReader.h"

#include <optional>

class CommandContext;
class QString;

namespace DeepDiagnosis {

// Prints the diagnosis of `picture` (read from `fileName`), the deep sheet
// found at `placement`, after writing the fix to `fixFile` (empty: none);
// returns the command's status.
int Run(CommandContext &context, const QString &fileName, const QString &fixFile, const PictureReader::Picture &picture,
        const DeepCapture::Placement &placement);

// The same for a recording that shows the deep sheet in one of its first
// frames: the stream's lines first, and what its samples store. Nothing
// when none of them shows it (the caller goes on with the eight sheets).
std::optional<int> RunRecording(CommandContext &context, const QString &fileName, const QString &fixFile);

} // namespace DeepDiagnosis
