#include "window/OuterSize.h"

#include "window/Twips.h"

#include <QEvent>
#include <QWidget>

OuterSize::OuterSize(QWidget *window)
    : QObject(window),
      window_(window)
{
    window->installEventFilter(this);
}

void OuterSize::setWidth(double twips)
{
    widthTwips_ = twips;
    apply();
}

void OuterSize::setHeight(double twips, QSize leastClient)
{
    heightTwips_ = twips;
    leastClient_ = leastClient;
    apply();
}

bool OuterSize::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_ && (event->type() == QEvent::Show || event->type() == QEvent::Move))
        apply();
    return false;
}

QSize OuterSize::ClientFor(QSize outer, QSize frame, QSize client, QSize leastClient)
{
    if (outer.width() > 0)
        client.setWidth(outer.width() - frame.width());
    if (outer.height() > 0)
        client.setHeight(outer.height() - frame.height());
    return client.expandedTo(leastClient);
}

void OuterSize::apply()
{
    // The frame (none without a window manager) is part of the outer size.
    const QSize frame = window_->frameGeometry().size() - window_->size();
    const QSize outer(widthTwips_ ? Twips::ToPixelsX(*window_, *widthTwips_) : 0,
                      heightTwips_ ? Twips::ToPixelsY(*window_, *heightTwips_) : 0);
    const QSize client = ClientFor(outer, frame, window_->size(), leastClient_);
    // The user cannot resize the window: its size is always a fixed one.
    if (client != window_->size() || window_->minimumSize() != window_->maximumSize())
        window_->setFixedSize(client);
}
