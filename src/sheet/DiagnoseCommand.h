#pragma once

// diagnose FILE [--mode MODE|auto] [--at X,Y[,SCALE]] [--fix OUT.cube]
// [--json]: the census of the picture against the sheet, then the chain of
// known steps that turns the sheet into what the picture holds
// (Diagnosis's), one line a step, and optionally a .cube that undoes the
// invertible ones.

#include "sheet/SheetCommand.h"

namespace DiagnoseCommand {

// Points a channel of the --fix table.
inline constexpr int FixPoints = 65;

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace DiagnoseCommand
