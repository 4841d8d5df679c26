#pragma once

// make MODE FILE [--format bmp|png]: the complete sheet of a mode written
// to a file or standard output. A BMP file is exactly what the window's
// Save writes (the same code writes it), a PNG file holds the same pixels as
// 24-bit RGB; a file is replaced only by a complete new one.

class CommandContext;

namespace MakeCommand {

int Run(CommandContext &context);

} // namespace MakeCommand
