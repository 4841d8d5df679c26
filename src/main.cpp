#include "window/FormDesign.h"
#include "window/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tintwell"));
    FormDesign::SubstituteFontFace();

    mainform form;
    form.Form_Load();
    form.show();
    return app.exec();
}
