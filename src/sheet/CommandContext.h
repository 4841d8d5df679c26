#pragma once

// What a command of tintwell-sheet is given: its own arguments (the words
// after its name), the options it was given, and the streams it answers on.
// Results go to `out` a line at a time; an error is one line on `err`
// naming the program. The program passes its standard streams, the tests
// buffers of their own.

#include "platform/SafeSave.h"
#include "sheet/CommandOption.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;
class QIODevice;
class QJsonValue;

// How a command ended, as the program's exit status. NoSheet: diagnose
// found no sheet in the picture.
enum CommandStatus { Done = 0, No = 1, Failed = 2, NoSheet = 3 };

class CommandContext
{
public:
    CommandContext(QStringList arguments, const QCommandLineParser &options, QIODevice &out, QIODevice &err);

    const QStringList &arguments() const { return arguments_; }
    // The options, read through the constants that declare them.
    bool isSet(const CommandOption &option) const;
    QString value(const CommandOption &option) const;
    // The value of an option given, none when it is not.
    std::optional<QString> option(const CommandOption &option) const;

    // Standard output, for a command that writes more than lines (a picture).
    QIODevice &out() { return out_; }
    // Whether standard output is a terminal, where no picture is written.
    bool outIsTerminal() const;
    // Writes through `write` to `fileName` under SafeSave's rules, or to
    // standard output for "-" (never a terminal when `binary`). On failure
    // returns false and sets `error` to a sentence naming the file.
    bool writeOut(const QString &fileName, bool binary, const SafeSave::Writer &write, QString &error);

    // A file name as messages show it; "-" is standard input.
    static QString Shown(const QString &fileName);

    // One line of results.
    void print(const QString &line);
    // The results as one JSON document (an object or an array), for --json.
    void printJson(const QJsonValue &document);
    // One line on `err` ("tintwell-sheet: message", any line breaks in the
    // message made spaces); returns Failed.
    int fail(const QString &message);
    // A line on `err` that the command goes on after: what it assumed, or
    // why its result may not be what was wanted.
    void warn(const QString &message);
    // The same, pointing to --help: for a command line that asks for
    // something that does not exist.
    int failUsage(const QString &message);
    // A negative answer told in one line on `err`; returns No.
    int answerNo(const QString &message);
    int failUnknownMode(const QString &text);
    // A sheet of width x height for which the memory is not there.
    int failNoMemory(int width, int height);

    // Whether a line of results could not be written, and why.
    bool outFailed() const { return !outError_.isEmpty(); }
    QString outError() const { return outError_; }

private:
    QStringList arguments_;
    const QCommandLineParser &options_;
    QIODevice &out_;
    QIODevice &err_;
    QString outError_;
};
