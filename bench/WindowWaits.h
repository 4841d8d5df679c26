#pragma once

// Waiting in a benchmark for a window to reach the screen.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

// Handles events until `widget`'s window is exposed, for at most 5 s.
inline bool waitUntilExposed(QWidget &widget)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (widget.windowHandle() && widget.windowHandle()->isExposed())
            return true;
    }
    return false;
}
