// tintwell-sheet: Tintwell's colour sheets without a window. No display is
// needed: pictures are made and read with QtGui's image classes only.

#include "sheet/SheetCommands.h"

#include "tintwellconfig.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tintwell-sheet"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(TintwellConfig::Version));
    return SheetCommands::Run(QCoreApplication::arguments());
}
