#pragma once

// The small services of the system that the window's handlers use: event
// processing between tiles, the beep, and the one question the program asks.

class QString;
class QWidget;

namespace Interaction {

// Answers of MsgBox.
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;

// Handles every pending window event (clicks, repaints, a close) and returns.
void DoEvents();

// The system's beep.
void Beep();

// A modal question with the buttons OK (the default) and Cancel, no icon, and
// the title of the parent's window. Escape and the close box answer Cancel.
int MsgBox(QWidget *parent, const QString &prompt);

} // namespace Interaction
