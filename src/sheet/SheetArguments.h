#pragma once

// What the command line names, turned into the program's terms: a mode, a
// colour, a picture format, a place in a picture; and what several commands
// declare alike (--json, the allocation limit's note).

#include "census/CensusReport.h"
#include "generation/Sheets.h"
#include "platform/ModeName.h"
#include "platform/PictureFile.h"
#include "sheet/CommandOption.h"
#include "video/VideoFrames.h"

#include <QRgb>
#include <QString>
#include <QStringList>

#include <QtGlobal>

#include <optional>

class CommandContext;

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

// "X,Y" or "X,Y,SCALE" (whole numbers, SCALE from 1): where the sheet lies
// in the picture, for --at; none when malformed.
std::optional<CensusReport::Placement> ParsePlacement(const QString &text);

// "a, b or c"; `lastJoint` instead of " or ".
QString Listed(const QStringList &items, const QString &lastJoint = {});

// The pictures' allocation limit, in the help's words.
QString AllocationLimitNote();

inline constexpr CommandOption Json {
    .name = "json",
    .help = QT_TRANSLATE_NOOP("SheetCommands", "Write the results as one JSON document on standard output."),
};

inline constexpr CommandOption Player {
    .name = "player",
    .valueName = "mpv|gstreamer|ffmpeg|chromium|firefox",
    .help = QT_TRANSLATE_NOOP("SheetCommands",
                              "A recording: shown as this player shows it, by its own rules for missing tags."),
    .takes = Takes::Word,
    .words = "mpv gstreamer ffmpeg chromium firefox",
};

// The player --player names (Default without it); none, the error told,
// when it names none.
std::optional<VideoFrames::Player> ParsePlayer(CommandContext &context);

} // namespace SheetArguments
