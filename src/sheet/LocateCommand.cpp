#include "sheet/LocateCommand.h"

#include "generation/Sheets.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace LocateCommand {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

QString hexText(QRgb colour)
{
    return QStringLiteral("%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
}

QJsonArray placesArray(const std::vector<SheetPlace> &places)
{
    QJsonArray array;
    for (const SheetPlace &place : places)
        array.append(QJsonArray {place.x, place.y});
    return array;
}

int run(CommandContext &context)
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
    const bool held = !places.empty();
    // Not held: the nearest colour the sheet holds, as the view's find offers it.
    const ColorValue nearest = Sheets::NearestHeld(*mode, FromRgb32(*colour));
    if (context.isSet(SheetArguments::Json)) {
        QJsonObject document {{QStringLiteral("mode"), SheetArguments::ModeName(*mode)},
                              {QStringLiteral("colour"), hexText(*colour)},
                              {QStringLiteral("places"), placesArray(places)}};
        if (!held) {
            document.insert(QStringLiteral("nearest_held"), hexText(ToRgb32(nearest)));
            document.insert(QStringLiteral("nearest_places"), placesArray(Sheets::PlacesOf(*mode, nearest)));
        }
        context.printJson(document);
    } else {
        for (const SheetPlace &place : places)
            context.print(QStringLiteral("%1 %2").arg(place.x).arg(place.y));
    }
    if (!held)
        return context.answerNo(tr("The %1 sheet does not hold the colour %2; the nearest colour it holds is %3.")
                                    .arg(SheetArguments::ModeName(*mode), hexText(*colour), hexText(ToRgb32(nearest))));
    return Done;
}

} // namespace

SheetCommand Declaration()
{
    return {
        .name = QStringLiteral("locate"),
        .arguments = {{QStringLiteral("MODE"), SheetArguments::ModeChoices(), Takes::Mode},
                      {QStringLiteral("COLOUR"), tr("RRGGBB in hexadecimal, with or without a leading #, either case.")}},
        .options = {SheetArguments::Json},
        .summary = tr("Print every place X Y of COLOUR (RRGGBB) in the sheet of MODE."),
        .description =
            tr("Prints every place of COLOUR in the sheet of MODE as X Y, one a line, rows from the top, each\n"
               "row from the left; (0, 0) is the top-left pixel. Exits with 1 when the sheet does not hold\n"
               "the colour, naming the nearest colour it holds.\n"
               "\n"
               "--json writes {mode, colour, places [[x, y], ...]}, and for a colour not held nearest_held\n"
               "(RRGGBB) and nearest_places."),
        .run = run,
    };
}

} // namespace LocateCommand
