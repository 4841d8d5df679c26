#pragma once

// modes: one line per mode, index, name, size, tile size and distinct colours.

#include "sheet/SheetCommand.h"

namespace ModesCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace ModesCommand
