#include "sheet/ModesCommand.h"

#include "generation/DeepSheet.h"
#include "generation/Sheets.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

namespace ModesCommand {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

QString squareText(int side)
{
    return QStringLiteral("%1x%1").arg(side);
}

// "0..254 step 2 (128)" where the levels are evenly spaced, else every
// level: "0,2,4,6,9,11,13,15,32,... (64)".
QString levelsText(const std::vector<int> &levels)
{
    const qsizetype count = qsizetype(levels.size());
    bool even = count >= 2;
    for (qsizetype i = 2; even && i < count; ++i)
        even = levels[std::size_t(i)] - levels[std::size_t(i - 1)] == levels[1] - levels[0];
    QString text;
    if (even) {
        text = QStringLiteral("%1..%2 step %3").arg(levels.front()).arg(levels.back()).arg(levels[1] - levels[0]);
    } else {
        QStringList each;
        for (const int level : levels)
            each << QString::number(level);
        text = each.join(QLatin1Char(','));
    }
    return text + QStringLiteral(" (%1)").arg(count);
}

QJsonArray levelsArray(const std::vector<int> &levels)
{
    QJsonArray array;
    for (const int level : levels)
        array.append(level);
    return array;
}

QString deepName()
{
    return QString::fromLatin1(DeepSheet::Name.data(), qsizetype(DeepSheet::Name.size()));
}

int run(CommandContext &context)
{
    // From the table of sheets, without drawing them.
    if (context.isSet(SheetArguments::Json)) {
        QJsonArray modes;
        for (const Sheet &sheet : Sheets::All)
            modes.append(QJsonObject {
                {QStringLiteral("index"), Sheets::Index(sheet.mode)},
                {QStringLiteral("name"), SheetArguments::ModeName(sheet.mode)},
                {QStringLiteral("size"), sheet.size},
                {QStringLiteral("tile"), sheet.tile},
                {QStringLiteral("colours"), qint64(Sheets::ColourCount(sheet.mode))},
                {QStringLiteral("red"), levelsArray(Sheets::Levels(sheet.mode, Channel::Red))},
                {QStringLiteral("green"), levelsArray(Sheets::Levels(sheet.mode, Channel::Green))},
                {QStringLiteral("blue"), levelsArray(Sheets::Levels(sheet.mode, Channel::Blue))}});
        modes.append(QJsonObject {
            {QStringLiteral("index"), QJsonValue::Null},
            {QStringLiteral("name"), deepName()},
            {QStringLiteral("size"), QJsonArray {DeepSheet::Width, DeepSheet::Height}},
            {QStringLiteral("cell"), DeepSheet::CellSize},
            {QStringLiteral("depth"), 16},
            {QStringLiteral("primaries"), QStringLiteral("bt2020")},
            {QStringLiteral("transfers"), QJsonArray {QStringLiteral("pq"), QStringLiteral("hlg"), QStringLiteral("sdr")}},
            {QStringLiteral("lattice"), DeepSheet::LatticeLevels},
            {QStringLiteral("ramp_codes"), DeepSheet::RampCodes},
            {QStringLiteral("fine_ramp_codes"), DeepSheet::FineCodes}});
        context.printJson(modes);
        return Done;
    }
    for (const Sheet &sheet : Sheets::All) {
        context.print(QStringLiteral("%1 %2 %3 %4 %5 r %6 g %7 b %8")
                          .arg(Sheets::Index(sheet.mode))
                          .arg(SheetArguments::ModeName(sheet.mode), squareText(sheet.size), squareText(sheet.tile))
                          .arg(Sheets::ColourCount(sheet.mode))
                          .arg(levelsText(Sheets::Levels(sheet.mode, Channel::Red)),
                               levelsText(Sheets::Levels(sheet.mode, Channel::Green)),
                               levelsText(Sheets::Levels(sheet.mode, Channel::Blue))));
    }
    // The deep sheet is no window mode: no index.
    context.print(QStringLiteral("- %1 %2x%3 %4x%4 16-bit BT.2020 pq|hlg|sdr lattice %5^3 ramps %6 fine %7")
                      .arg(deepName())
                      .arg(DeepSheet::Width)
                      .arg(DeepSheet::Height)
                      .arg(DeepSheet::CellSize)
                      .arg(DeepSheet::LatticeLevels)
                      .arg(DeepSheet::RampCodes)
                      .arg(DeepSheet::FineCodes));
    return Done;
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("modes"),
        .options = {SheetArguments::Json},
        .summary = tr("List the modes: index, name, size, tile size, distinct colours, each channel's levels."),
        .description =
            tr("Prints one line per mode: index, name, size, tile size, number of distinct colours, then the\n"
               "levels of red, green and blue: first..last step S (count) where they are even, else each one.\n"
               "\n"
               "--json writes an array of {index, name, size, tile, colours, red, green, blue}, each channel's\n"
               "levels in full."),
        .run = run,
    };
}

} // namespace ModesCommand
