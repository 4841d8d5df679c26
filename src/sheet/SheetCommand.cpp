#include "sheet/SheetCommand.h"

#include "sheet/SheetArguments.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

} // namespace

bool SheetCommand::takesMore() const
{
    return !arguments.isEmpty() && arguments.constLast().name.endsWith(QLatin1String("..."));
}

QString SheetCommand::synopsis() const
{
    QStringList words {name};
    for (const CommandArgument &argument : arguments)
        words << argument.name;
    for (const CommandOption &option : options) {
        const QString word = QStringLiteral("--%1 %2").arg(QLatin1String(option.name), QLatin1String(option.valueName));
        words << (option.required ? word : QLatin1Char('[') + word + QLatin1Char(']'));
    }
    return words.join(QLatin1Char(' '));
}

QString SheetCommand::neededArguments() const
{
    if (arguments.size() == 1 && takesMore())
        return tr("one %1 or more").arg(arguments.constFirst().name.chopped(3));
    if (arguments.size() == 1)
        return tr("one %1").arg(arguments.constFirst().name);
    QStringList each;
    for (const CommandArgument &argument : arguments)
        each << (QStringLiteral("AEIOU").contains(argument.name.front()) ? tr("an %1") : tr("a %1")).arg(argument.name);
    return SheetArguments::Listed(each, tr(" and "));
}

void SheetCommand::describeTo(QCommandLineParser &parser) const
{
    parser.setApplicationDescription(description);
    for (const CommandOption &option : options)
        parser.addOption(option.parserOption());
    parser.addPositionalArgument(name, tr("The command."));
    for (const CommandArgument &argument : arguments)
        parser.addPositionalArgument(argument.name, argument.help);
}
