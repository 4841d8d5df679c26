#include "window/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tintwell"));

    mainform form;
    form.Form_Load();
    form.show();
    return app.exec();
}
