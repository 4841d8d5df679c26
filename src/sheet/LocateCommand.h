#pragma once

// locate MODE COLOUR: every place of a colour in a mode's sheet, as X Y
// lines in reading order (exit 1 when the sheet does not hold it).

class CommandContext;

namespace LocateCommand {

int Run(CommandContext &context);

} // namespace LocateCommand
