#pragma once

// What a command of tintwell-sheet declares beside its code: its name, its
// arguments, its options and its help, and the function that runs it. The
// list of commands (SheetCommands.cpp) parses a command line against these
// declarations; the shell's completion and the manual page are checked
// against them.

#include "sheet/CommandOption.h"

#include <QList>
#include <QString>

class CommandContext;
class QCommandLineParser;

struct CommandArgument
{
    QString name; // "MODE", "FILE"; "FILE..." takes one or more words
    QString help;
    Takes takes = Takes::Text;
};

struct SheetCommand
{
    QString name;
    QList<CommandArgument> arguments = {};
    QList<CommandOption> options = {};
    QString summary;     // one line, for the list of commands
    QString description; // for COMMAND --help
    int (*run)(CommandContext &context) = nullptr;

    // Whether the last argument takes one or more words.
    bool takesMore() const;
    // "make MODE FILE [--format bmp|png] ..."
    QString synopsis() const;
    // "a MODE and a FILE", "one FILE", "one FILE or more"
    QString neededArguments() const;
    // The command's help, options and arguments, for parsing its command line.
    void describeTo(QCommandLineParser &parser) const;
};
