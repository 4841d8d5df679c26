#pragma once

// apply LUT PICTURE OUT [--mode M] [--interpolation METHOD]: grades a
// picture with a .cube file, a HaldCLUT or an edited sheet. Its row in the
// table of commands (SheetCommands.cpp) gives its arguments, options and help.

class CommandContext;

namespace ApplyCommand {

int Run(CommandContext &context);

} // namespace ApplyCommand
