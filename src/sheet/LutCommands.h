#pragma once

// tintwell-sheet's look-up table commands:
//   lut EDITED --mode M [-o FILE] [--size N] [--format cube|hald]
//   apply LUT PICTURE OUT [--mode M] [--interpolation tetrahedral|trilinear|nearest]
// Their rows in the table of commands (SheetCommands.cpp) give their
// arguments and options; these are the commands themselves.

#include <QList>
#include <QString>

class CommandContext;
class QCommandLineOption;

namespace LutCommands {

int RunLut(CommandContext &context);
int RunApply(CommandContext &context);

// The commands' options, help texts and one-line summaries.
QList<QCommandLineOption> LutOptions();
QList<QCommandLineOption> ApplyOptions();
QString LutDescription();
QString ApplyDescription();
QString LutSummary();
QString ApplySummary();

} // namespace LutCommands
