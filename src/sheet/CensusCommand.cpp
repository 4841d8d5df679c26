#include "sheet/CensusCommand.h"

#include "sheet/ColourSet.h"
#include "sheet/CommandContext.h"
#include "sheet/PictureReader.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <algorithm>
#include <optional>

namespace CensusCommand {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

// Counts the colours of a picture of 32-bit pixels, the colour in the low 24 bits.
void collect(const QImage &picture, ColourSet &colours)
{
    for (int y = 0; y < picture.height(); ++y)
        colours.insertAll(reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y)),
                          std::size_t(picture.width()));
}

// Pixels of either picture with no equal pixel at the same place in the
// other: the places both have whose colours differ, and the places only one
// has when the sizes differ.
qint64 differingPixels(const QImage &picture, const QImage &sheet)
{
    const int width = std::min(picture.width(), sheet.width());
    const int height = std::min(picture.height(), sheet.height());
    qint64 differing = qint64(picture.width()) * picture.height() + qint64(sheet.width()) * sheet.height()
                       - 2 * qint64(width) * height;
    for (int y = 0; y < height; ++y) {
        const auto *found = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        const auto *expected = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y));
        for (int x = 0; x < width; ++x)
            differing += ((found[x] ^ expected[x]) & 0xFFFFFFu) != 0;
    }
    return differing;
}

QString sizeText(const QImage &picture)
{
    return QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height());
}

} // namespace

int Run(CommandContext &context)
{
    std::optional<Mode> mode;
    if (context.isSet(QStringLiteral("mode"))) {
        mode = SheetArguments::ParseMode(context.value(QStringLiteral("mode")));
        if (!mode)
            return context.failUnknownMode(context.value(QStringLiteral("mode")));
    }

    const QString fileName = context.arguments()[0];
    QImage picture;
    QString reason;
    if (!PictureReader::ReadPicture(fileName, picture, reason)) {
        const QString name = fileName == QLatin1String("-") ? tr("standard input") : QDir::toNativeSeparators(fileName);
        return context.fail(tr("Could not read the picture %1: %2").arg(name, reason));
    }

    ColourSet found;
    collect(picture, found);
    context.print(QStringLiteral("size: %1").arg(sizeText(picture)));
    context.print(QStringLiteral("pixels: %1").arg(qint64(picture.width()) * picture.height()));
    context.print(QStringLiteral("distinct: %1").arg(found.count()));
    if (!mode)
        return Done;

    SheetHost host;
    if (!host.Draw(Sheets::Index(*mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    const QImage sheet = host.image();
    ColourSet expected;
    collect(sheet, expected);
    const qint64 differing = differingPixels(picture, sheet);
    context.print(QStringLiteral("differing pixels: %1").arg(differing));
    context.print(QStringLiteral("missing colours: %1").arg(expected.countMissingFrom(found)));
    context.print(QStringLiteral("extra colours: %1").arg(found.countMissingFrom(expected)));
    return differing == 0 ? Done : No;
}

} // namespace CensusCommand
