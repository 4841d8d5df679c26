#pragma once

// modes: one line per mode, index, name, size, tile size and distinct colours.

class CommandContext;

namespace ModesCommand {

int Run(CommandContext &context);

} // namespace ModesCommand
