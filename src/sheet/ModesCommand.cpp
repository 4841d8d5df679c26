#include "sheet/ModesCommand.h"

#include "sheet/ColourSet.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"

#include "generation/SheetGenerator.h"

namespace ModesCommand {

namespace {

QString sizeText(int width, int height)
{
    return QStringLiteral("%1x%2").arg(width).arg(height);
}

} // namespace

int Run(CommandContext &context)
{
    for (int mode = 0; mode < SheetGenerator::ModeCount; ++mode) {
        SheetHost host;
        if (!host.Draw(mode))
            return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
        ColourSet colours;
        colours.insertAll(host.canvas().bits(), std::size_t(host.canvas().width()) * std::size_t(host.canvas().height()));
        const CanvasArea tile = host.firstTile();
        context.print(QStringLiteral("%1 %2 %3 %4 %5")
                          .arg(mode)
                          .arg(SheetArguments::ModeName(mode), sizeText(host.canvas().width(), host.canvas().height()),
                               sizeText(tile.width, tile.height))
                          .arg(colours.count()));
    }
    return Done;
}

} // namespace ModesCommand
