#pragma once

// Keeps a top-level window at the outer size (its frame included) last asked
// for, in twips. The frame the window manager adds is known only once the
// window is shown, and some window managers frame it later still, so the
// size is applied again when the window is shown or moved.

#include <QObject>
#include <QSize>

#include <optional>

class QWidget;

class OuterSize : public QObject
{
    Q_OBJECT

public:
    explicit OuterSize(QWidget *window);

    void setWidth(double twips);
    // The client area stays at least `leastClient`, whatever frame the
    // window manager draws.
    void setHeight(double twips, QSize leastClient);

    // The client size that gives a window framed by `frame` (the frame's
    // extra width and height) the outer size `outer`, in pixels; a side of
    // `outer` that is not set (0 or less) keeps `client`'s. The result is at
    // least `leastClient`.
    static QSize ClientFor(QSize outer, QSize frame, QSize client, QSize leastClient);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();

    QWidget *window_;
    std::optional<double> widthTwips_;
    std::optional<double> heightTwips_;
    QSize leastClient_{1, 1};
};
