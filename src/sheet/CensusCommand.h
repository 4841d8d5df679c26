#pragma once

// census FILE... [--mode MODE] [--at X,Y[,SCALE]] [--diff FILE]
// [--missing[=N]] [--worst N] [--json] [--frames] [--frame N] [--first N]:
// each picture's size, pixels, distinct colours and depth, and with a mode
// where the sheet lies in it and how far off it is (exit 1 when any picture
// is not the sheet pixel for pixel). The census of one picture is
// CensusReport's, of a recording VideoCensus's.

#include "sheet/SheetCommand.h"

namespace CensusCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace CensusCommand
