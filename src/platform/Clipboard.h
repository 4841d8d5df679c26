#pragma once

class QString;

// The system clipboard, as the colour pick uses it.
namespace Clipboard {

// Removes everything the clipboard holds.
void Clear();

// Puts a text on the clipboard in the plain-text format.
void SetText(const QString &text);

} // namespace Clipboard
