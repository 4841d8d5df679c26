#include "platform/DisplayCheck.h"
#include "window/FormDesign.h"
#include "window/mainform.h"
#include "tintwellconfig.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <string>

namespace {

void nameProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Tintwell"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(TintwellConfig::Version));
}

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Paints colour sheets: every colour of a colour resolution."));
    parser.addHelpOption();
    parser.addVersionOption();
}

// Without a display only --help and --version can be answered: Qt would
// abort where it cannot open one, so the program says so and ends.
int withoutDisplay(int argc, char *argv[], const std::string &missing)
{
    QCoreApplication app(argc, argv);
    nameProgram();
    QCommandLineParser parser;
    describeOptions(parser);
    parser.parse(QCoreApplication::arguments()); // the window system's own options are no error here
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    std::fprintf(stderr, "tintwell: no display to open (%s); tintwell-sheet works without one\n", missing.c_str());
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::string missing = DisplayCheck::Missing(argc, argv); !missing.empty())
        return withoutDisplay(argc, argv, missing);

    QApplication app(argc, argv);
    nameProgram();
    // Ties the window to its desktop entry, and so to the menu's name and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(TintwellConfig::ApplicationId));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

    FormDesign::SubstituteFontFace();

    mainform form;
    form.Form_Load();
    form.show();
    return app.exec();
}
