#pragma once

// The program's language. The design's texts are the source texts: Japanese
// locales show them as they stand and the texts the design does not have
// (the full-size view, the messages) in Japanese, every other locale the
// English translation (translations/tintwell_<language>.ts, built into the
// program; a language is added by adding its .ts file). Qt's own texts (the file
// dialog, the message buttons) come from Qt's translations for the locale.

class QLocale;

namespace Language {

// Installs the translations for `locale`, replacing any installed before.
void Install(const QLocale &locale);

} // namespace Language
