#pragma once

// The preview of a canvas: the whole canvas scaled to the widget's size by
// nearest neighbour, kept in an image at the screen's resolution.
// showCanvas() scales into the image and asks for the changed part to be
// repainted; paintEvent only blits from the image; pixel() reads it back for
// the colour pick.

#include "generation/ColorValue.h"
#include "generation/CanvasArea.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <optional>

class Canvas;

class Preview : public QWidget
{
    Q_OBJECT

public:
    enum class Refresh {
        Now,            // on screen at once, at most once a display frame (during a run)
        WithNextPaint,  // whenever the window repaints next
    };

    // The preview of `canvas`, which must outlive it. Until the canvas is
    // first shown, the preview is part of the window's background.
    explicit Preview(const Canvas &canvas, QWidget *parent = nullptr);

    // The canvas this preview shows.
    const Canvas &canvas() const { return canvas_; }

    // Shows the whole canvas. Only `changed` (canvas pixels) is scaled again
    // while the preview still shows the canvas as of its last change other
    // than by single pixels; otherwise all of it is.
    void showCanvas(CanvasArea changed, Refresh refresh);

    // The colour shown at `at` (the preview's pixels), or -1 outside it.
    ColorValue pixel(QPointF at) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Makes the image match the widget at the screen's resolution; true when
    // it had to be made anew (and so shows no canvas any more).
    bool fitImage();

    const Canvas &canvas_;
    QImage image_;
    // The content epoch of the canvas the image shows, if it shows it.
    std::optional<std::uint64_t> shownEpoch_;
    // What is drawn into the image but not yet on screen, and when the
    // screen was last brought up to date.
    QRect unshown_;
    QElapsedTimer sinceShown_;
};
