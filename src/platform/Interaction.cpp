#include "platform/Interaction.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace Interaction {

void DoEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Beep()
{
    QApplication::beep();
}

QMessageBox::StandardButton MsgBox(QWidget *parent, const QString &prompt)
{
    // The title is the program's own, as its window shows it.
    const QString title = parent ? parent->window()->windowTitle() : QGuiApplication::applicationDisplayName();
    QMessageBox box(QMessageBox::NoIcon, title, prompt,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::Cancel;
}

} // namespace Interaction
