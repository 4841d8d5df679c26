#pragma once

// Whether the window program can open a display at all, asked before Qt
// tries: Qt aborts with a core dump when it cannot.

namespace DisplayCheck {

// True when the window system Qt will choose (by -platform, QT_QPA_PLATFORM
// or its default, X or Wayland) answers. Otherwise says in one line on
// standard error what is missing, and returns false.
bool Available(int argc, char *argv[]);

} // namespace DisplayCheck
