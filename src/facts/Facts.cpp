#include "facts/Facts.h"

#include <cmath>

void Facts::add(const QString &name, qint64 value)
{
    add(name, QString::number(value), QJsonValue(value));
}

void Facts::add(const QString &name, double value, int decimals, const QString &unit)
{
    // JSON has no infinity.
    const bool finite = std::isfinite(value);
    add(name, finite ? QString::number(value, 'f', decimals) : QStringLiteral("inf"),
        finite ? QJsonValue(value) : QJsonValue(QJsonValue::Null), unit);
}

void Facts::add(const QString &name, const QString &value)
{
    add(name, value, QJsonValue(value));
}

void Facts::add(const QString &name, int x, int y)
{
    add(name, QStringLiteral("%1 %2").arg(x).arg(y), QJsonArray {x, y});
}

void Facts::add(const QString &name, const QString &text, const QJsonValue &value, const QString &unit)
{
    const QString line = unit.isEmpty() ? QStringLiteral("%1: %2").arg(name, text)
                                        : QStringLiteral("%1: %2 %3").arg(name, text, unit);
    facts_.push_back({name, Key(name, unit), {line}, value});
}

void Facts::addRows(const QString &key, const QStringList &lines, const QJsonArray &items)
{
    facts_.push_back({QString(), key, lines, items});
}

QStringList Facts::lines() const
{
    QStringList all;
    for (const Fact &fact : facts_)
        all << fact.text;
    return all;
}

QJsonObject Facts::json() const
{
    QJsonObject object;
    for (const Fact &fact : facts_)
        object.insert(fact.key, fact.value);
    return object;
}

QString Facts::Key(const QString &name, const QString &unit)
{
    const QString words = unit == QLatin1String("%") ? name + QLatin1String(" percent")
                          : unit.isEmpty()           ? name
                                                     : name + QLatin1Char(' ') + unit;
    QString key;
    for (const QChar c : words.toLower()) {
        if (c.isLetterOrNumber())
            key += c;
        else if (!key.isEmpty() && !key.endsWith(QLatin1Char('_')))
            key += QLatin1Char('_');
    }
    while (key.endsWith(QLatin1Char('_')))
        key.chop(1);
    return key;
}
