#pragma once

// Answering modal dialogs in tests, as the user would.

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace DialogTesting {

// How long a modal widget may stand unanswered while a test waits for
// another one: far longer than any dialog takes to come up, far shorter than
// the test's time limit.
inline constexpr int UnansweredLimitMs = 15'000;

namespace Detail {

// The modal widget that has stood in the way since when.
struct Blocker
{
    QPointer<QWidget> widget;
    QElapsedTimer since;
};

inline QString describe(QWidget *widget)
{
    if (const auto *box = qobject_cast<QMessageBox *>(widget))
        return QStringLiteral("a QMessageBox saying \"%1\"").arg(box->text());
    return QStringLiteral("a %1 titled \"%2\"")
        .arg(QLatin1String(widget->metaObject()->className()), widget->windowTitle());
}

template<typename T, typename Answer>
void poll(QObject *context, Answer answer, int limitMs, std::shared_ptr<Blocker> blocker)
{
    QTimer::singleShot(10, context, [context, answer, limitMs, blocker] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *widget = qobject_cast<T *>(modal);
        if (widget && widget->isActiveWindow()) {
            answer(widget);
            return;
        }
        if (modal != blocker->widget) {
            blocker->widget = modal;
            blocker->since.start();
        } else if (modal && blocker->since.elapsed() > limitMs) {
            // Nobody answers what is up: fail now, saying what was awaited,
            // and close it so that the test ends rather than hangs.
            const QString found = widget ? QStringLiteral("it came up but never became active")
                                         : QStringLiteral("instead %1 stayed up").arg(describe(modal));
            const QString message = QStringLiteral("waited %1 ms for a %2 to answer; %3")
                                        .arg(limitMs)
                                        .arg(QLatin1String(T::staticMetaObject.className()), found);
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
            QTest::qFail(qPrintable(message), __FILE__, __LINE__);
            return;
        }
        poll<T>(context, answer, limitMs, blocker);
    });
}

} // namespace Detail

// Answers the next modal widget of type T once it is up and active, as the
// user meets it (before activation Qt's file dialog has no focus and may read
// a typed name wrongly). Waiting ends with `context`, so a widget that never
// comes up leaves no timer behind for the next test. Should another modal
// widget stay up unanswered for `limitMs` (or a T never become active), the
// test fails, naming the T it waited for, and that widget is closed.
template<typename T, typename Answer>
void whenModal(QObject *context, Answer answer, int limitMs = UnansweredLimitMs)
{
    Detail::poll<T>(context, answer, limitMs, std::make_shared<Detail::Blocker>());
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
