#pragma once

// tintwell-sheet's look-up table commands:
//   lut EDITED --mode M [-o FILE] [--size N] [--format cube|hald]
//   apply LUT PICTURE OUT [--mode M] [--interpolation tetrahedral|trilinear|nearest]
// The command line hands them their positional arguments and option values;
// each returns its exit status and, when it failed, the one line to print.

#include <QString>
#include <QStringList>

#include <optional>

namespace LutCommands {

struct LutOptions
{
    std::optional<QString> mode;
    std::optional<QString> output; // -o
    std::optional<QString> size;
    std::optional<QString> format;
};

struct ApplyOptions
{
    std::optional<QString> mode;
    std::optional<QString> interpolation;
};

// Exit statuses, as the other commands use them.
enum Status { Done = 0, Failed = 2 };

int Lut(const QStringList &arguments, const LutOptions &options, QString &error);
int Apply(const QStringList &arguments, const ApplyOptions &options, QString &error);

// The help texts of the two commands.
QString LutDescription();
QString ApplyDescription();

} // namespace LutCommands
