#pragma once

// One option of a tintwell-sheet command, declared once as a constant beside
// the command's code: the command's declaration lists it, the parser learns
// it from there, and the command reads its value through the same constant.

#include <QCommandLineOption>

// What goes in an option's value or an argument's place, as the shell's
// completion offers it.
enum class Takes {
    Text,       // a number, a place, a colour: nothing to offer
    File,       // a file name
    Mode,       // a mode's name
    ModeOrAuto, // a mode's name or auto
    ModeOrDeep, // a mode's name or deep (make's sheet)
    Word,       // one of the option's `words`
};

struct CommandOption
{
    const char *name;                // the long name: --name
    const char *valueName = nullptr; // none for a switch
    const char *help = "";           // English, translated when shown
    Takes takes = Takes::Text;
    const char *words = nullptr;     // Takes::Word: the values, separated by spaces
    const char *shortName = nullptr; // -o for --output
    bool required = false;           // the command cannot do without it
    // The value a bare --name stands for, when a whole number may follow it
    // or not (census's --missing): Qt's parser knows no optional values.
    const char *bareValue = nullptr;

    bool takesValue() const { return valueName != nullptr; }
    QStringList names() const;
    // As Qt's parser takes it, the help translated.
    QCommandLineOption parserOption() const;
};
