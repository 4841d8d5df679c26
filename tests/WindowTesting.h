#pragma once

// Helpers for tests that drive the real window on the offscreen platform.

#include "Canvas.h"
#include "mainform.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace WindowTesting {

inline QPushButton *button(mainform &form, const char *name)
{
    return form.findChild<QPushButton *>(QLatin1String(name));
}

inline void selectMode(mainform &form, int mode)
{
    form.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentIndex(mode);
}

// Clicks Start; the whole run happens inside the click.
inline void runMode(mainform &form, int mode)
{
    selectMode(form, mode);
    QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);
}

// Queues a real mouse click (press and release) on a widget; it is handled
// at the next event processing, for instance between two tiles of a run.
inline void postClick(QWidget *widget, Qt::MouseButton which = Qt::LeftButton, QPoint at = {-1, -1})
{
    if (at == QPoint(-1, -1))
        at = widget->rect().center();
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, local, global, which, which,
                                                        Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, local, global, which,
                                                        Qt::NoButton, Qt::NoModifier));
}

// Runs `action` at every event processing (once per tile during a run) for
// as long as the returned guard lives.
using PassGuard = std::shared_ptr<bool>;

inline void queuePass(QObject *context, const std::weak_ptr<bool> &alive, const std::function<void()> &action)
{
    QMetaObject::invokeMethod(
        context,
        [context, alive, action] {
            if (alive.expired())
                return;
            // Queued first, so that a nested run started by the action sees
            // passes of its own.
            queuePass(context, alive, action);
            action();
        },
        Qt::QueuedConnection);
}

[[nodiscard]] inline PassGuard everyEventPass(QObject *context, std::function<void()> action)
{
    auto alive = std::make_shared<bool>(true);
    queuePass(context, alive, action);
    return alive;
}

// Answers the next modal dialog: `answer` gets it once it is open.
inline void whenModal(std::function<void(QWidget *)> answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            whenModal(answer);
            return;
        }
        answer(modal);
    });
}

// The canvas pixel a preview pixel shows: the one under its centre.
inline ColorValue previewSource(const Canvas &pic, int px, int py)
{
    return pic.pixel((2 * px + 1) * pic.width() / 512, (2 * py + 1) * pic.height() / 512);
}

} // namespace WindowTesting
