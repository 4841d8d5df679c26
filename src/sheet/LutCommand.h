#pragma once

// lut EDITED --mode M [-o FILE] [--size N] [--format cube|hald]: turns an
// edited sheet into a .cube file or a HaldCLUT. Its row in the table of
// commands (SheetCommands.cpp) gives its arguments, options and help.

class CommandContext;

namespace LutCommand {

int Run(CommandContext &context);

} // namespace LutCommand
