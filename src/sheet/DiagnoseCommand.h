#pragma once

// diagnose FILE --mode MODE [--at X,Y[,SCALE]] [--fix OUT.cube]: the census
// of the picture against the sheet, then the chain of known steps that turns
// the sheet into what the picture holds (Diagnosis's), one line a step, and
// optionally a .cube that undoes the invertible ones.

class CommandContext;

namespace DiagnoseCommand {

// Points a channel of the --fix table.
inline constexpr int FixPoints = 65;

int Run(CommandContext &context);

} // namespace DiagnoseCommand
