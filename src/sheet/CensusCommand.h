#pragma once

// census FILE... [--mode MODE] [--at X,Y[,SCALE]] [--diff FILE]
// [--missing[=N]]: each picture's size, pixels, distinct colours and depth,
// and with a mode where the sheet lies in it and how far off it is (exit 1
// when any picture is not the sheet pixel for pixel). The census of one
// picture is CensusReport's.

#include "census/CensusReport.h"
#include "video/VideoFrames.h"

#include <QString>

#include <optional>

class CommandContext;

namespace CensusCommand {

// How many missing colours a bare --missing lists.
inline constexpr int MissingListedByDefault = 20;

// "X,Y" or "X,Y,SCALE" (whole numbers, SCALE from 1): where the sheet lies
// in the picture, for --at; none when malformed.
std::optional<CensusReport::Placement> ParsePlacement(const QString &text);

// The player --player names (Default without it); none, the error told,
// when it names none.
std::optional<VideoFrames::Player> ParsePlayer(CommandContext &context);

int Run(CommandContext &context);

} // namespace CensusCommand
