#include "sheet/CommandOption.h"

#include <QCoreApplication>

QStringList CommandOption::names() const
{
    QStringList all {QLatin1String(name)};
    if (shortName)
        all << QLatin1String(shortName);
    return all;
}

QCommandLineOption CommandOption::parserOption() const
{
    const QString text = QCoreApplication::translate("SheetCommands", help);
    if (!takesValue())
        return {names(), text};
    return {names(), text, QLatin1String(valueName)};
}
