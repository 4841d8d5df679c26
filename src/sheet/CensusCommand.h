#pragma once

// census FILE [--mode MODE]: a picture's size, pixels and distinct colours,
// and with a mode how it differs from that sheet (exit 1 when it is not the
// sheet pixel for pixel).

class CommandContext;

namespace CensusCommand {

int Run(CommandContext &context);

} // namespace CensusCommand
