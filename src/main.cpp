#include "platform/DisplayCheck.h"
#include "window/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (!DisplayCheck::Available(argc, argv))
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tintwell"));

    mainform form;
    form.Form_Load();
    form.show();
    return app.exec();
}
