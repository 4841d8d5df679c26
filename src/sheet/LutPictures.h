#pragma once

// The look-up tables a picture holds, read for lut and apply: an edited
// sheet (of the mode given, or of the size the picture has) or a HaldCLUT.
// Where the picture alone must say which, and where it cannot give an exact
// result (saved lossy), a note says so; a sheet of the wrong size is refused
// with the mode whose size it has, or as resized.

#include "generation/Sheets.h"
#include "lut/ColourLut.h"
#include "lut/SheetLut.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace LutPictures {

using AnyLut = std::variant<ColourLut, SheetLut>;

// What the command line said the picture is: an edited sheet of `mode`, a
// HaldCLUT, or nothing.
struct Told
{
    std::optional<Mode> mode;
    bool hald = false;
};

// Reads the table the picture `fileName` holds ("-": standard input).
// `notes` receives the lines to tell on standard error; on failure returns
// false and sets `error` to a sentence naming the file.
bool Read(const QString &fileName, Told told, AnyLut &lut, QStringList &notes, QString &error);

// The same for an edited sheet of `mode` only.
bool ReadEditedSheet(const QString &fileName, Mode mode, SheetLut &sheet, QStringList &notes, QString &error);

} // namespace LutPictures
