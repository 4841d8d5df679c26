#pragma once

// Answering modal dialogs in tests, as the user would.

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace DialogTesting {

// Answers the next modal widget of type T once it is up and active, as the
// user meets it (before activation Qt's file dialog has no focus and may read
// a typed name wrongly). Waiting ends with `context`, so a widget that never
// comes up leaves no timer behind for the next test.
template<typename T, typename Answer>
void whenModal(QObject *context, Answer answer)
{
    QTimer::singleShot(10, context, [context, answer] {
        auto *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        if (widget && widget->isActiveWindow())
            answer(widget);
        else
            whenModal<T>(context, answer);
    });
}

inline QLineEdit *nameEdit(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>("fileNameEdit");
}

// Types `name` into the file name box as the user would; false if the
// dialog is not Qt's own, whose box the test knows.
inline bool typeName(QFileDialog *dialog, const QString &name)
{
    QLineEdit *edit = nameEdit(dialog);
    if (!edit)
        return false;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, name);
    return edit->text() == name;
}

} // namespace DialogTesting
