#pragma once

// tintwell-sheet's command line: which command was asked for, its options
// and arguments checked against the one table of commands
// (SheetCommands.cpp), and the command run. Adding a command is one row of
// that table and one function taking a CommandContext.

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class QIODevice;

namespace SheetCommands {

// Runs the command line `arguments` (the program's name first): results on
// `out`, an error as one line on `err`. Returns the exit status: 0 done,
// 1 a negative answer, 2 an error (a result that could not be written to
// `out` among them).
int Run(const QStringList &arguments, QIODevice &out, QIODevice &err);

// The commands, in the order the help lists them, each with the long names
// of its options: what the shell's completion must offer.
std::vector<std::pair<QString, QStringList>> CommandOptions();

} // namespace SheetCommands
