#pragma once

// tintwell-sheet's commands: make, census, locate and modes. Every sheet is
// drawn by the window's own generation run (SheetHost); what a mode is
// (size, tile size, colours) is read from that run.

#include <QStringList>

namespace SheetCommands {

// How a command ended, as its exit status.
enum Status { Done = 0, No = 1, Failed = 2 };

// Runs the command line `arguments` (the program's name first): results on
// standard output, errors as one line on standard error.
int Run(const QStringList &arguments);

} // namespace SheetCommands
