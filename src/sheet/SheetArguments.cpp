#include "sheet/SheetArguments.h"

#include "generation/Sheets.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "video/PlayerRules.h"
#include "Texts.h"

#include <QCoreApplication>

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <array>

namespace SheetArguments {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

} // namespace

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

std::optional<CensusReport::Placement> ParsePlacement(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    std::array<int, 3> values {0, 0, 1};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[std::size_t(i)] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[std::size_t(i)] < (i == 2 ? 1 : 0))
            return std::nullopt;
    }
    return CensusReport::Placement {values[0], values[1], values[2]};
}

QString Listed(const QStringList &items, const QString &lastJoint)
{
    if (items.size() <= 1)
        return items.join(QString());
    const QString joint = lastJoint.isNull() ? tr(" or ") : lastJoint;
    return items.mid(0, items.size() - 1).join(QLatin1String(", ")) + joint + items.last();
}

QString AllocationLimitNote()
{
    const int limit = PictureReader::AllocationLimit();
    if (limit <= 0)
        return tr("Pictures are read with no allocation limit (QT_IMAGEIO_MAXALLOC=0).");
    return tr("Pictures are read within an allocation limit of %1 MB for the decoded picture (about %2 million\n"
            "pixels at 8 bits a channel, %3 million at 16); a file whose header claims more is refused before\n"
            "it is decoded. The environment variable QT_IMAGEIO_MAXALLOC sets another limit in MB, 0 for none.")
        .arg(limit)
        .arg(qint64(limit) * 1024 * 1024 / 4 / 1'000'000)
        .arg(qint64(limit) * 1024 * 1024 / 8 / 1'000'000);
}

std::optional<VideoFrames::Player> ParsePlayer(CommandContext &context)
{
    if (!context.isSet(Player))
        return VideoFrames::Player::Default;
    const QString name = context.value(Player);
    const std::optional<VideoFrames::Player> player = PlayerRules::Named(name);
    if (!player)
        context.failUsage(tr("Unknown player '%1': give --player %2.").arg(name, PlayerRules::Names()));
    return player;
}

} // namespace SheetArguments
