#pragma once

// The sheet at any zoom: the canvas read in place (an image over its pixels,
// never a copy), scrolled and zoomed around a centre. The zoom counts device
// pixels per sheet pixel, so at 1 each sheet pixel is one pixel of the
// screen, scaled screens included. Every mapping between the viewport and the
// sheet goes through one origin (the device pixel where the sheet's left and
// top edges lie, a whole number), so what is painted, picked and reported
// under the pointer always agree.
//
// Only the visible source rectangle is painted, nearest-neighbour at every
// zoom: every screen pixel shows a colour the canvas holds. From 8x a pixel
// grid can be drawn; places found by a search are marked with outlines around
// the pixels, never over them; a keyboard cursor picks without a mouse.

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>

#include <cstdint>
#include <optional>
#include <vector>

class Canvas;

class ZoomedSheet : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr double GridFromZoom = 8;

    explicit ZoomedSheet(const Canvas &canvas, QWidget *parent = nullptr);

    // Device pixels per sheet pixel.
    double zoom() const { return zoom_; }
    bool isFitted() const { return fitted_; }
    // The zoom that shows the whole sheet as large as the viewport allows.
    double fitZoom() const;
    double minimumZoom() const;
    double maximumZoom() const;

    // The whole sheet, centred; it follows later changes of the viewport's
    // or the canvas's size.
    void fit();
    // Keeps the sheet point at the centre of the viewport where it is.
    void setZoom(double zoom);
    void zoomIn();
    void zoomOut();
    // Keeps the sheet point under `at` (viewport pixels) under it.
    void zoomAt(double zoom, QPointF at);
    // Puts `sheetPoint` at the centre of the viewport, past the sheet's edges
    // where it must.
    void centreOn(QPointF sheetPoint);
    // Moves the view by device pixels; never further out than the sheet's
    // edges (or where a search left it).
    void panBy(QPointF devicePixels);

    // The sheet point (sheet pixels, continuous) under a viewport point.
    QPointF sheetPointAt(QPointF at) const;
    // The sheet pixel under a viewport point, or none outside the sheet.
    std::optional<QPoint> sheetPixelAt(QPointF at) const;
    // The viewport point where a sheet point lies.
    QPointF viewportPointOf(QPointF sheetPoint) const;
    QPointF centre() const { return centre_; }

    bool gridShown() const { return gridShown_; }
    void setGridShown(bool shown);
    // The places a search found, outlined.
    void setMarks(std::vector<QPoint> places);
    const std::vector<QPoint> &marks() const { return marks_; }
    // The keyboard's pick cursor, outlined; none until the keyboard moves it.
    std::optional<QPoint> pickCursor() const { return pickCursor_; }
    void setPickCursor(std::optional<QPoint> pixel);

    // Chrome for full screen: no scroll bars and a black surround.
    void setBare(bool bare);

    // The canvas changed in `area` (canvas pixels); a change of its size
    // (or of its memory) is noticed here too.
    void canvasChanged(const QRect &area);

    // Shows `picture` (RGB32) instead of the canvas, which is then no longer
    // followed; a null picture goes back to the canvas. A picture of the
    // size shown before keeps the zoom, the place and the marks.
    void showPicture(const QImage &picture);
    bool showsCanvas() const { return ownPicture_.isNull(); }
    // The size of what is shown, in its own pixels.
    QSize shownSize() const { return knownSize_; }

signals:
    void zoomChanged(double zoom);
    // The sheet pixel now under the pointer or the keyboard's cursor; none
    // when neither is over the sheet.
    void pixelPointed(std::optional<QPoint> pixel);
    // A right click, or Enter on the keyboard's cursor.
    void pickRequested(QPoint pixel);
    // G was pressed: the grid is now shown or hidden.
    void gridToggled(bool shown);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    QSize sheetSize() const;
    double ratio() const;
    QSizeF viewportDeviceSize() const;
    // The device pixel where sheet pixel (0, 0)'s top left corner lies.
    QPoint origin() const;
    // The device rectangle a sheet pixel covers, in whole device pixels.
    QRect deviceRectOf(QPoint pixel) const;

    void wrapCanvas();
    void followCanvasSize();
    void moveCentreWithinReach(QPointF centre);
    void changed();
    void updateScrollBars();
    void pointAt(std::optional<QPoint> pixel);
    void moveCursorBy(int dx, int dy);

    void drawSheet(QPainter &painter, const QRect &exposed);
    void drawMarks(QPainter &painter);

    const Canvas &canvas_;
    // The picture shown instead of the canvas, when there is one.
    QImage ownPicture_;
    // The canvas as an image over its pixels, made again whenever the canvas
    // has another size or memory.
    QImage picture_;
    QSize knownSize_;
    // Painting's own buffers, kept between frames: the source column of each
    // device column, the columns a grid line falls on, one device row, and a
    // band of device rows.
    std::vector<int> columns_;
    std::vector<int> gridColumns_;
    std::vector<std::uint32_t> rowPixels_;
    QImage band_;

    double zoom_ = 1;
    QPointF centre_;
    bool fitted_ = true;
    bool gridShown_ = true;
    bool bare_ = false;
    bool syncingScrollBars_ = false;

    std::vector<QPoint> marks_;
    std::optional<QPoint> pickCursor_;
    std::optional<QPoint> pointed_;

    // A left-button drag: where it last was, in device pixels.
    std::optional<QPointF> dragFrom_;
    // The last zoom at the cursor, and the view it left.
    struct Anchor
    {
        QPointF at;
        QPointF sheetPoint;
        double zoom;
        QPointF centre;
    };
    std::optional<Anchor> anchor_;
    // Wheel turns not yet worth a zoom step (high-resolution wheels).
    int wheelRest_ = 0;
};
