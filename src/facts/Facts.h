#pragma once

// What a command found, kept once as (name, value) pairs and written either
// as the `name: value` lines a person (or a script matching ASCII names)
// reads, or as one JSON object whose keys are the names in snake_case:
// "mean dE2000: 1.2345" is "mean_de2000": 1.2345, "PSNR: 25.73 dB" is
// "psnr_db": 25.73, "offset: 813 301" is "offset": [813, 301]. A list of
// rows ("RRGGBB X Y") is lines of their own in the text and an array under
// one key in JSON.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <vector>

class Facts
{
public:
    // A whole number.
    void add(const QString &name, qint64 value);
    // A measure with `decimals` decimals and an optional unit ("dB", "%");
    // infinity is written "inf" in the text and null in JSON.
    void add(const QString &name, double value, int decimals, const QString &unit = {});
    void add(const QString &name, const QString &value);
    // Two whole numbers: "name: X Y", [x, y].
    void add(const QString &name, int x, int y);
    // Any value whose text the caller writes.
    void add(const QString &name, const QString &text, const QJsonValue &value, const QString &unit = {});
    // Rows of their own: lines in the text, an array under `key` in JSON.
    void addRows(const QString &key, const QStringList &lines, const QJsonArray &items);

    QStringList lines() const;
    QJsonObject json() const;
    bool isEmpty() const { return facts_.empty(); }

    // "mean dE2000" -> "mean_de2000", with the unit: "PSNR", "dB" -> "psnr_db", "%" -> "_percent".
    static QString Key(const QString &name, const QString &unit = {});

private:
    struct Fact
    {
        QString name; // empty for rows
        QString key;
        QStringList text;
        QJsonValue value;
    };
    std::vector<Fact> facts_;
};
