#include "sheet/LocateCommand.h"

#include "generation/Sheets.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"

#include <QCoreApplication>

#include <optional>

namespace LocateCommand {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

} // namespace

int Run(CommandContext &context)
{
    const QString &modeText = context.arguments()[0];
    const QString &colourText = context.arguments()[1];
    const std::optional<Mode> mode = SheetArguments::ParseMode(modeText);
    if (!mode)
        return context.failUnknownMode(modeText);
    const std::optional<QRgb> colour = SheetArguments::ParseColour(colourText);
    if (!colour)
        return context.fail(
            tr("Malformed colour '%1': give six hexadecimal digits RRGGBB, such as 90FF20 or #90ff20.").arg(colourText));

    // From the sheet's formulas, without drawing it.
    const std::vector<SheetPlace> places = Sheets::PlacesOf(*mode, FromRgb32(*colour));
    if (places.empty())
        return context.answerNo(tr("The %1 sheet does not hold the colour %2.")
                                    .arg(SheetArguments::ModeName(*mode),
                                         QStringLiteral("%1").arg(*colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper()));
    for (const SheetPlace &place : places)
        context.print(QStringLiteral("%1 %2").arg(place.x).arg(place.y));
    return Done;
}

} // namespace LocateCommand
