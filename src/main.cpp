#include "window/FormDesign.h"
#include "window/mainform.h"
#include "tintwellconfig.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tintwell"));
    QApplication::setApplicationVersion(QString::fromLatin1(TintwellConfig::Version));
    // Ties the window to its desktop entry, and so to the menu's name and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(TintwellConfig::ApplicationId));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Paints colour sheets: every colour of a colour resolution."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    FormDesign::SubstituteFontFace();

    mainform form;
    form.Form_Load();
    form.show();
    return app.exec();
}
