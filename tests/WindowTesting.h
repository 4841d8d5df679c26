#pragma once

// Helpers for tests that drive the real window on the offscreen platform.

#include "generation/Canvas.h"
#include "DialogTesting.h"
#include "window/FormDesign.h"
#include "window/Preview.h"
#include "window/mainform.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>

namespace WindowTesting {

// Counts a window's runs in progress from its signals (nested runs count
// once each).
class RunWatch : public QObject
{
public:
    explicit RunWatch(mainform &form)
        : QObject(&form)
    {
        setObjectName(QStringLiteral("RunWatch"));
        connect(&form, &mainform::runStarted, this, [this] { ++depth; });
        connect(&form, &mainform::runEnded, this, [this] { --depth; });
    }

    int depth = 0;
};

// The runs in progress in a window opened by openWindow().
inline int runDepth(const mainform &form)
{
    const auto *watch = dynamic_cast<const RunWatch *>(form.findChild<QObject *>(QStringLiteral("RunWatch")));
    return watch ? watch->depth : -1;
}

// The canvas the window's preview shows: the window's canvas.
inline const Canvas &canvasOf(const mainform &form)
{
    return form.findChild<Preview *>(QStringLiteral("Preview"))->canvas();
}

// Starts the program's window as main() does: the fonts and the dialogs'
// settings set up, then create, load step, show.
inline mainform *openWindow()
{
    FormDesign::SetUpFonts();
    KeepNoDialogState();
    auto *form = new mainform;
    new RunWatch(*form);
    form->Form_Load();
    form->show();
    if (!QTest::qWaitForWindowExposed(form))
        qWarning("the window was not exposed");
    return form;
}

inline QPushButton *button(mainform &form, const char *name)
{
    return form.findChild<QPushButton *>(QLatin1String(name));
}

inline void selectMode(mainform &form, int mode)
{
    form.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentIndex(mode);
}

// The selected index of Combo1, -1 when nothing is selected.
inline int selectedMode(const mainform &form)
{
    return form.findChild<QComboBox *>(QStringLiteral("Combo1"))->currentIndex();
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

using DialogTesting::whenModal;

// The canvas pixel a preview pixel shows: the one under its centre, at any
// scale (a window pixel's device pixels all show it).
inline ColorValue previewSource(const Canvas &pic, int px, int py)
{
    return pic.pixel((2 * px + 1) * pic.width() / 512, (2 * py + 1) * pic.height() / 512);
}

} // namespace WindowTesting
