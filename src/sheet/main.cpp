// tintwell-sheet: Tintwell's colour sheets without a window. No display is
// needed: pictures are made and read with QtGui's image classes only.

#include "sheet/SheetCommands.h"

#include "tintwellconfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tintwell-sheet"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(TintwellConfig::Version));

    // Unbuffered: a write that fails (a full disk) says why at once, and the
    // commands hand over whole lines or large pieces of a picture.
    QFile out;
    QFile err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    return SheetCommands::Run(QCoreApplication::arguments(), out, err);
}
