#pragma once

// Whether the window program can open a display at all, asked before Qt
// tries: Qt aborts with a core dump when it cannot.

#include <string>

namespace DisplayCheck {

// Empty when the window system Qt will choose (by -platform, QT_QPA_PLATFORM
// or its default, X or Wayland) answers; otherwise what is missing, e.g.
// "the display \":4243\" does not answer".
std::string Missing(int argc, char *argv[]);

} // namespace DisplayCheck
