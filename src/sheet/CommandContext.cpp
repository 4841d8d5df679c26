#include "sheet/CommandContext.h"

#include "platform/PictureFile.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QDir>
#include <QFileDevice>
#include <QIODevice>

#include <unistd.h>

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

bool writeBytes(QIODevice &device, const QByteArray &bytes)
{
    return device.write(bytes) == bytes.size();
}

bool writeLine(QIODevice &device, const QString &line)
{
    return writeBytes(device, line.toLocal8Bit() + '\n');
}

} // namespace

CommandContext::CommandContext(QStringList arguments, const QCommandLineParser &options, QIODevice &out,
                               QIODevice &err)
    : arguments_(std::move(arguments))
    , options_(options)
    , out_(out)
    , err_(err)
{
}

bool CommandContext::outIsTerminal() const
{
    const auto *file = qobject_cast<const QFileDevice *>(&out_);
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

bool CommandContext::writeOut(const QString &fileName, bool binary, const SafeSave::Writer &write, QString &error)
{
    QString reason;
    if (fileName != QLatin1String("-")) {
        if (SafeSave::Save(fileName, write, reason))
            return true;
        error = PictureFile::SaveFailure(fileName, reason);
        return false;
    }
    if (binary && outIsTerminal())
        reason = tr("It is a terminal; send it to a file or a program instead.");
    else if (write(out_, reason))
        return true;
    error = PictureFile::SaveFailure(tr("standard output"), reason);
    return false;
}

QString CommandContext::Shown(const QString &fileName)
{
    return fileName == QLatin1String("-") ? tr("standard input") : QDir::toNativeSeparators(fileName);
}

std::optional<QString> CommandContext::option(const CommandOption &option) const
{
    return isSet(option) ? std::optional<QString>(value(option)) : std::nullopt;
}

bool CommandContext::isSet(const CommandOption &option) const
{
    return options_.isSet(QLatin1String(option.name));
}

QString CommandContext::value(const CommandOption &option) const
{
    return options_.value(QLatin1String(option.name));
}

void CommandContext::print(const QString &line)
{
    // After a failure nothing more is written: the first reason is the one told.
    if (outFailed())
        return;
    if (!writeLine(out_, line)) {
        outError_ = out_.errorString();
        if (outError_.isEmpty())
            outError_ = tr("The output took only part of a line.");
    }
}

void CommandContext::printJson(const QJsonValue &document)
{
    if (outFailed())
        return;
    const QJsonDocument json = document.isArray() ? QJsonDocument(document.toArray()) : QJsonDocument(document.toObject());
    if (!writeBytes(out_, json.toJson(QJsonDocument::Compact) + '\n')) {
        outError_ = out_.errorString();
        if (outError_.isEmpty())
            outError_ = tr("The output took only part of the document.");
    }
}

int CommandContext::fail(const QString &message)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    writeLine(err_, QCoreApplication::applicationName() + QLatin1String(": ") + line);
    return Failed;
}

void CommandContext::warn(const QString &message)
{
    fail(message);
}

int CommandContext::failUsage(const QString &message)
{
    return fail(message + tr(" See '%1 --help'.").arg(QCoreApplication::applicationName()));
}

int CommandContext::answerNo(const QString &message)
{
    fail(message);
    return No;
}

int CommandContext::failUnknownMode(const QString &text)
{
    return fail(tr("Unknown mode '%1': give %2.").arg(text, SheetArguments::ModeChoices()));
}

int CommandContext::failNoMemory(int width, int height)
{
    return fail(tr("There is not enough memory for the %1x%2 sheet.").arg(width).arg(height));
}
