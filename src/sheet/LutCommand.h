#pragma once

// lut EDITED --mode M [-o FILE] [--size N] [--format cube|hald]: turns an
// edited sheet into a .cube file or a HaldCLUT.

#include "sheet/SheetCommand.h"

namespace LutCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace LutCommand
