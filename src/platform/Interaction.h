#pragma once

// The small services of the system that the window's handlers use: event
// processing between tiles, the beep, and the one question the program asks.

#include <QMessageBox>

class QString;
class QWidget;

namespace Interaction {

// Handles every pending window event (clicks, repaints, a close) and returns.
void DoEvents();

// The system's beep.
void Beep();

// A modal question with the buttons OK (the default) and Cancel, no icon, and
// the title of the parent's window. The answer is QMessageBox::Ok or
// QMessageBox::Cancel; Escape and the close box answer Cancel.
QMessageBox::StandardButton MsgBox(QWidget *parent, const QString &prompt);

} // namespace Interaction
