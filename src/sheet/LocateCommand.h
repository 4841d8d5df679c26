#pragma once

// locate MODE COLOUR: every place of a colour in a mode's sheet, as X Y
// lines in reading order (exit 1 when the sheet does not hold it).

#include "sheet/SheetCommand.h"

namespace LocateCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace LocateCommand
