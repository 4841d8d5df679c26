#pragma once

// apply LUT PICTURE OUT [--mode M] [--format hald|cube] [--interpolation
// METHOD]: grades a picture with a .cube file, a HaldCLUT or an edited sheet.

#include "sheet/SheetCommand.h"

namespace ApplyCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace ApplyCommand
