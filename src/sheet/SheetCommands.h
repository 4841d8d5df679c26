#pragma once

// tintwell-sheet's command line: which command was asked for, its options
// and arguments checked against the command's own declaration, and the
// command run. Each command declares itself in its own file
// (MakeCommand.cpp, ...); adding one is one file and one row of the list in
// SheetCommands.cpp.

#include "sheet/SheetCommand.h"

#include <QStringList>

#include <vector>

class QIODevice;

namespace SheetCommands {

// Runs the command line `arguments` (the program's name first): results on
// `out`, an error as one line on `err`. Returns the exit status: 0 done,
// 1 a negative answer, 2 an error (a result that could not be written to
// `out` among them).
int Run(const QStringList &arguments, QIODevice &out, QIODevice &err);

// The commands, in the order the help lists them: what the shell's
// completion and the manual page must offer.
const std::vector<SheetCommand> &Commands();

} // namespace SheetCommands
