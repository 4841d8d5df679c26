#pragma once

// make MODE FILE [--format bmp|png] [--seconds S] [--fps F]: the complete
// sheet of a mode written to a file or standard output. A BMP file is
// exactly what the window's Save writes (the same code writes it), a PNG file
// holds the same pixels as 24-bit RGB, a .mkv or .mp4 file a lossless clip;
// a file is replaced only by a complete new one.

#include "sheet/SheetCommand.h"

namespace MakeCommand {

// Its name, arguments, options and help, and the function that runs it.
SheetCommand Declaration();

} // namespace MakeCommand
