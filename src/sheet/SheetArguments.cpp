#include "sheet/SheetArguments.h"

#include "generation/Sheets.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace SheetArguments {

std::optional<Mode> ParseMode(const QString &text)
{
    for (const Sheet &sheet : Sheets::All) {
        if (text.compare(ModeName(sheet.mode), Qt::CaseInsensitive) == 0
            || text == QString::number(Sheets::Index(sheet.mode)))
            return sheet.mode;
    }
    // The list spells it "256killo"; the word people type is accepted too.
    if (text.compare(QLatin1String("256kilo"), Qt::CaseInsensitive) == 0)
        return Mode::Colours256Kilo;
    return std::nullopt;
}

QString ModeChoices()
{
    QStringList names;
    for (const Sheet &sheet : Sheets::All)
        names << ModeName(sheet.mode);
    const QString last = names.takeLast();
    return names.join(QLatin1String(", ")) + QLatin1String(" or ") + last
           + QStringLiteral(" (or 0 to %1)").arg(Sheets::Count - 1);
}

std::optional<QRgb> ParseColour(const QString &text)
{
    const QString digits = text.startsWith(QLatin1Char('#')) ? text.mid(1) : text;
    if (digits.size() != 6)
        return std::nullopt;
    const auto isHexDigit = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    if (!std::all_of(digits.cbegin(), digits.cend(), isHexDigit))
        return std::nullopt;
    return qRgb(digits.mid(0, 2).toInt(nullptr, 16), digits.mid(2, 2).toInt(nullptr, 16),
                digits.mid(4, 2).toInt(nullptr, 16));
}

std::optional<Format> ParseFormat(const QString &text)
{
    if (text.compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0)
        return Format::Bmp;
    if (text.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return Format::Png;
    return std::nullopt;
}

} // namespace SheetArguments
