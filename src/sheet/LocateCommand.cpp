#include "sheet/LocateCommand.h"

#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"

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
    const std::optional<int> mode = SheetArguments::ParseMode(modeText);
    if (!mode)
        return context.failUnknownMode(modeText);
    const std::optional<QRgb> colour = SheetArguments::ParseColour(colourText);
    if (!colour)
        return context.fail(
            tr("Malformed colour '%1': give six hexadecimal digits RRGGBB, such as 90FF20 or #90ff20.").arg(colourText));

    SheetHost host;
    if (!host.Draw(*mode))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    const Canvas &sheet = host.canvas();
    const std::uint32_t wanted = *colour & 0xFFFFFFu;
    int places = 0;
    for (int y = 0; y < sheet.height(); ++y) {
        const std::uint32_t *row = sheet.bits() + std::size_t(y) * std::size_t(sheet.width());
        for (int x = 0; x < sheet.width(); ++x) {
            if ((row[x] & 0xFFFFFFu) == wanted) {
                context.print(QStringLiteral("%1 %2").arg(x).arg(y));
                ++places;
            }
        }
    }
    if (places == 0)
        return context.answerNo(tr("The %1 sheet does not hold the colour %2.")
                                    .arg(SheetArguments::ModeName(*mode),
                                         QStringLiteral("%1").arg(wanted, 6, 16, QLatin1Char('0')).toUpper()));
    return Done;
}

} // namespace LocateCommand
