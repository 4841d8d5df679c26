#pragma once

// What the command line names, turned into the program's terms: a mode, a
// colour, a picture format.

#include "generation/Sheets.h"
#include "platform/ModeName.h"
#include "platform/PictureFile.h"

#include <QRgb>
#include <QString>

#include <optional>

namespace SheetArguments {

using Format = PictureFile::Format;

// A mode named by its list text ("16million" ... "729", any case), by
// "256kilo" for the list's "256killo", or by its index 0 to 7.
std::optional<Mode> ParseMode(const QString &text);
using ::ModeName;
// "16million, 1million, ... or 729 (or 0 to 7)", for messages and help.
QString ModeChoices();

// RRGGBB with or without a leading '#', either case.
std::optional<QRgb> ParseColour(const QString &text);

// "bmp" or "png", any case.
std::optional<Format> ParseFormat(const QString &text);

} // namespace SheetArguments
