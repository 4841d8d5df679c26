#include "platform/CommonDialog.h"
#include "platform/DisplayCheck.h"
#include "window/FormDesign.h"
#include "window/Language.h"
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

// The options of Qt's window system (taken off the command line by
// QApplication), each given as -name or --name.
struct QtOption
{
    const char *name;
    bool takesValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},   {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"display", true},    {"geometry", true},           {"qwindowgeometry", true}, {"title", true},
    {"qwindowtitle", true}, {"icon", true},             {"qwindowicon", true},   {"name", true},
    {"session", true},    {"style", true},              {"stylesheet", true},    {"reverse", false},
    {"widgetcount", false}, {"nograb", false},          {"dograb", false},       {"sync", false},
};

void describeOptions(QCommandLineParser &parser, bool withQtOptions)
{
    parser.setApplicationDescription(QStringLiteral("Paints colour sheets: every colour of a colour resolution."));
    // "-display :1" is one option, as Qt reads it, not the letters d, i, s …
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A capture (a picture holding a sheet) to open in the full-size view."),
                                 QStringLiteral("[FILE]"));
    if (!withQtOptions)
        return;
    for (const QtOption &qt : QtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Without a display the arguments are read all the same (an unknown option
// is named, --help and --version answered); anything else cannot be done:
// Qt would abort where it cannot open one, so the program says so and ends.
int withoutDisplay(int argc, char *argv[], const std::string &missing)
{
    QCoreApplication app(argc, argv);
    nameProgram();
    QCommandLineParser parser;
    describeOptions(parser, true); // QCoreApplication leaves the window system's options in place
    parser.process(app);
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
    Language::Install(QLocale());
    // Ties the window to its desktop entry, and so to the menu's name and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(TintwellConfig::ApplicationId));
    QCommandLineParser parser;
    describeOptions(parser, false);
    parser.process(app);

    FormDesign::SetUpFonts();
    KeepNoDialogState();

    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "tintwell: give one FILE at most\n");
        return 1;
    }

    mainform form;
    form.Form_Load();
    // A capture named on the command line opens beside the window.
    if (!parser.positionalArguments().isEmpty())
        form.OpenCapture(parser.positionalArguments().constFirst());
    form.show();
    return app.exec();
}
