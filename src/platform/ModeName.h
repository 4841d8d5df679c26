#pragma once

// A mode's name as the list shows it ("64kilo"): for titles, messages and
// the command line.

#include "generation/Sheets.h"

#include <QString>

inline QString ModeName(Mode mode)
{
    const std::string_view name = Sheets::Of(mode).name;
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}
