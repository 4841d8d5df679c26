#pragma once

// The system calls the program makes: the millisecond tick counter, and the
// shell request that opens a web address or file with its registered handler.

#include <cstdint>

class QString;
class QWidget;

namespace Module1 {

// Milliseconds since an arbitrary point, as a 32-bit signed value that wraps
// around like the system's tick counter.
std::int32_t GetTickCount();

// Asks the system to open `text` (a web address or a file) with its
// registered handler, on behalf of `window`. The outcome is not reported: a
// failed request changes nothing in the program.
void ShellOpen(QWidget *window, const QString &text);

} // namespace Module1
