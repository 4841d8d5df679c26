#include "sheet/SheetCommands.h"

#include "sheet/ApplyCommand.h"
#include "sheet/CensusCommand.h"
#include "sheet/CommandContext.h"
#include "sheet/DiagnoseCommand.h"
#include "sheet/LocateCommand.h"
#include "sheet/LutCommand.h"
#include "sheet/MakeCommand.h"
#include "sheet/ModesCommand.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <new>

namespace SheetCommands {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

const SheetCommand *commandNamed(const QString &name)
{
    const auto &list = Commands();
    const auto found = std::find_if(list.begin(), list.end(), [&](const SheetCommand &c) { return c.name == name; });
    return found == list.end() ? nullptr : &*found;
}

QString commandNames()
{
    QStringList names;
    for (const SheetCommand &command : Commands())
        names << command.name;
    return SheetArguments::Listed(names);
}

QString overview()
{
    QString list;
    for (const SheetCommand &command : Commands())
        list += QStringLiteral("  %1\n      %2\n").arg(command.synopsis(), command.summary);

    return tr("Tintwell's colour sheets without a window: the same sheets the window draws, made, checked and\n"
            "searched from the command line. No display is needed.\n"
            "\n"
            "Commands:\n"
            "%1"
            "\n"
            "MODE: %2; 256kilo is taken for 256killo.\n"
            "\n"
            "Exit status: 0 done; 1 a negative answer (census --mode, diagnose: the picture is not the sheet;\n"
            "locate: the sheet does not hold the colour); 2 an error, told in one line on standard error.\n"
            "\n"
            "%3\n"
            "\n"
            "'%4 COMMAND --help' describes one command.")
        .arg(list, SheetArguments::ModeChoices(), SheetArguments::AllocationLimitNote(),
             QCoreApplication::applicationName());
}

void describe(QCommandLineParser &parser, const SheetCommand *command)
{
    parser.addHelpOption();
    parser.addVersionOption();
    if (command) {
        command->describeTo(parser);
        return;
    }
    parser.setApplicationDescription(overview());
    parser.addPositionalArgument(QStringLiteral("command"), tr("%1.").arg(commandNames()),
                                 QStringLiteral("command [arguments]"));
}

// Every command's options, each name once: the command is found among
// words that may be any command's options (commands share --mode, --format).
QList<CommandOption> everyOption()
{
    QList<CommandOption> all;
    QStringList known;
    for (const SheetCommand &command : Commands())
        for (const CommandOption &option : command.options)
            if (!known.contains(QLatin1String(option.name))) {
                known += option.names();
                all << option;
            }
    return all;
}

// A word such as "-1" is a negative number, never an option; Qt's parser
// would call it the unknown option '1'. Returns the first such word that is
// not an option's value.
QString negativeNumber(const QStringList &arguments)
{
    QStringList takingValues;
    for (const CommandOption &option : everyOption())
        if (option.takesValue())
            takingValues += option.names();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments[i];
        if (word == QLatin1String("--"))
            break;
        if (word.size() >= 2 && word[0] == QLatin1Char('-') && word[1].isDigit())
            return word;
        QString name = word;
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        if (word.startsWith(QLatin1Char('-')) && !name.contains(QLatin1Char('=')) && takingValues.contains(name))
            ++i; // its value may be anything
    }
    return {};
}

// An option whose value may be left out (census's --missing) is given the
// value it stands for alone, unless a whole number follows it.
QStringList withBareValues(QStringList arguments)
{
    for (const CommandOption &option : everyOption()) {
        if (!option.bareValue)
            continue;
        const QString bare = QStringLiteral("--") + QLatin1String(option.name);
        for (qsizetype i = 1; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
            if (arguments[i] != bare)
                continue;
            const bool countFollows = i + 1 < arguments.size() && !arguments[i + 1].isEmpty()
                                      && std::all_of(arguments[i + 1].begin(), arguments[i + 1].end(),
                                                     [](QChar c) { return c.isDigit(); });
            if (!countFollows)
                arguments[i] = bare + QLatin1Char('=') + QLatin1String(option.bareValue);
        }
    }
    return arguments;
}

int runIn(CommandContext &context, const QCommandLineParser &parser, const QStringList &words,
          const SheetCommand *command)
{
    // A misspelt command is named even with --help: the general help would
    // hide that it does not exist.
    if (!words.isEmpty() && !command)
        return context.failUsage(tr("Unknown command '%1': give %2.").arg(words.first(), commandNames()));
    if (parser.isSet(QStringLiteral("help"))) {
        context.print(parser.helpText().chopped(1));
        return Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        context.print(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return Done;
    }
    if (words.isEmpty())
        return context.failUsage(tr("Give a command: %1.").arg(commandNames()));

    const qsizetype given = context.arguments().size();
    const qsizetype wanted = command->arguments.size();
    if (given > wanted && command->takesMore())
        return command->run(context);
    if (given > wanted && wanted == 0)
        return context.failUsage(tr("%1 takes no arguments.").arg(command->name));
    if (given > wanted) {
        QStringList extra;
        for (const QString &word : context.arguments().mid(wanted))
            extra << QLatin1Char('\'') + word + QLatin1Char('\'');
        return context.failUsage(tr("Too many arguments: %1 takes %2, not also %3.")
                                     .arg(command->name, command->neededArguments(), extra.join(QLatin1Char(' '))));
    }
    if (given < wanted)
        return context.failUsage(tr("%1 needs %2.").arg(command->name, command->neededArguments()));
    return command->run(context);
}

} // namespace

const std::vector<SheetCommand> &Commands()
{
    static const std::vector<SheetCommand> list = {
        MakeCommand::Declaration(),   CensusCommand::Declaration(), DiagnoseCommand::Declaration(),
        LocateCommand::Declaration(), ModesCommand::Declaration(),  LutCommand::Declaration(),
        ApplyCommand::Declaration(),
    };
    return list;
}

int Run(const QStringList &givenArguments, QIODevice &out, QIODevice &err)
{
    const QStringList arguments = withBareValues(givenArguments);
    QCommandLineParser noOptions;
    CommandContext early({}, noOptions, out, err);

    const QString negative = negativeNumber(arguments);
    if (!negative.isEmpty())
        return early.failUsage(
            tr("'%1' is a negative number, not an option, and no argument takes a negative number.").arg(negative));

    // First find the command, knowing every command's options; then parse
    // again knowing only the command's own.
    QCommandLineParser any;
    for (const CommandOption &option : everyOption())
        any.addOption(option.parserOption());
    describe(any, nullptr);
    if (!any.parse(arguments))
        return early.failUsage(any.errorText());
    const QStringList words = any.positionalArguments();
    const SheetCommand *command = words.isEmpty() ? nullptr : commandNamed(words.first());

    QCommandLineParser parser;
    describe(parser, command);
    if (!parser.parse(arguments))
        return early.failUsage(parser.errorText());
    CommandContext context(parser.positionalArguments().mid(1), parser, out, err);
    int status = Failed;
    try {
        status = runIn(context, parser, words, command);
    } catch (const std::bad_alloc &) {
        // Whatever a command was holding is freed on the way here.
        return context.fail(tr("There is not enough memory for '%1'.").arg(words.join(QLatin1Char(' '))));
    }
    // A full disk or a closed pipe behind the results is an error too.
    if (status != Failed && context.outFailed())
        return context.fail(tr("Could not write to standard output: %1").arg(context.outError()));
    return status;
}

} // namespace SheetCommands
