#pragma once

// The system calls the program makes: the millisecond tick counter, and the
// shell request that opens a web address or file with its registered handler.

#include <cstdint>
#include <functional>

class QString;
class QWidget;

namespace Module1 {

// Milliseconds since an arbitrary point, as a 32-bit signed value that wraps
// around like the system's tick counter.
std::int32_t GetTickCount();

// Asks the system to open `text` (a web address or a file) with its
// registered handler, on behalf of `window`, and returns at once. When the
// request turns out to have failed (no handler, no browser behind it),
// `failed` is called later on the window's thread, unless the window is gone
// by then. An empty text asks nothing.
void ShellOpen(QWidget *window, const QString &text, const std::function<void()> &failed = {});

} // namespace Module1
