#include "window/ZoomedSheet.h"

#include "generation/Canvas.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The zooms the keys and the wheel step through, device pixels per sheet
// pixel; fit lies wherever the viewport puts it.
constexpr std::array<double, 23> ZoomSteps = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3,
                                              1.0 / 2,  2.0 / 3,  1,       1.5,     2,       3,
                                              4,        6,        8,       12,      16,      24,
                                              32,       48,       64,      96,      128};
constexpr double LargestZoom = 128;
// Steps closer than this factor count as the same zoom.
constexpr double SameZoom = 1.001;
// A notch of a mouse wheel, in eighths of a degree.
constexpr int WheelNotch = 120;
// An arrow key moves the view by this part of its size; Page Up and Page
// Down by all of it but this part.
constexpr double ArrowPanPart = 1.0 / 8;

const QColor Surround(0x40, 0x40, 0x40);
const QColor BareSurround(Qt::black);
// A grid line is the pixel halfway to mid grey: it shows on any colour.
constexpr std::uint32_t gridBlend(std::uint32_t pixel)
{
    return 0xFF000000u | (((pixel >> 1) & 0x7F7F7Fu) + 0x404040u);
}
// The rows of device pixels painted at a time.
constexpr int BandRows = 32;
// The outline around a found place: a white and a black ring, so that it
// shows on any colour, this many device pixels clear of the pixel.
constexpr int MarkGap = 2;
const QColor MarkInner(Qt::white);
const QColor MarkOuter(Qt::black);
// The keyboard's cursor: rings touching the pixel.
const QColor CursorInner(0xFF, 0xD0, 0x00);
const QColor CursorOuter(Qt::black);

double stepAbove(double zoom)
{
    for (double step : ZoomSteps)
        if (step > zoom * SameZoom)
            return step;
    return ZoomSteps.back();
}

double stepBelow(double zoom)
{
    for (auto step = ZoomSteps.rbegin(); step != ZoomSteps.rend(); ++step)
        if (*step < zoom / SameZoom)
            return *step;
    return ZoomSteps.front();
}

// The reach of the view's centre along one axis: the sheet's middle when it
// fits in the viewport, else as far as keeps the viewport filled; widened to
// take in where the centre is now (a search may have put it further out).
std::pair<double, double> centreReach(double sheetLength, double viewLength, double zoom, double centre)
{
    double low = sheetLength / 2;
    double high = low;
    if (sheetLength * zoom > viewLength) {
        low = viewLength / (2 * zoom);
        high = sheetLength - low;
    }
    return {std::min(low, centre), std::max(high, centre)};
}

// A one-device-pixel frame whose inside lies `gap` pixels outside `rect`.
void drawRing(QPainter &painter, const QRect &rect, int gap, const QColor &colour)
{
    const QRect outer = rect.adjusted(-gap - 1, -gap - 1, gap + 1, gap + 1);
    painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), 1), colour);
    painter.fillRect(QRect(outer.left(), outer.bottom(), outer.width(), 1), colour);
    painter.fillRect(QRect(outer.left(), outer.top() + 1, 1, outer.height() - 2), colour);
    painter.fillRect(QRect(outer.right(), outer.top() + 1, 1, outer.height() - 2), colour);
}

} // namespace

ZoomedSheet::ZoomedSheet(const Canvas &canvas, QWidget *parent)
    : QAbstractScrollArea(parent),
      canvas_(canvas)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    followCanvasSize();
}

// --- Geometry ---------------------------------------------------------------

QSize ZoomedSheet::sheetSize() const
{
    return knownSize_;
}

double ZoomedSheet::ratio() const
{
    return viewport()->devicePixelRatioF();
}

QSizeF ZoomedSheet::viewportDeviceSize() const
{
    return QSizeF(viewport()->size()) * ratio();
}

QPoint ZoomedSheet::origin() const
{
    const QSizeF view = viewportDeviceSize();
    // Halves round up on both sides of 0: the pixel whose middle is put at
    // the middle of the viewport covers the device pixel there.
    const auto whole = [](double v) { return static_cast<int>(std::floor(v + 0.5)); };
    return QPoint(whole(view.width() / 2 - centre_.x() * zoom_), whole(view.height() / 2 - centre_.y() * zoom_));
}

QRect ZoomedSheet::deviceRectOf(QPoint pixel) const
{
    // A device pixel shows the sheet pixel under its centre.
    const QPoint o = origin();
    const auto first = [this](int originAt, int index) {
        return static_cast<int>(std::ceil(originAt + index * zoom_ - 0.5));
    };
    const int left = first(o.x(), pixel.x());
    const int top = first(o.y(), pixel.y());
    const int right = std::max(first(o.x(), pixel.x() + 1), left + 1);
    const int bottom = std::max(first(o.y(), pixel.y() + 1), top + 1);
    return QRect(left, top, right - left, bottom - top);
}

QPointF ZoomedSheet::sheetPointAt(QPointF at) const
{
    return (at * ratio() - QPointF(origin())) / zoom_;
}

std::optional<QPoint> ZoomedSheet::sheetPixelAt(QPointF at) const
{
    // The device pixel under the point, and the sheet pixel under its centre.
    const QPointF device(std::floor(at.x() * ratio()) + 0.5, std::floor(at.y() * ratio()) + 0.5);
    const QPointF sheet = (device - QPointF(origin())) / zoom_;
    const QPoint pixel(static_cast<int>(std::floor(sheet.x())), static_cast<int>(std::floor(sheet.y())));
    if (!QRect(QPoint(0, 0), sheetSize()).contains(pixel))
        return std::nullopt;
    return pixel;
}

QPointF ZoomedSheet::viewportPointOf(QPointF sheetPoint) const
{
    return (sheetPoint * zoom_ + QPointF(origin())) / ratio();
}

double ZoomedSheet::fitZoom() const
{
    const QSizeF view = viewportDeviceSize();
    const QSize sheet = sheetSize();
    if (sheet.isEmpty() || view.isEmpty())
        return 1;
    return std::min(view.width() / sheet.width(), view.height() / sheet.height());
}

double ZoomedSheet::minimumZoom() const
{
    return std::min(fitZoom(), 1.0);
}

double ZoomedSheet::maximumZoom() const
{
    return std::max(fitZoom(), LargestZoom);
}

// --- Zoom and pan -------------------------------------------------------------

void ZoomedSheet::fit()
{
    fitted_ = true;
    zoom_ = fitZoom();
    centre_ = QPointF(sheetSize().width(), sheetSize().height()) / 2;
    changed();
}

void ZoomedSheet::setZoom(double zoom)
{
    // About the centre: it stays where it is, even outside the sheet's edges.
    zoom_ = std::clamp(zoom, minimumZoom(), maximumZoom());
    fitted_ = false;
    changed();
}

void ZoomedSheet::zoomIn()
{
    setZoom(stepAbove(zoom_));
}

void ZoomedSheet::zoomOut()
{
    const double zoom = stepBelow(zoom_);
    if (zoom <= minimumZoom() && fitZoom() < 1)
        fit();
    else
        setZoom(zoom);
}

void ZoomedSheet::zoomAt(double zoom, QPointF at)
{
    // Notch after notch at the same place, the first notch's sheet point is
    // kept: the origin's rounding to a whole device pixel must not add up.
    const bool sameRun = anchor_ && anchor_->at == at && anchor_->zoom == zoom_ && anchor_->centre == centre_;
    const QPointF sheetPoint = sameRun ? anchor_->sheetPoint : sheetPointAt(at);
    zoom_ = std::clamp(zoom, minimumZoom(), maximumZoom());
    fitted_ = false;
    const QSizeF view = viewportDeviceSize();
    const QPointF fromMiddle = at * ratio() - QPointF(view.width(), view.height()) / 2;
    moveCentreWithinReach(sheetPoint - fromMiddle / zoom_);
    anchor_ = Anchor{at, sheetPoint, zoom_, centre_};
    changed();
}

void ZoomedSheet::centreOn(QPointF sheetPoint)
{
    fitted_ = false;
    centre_ = sheetPoint;
    changed();
}

void ZoomedSheet::panBy(QPointF devicePixels)
{
    fitted_ = false;
    moveCentreWithinReach(centre_ + devicePixels / zoom_);
    changed();
}

void ZoomedSheet::moveCentreWithinReach(QPointF centre)
{
    const QSizeF view = viewportDeviceSize();
    const QSize sheet = sheetSize();
    const auto [left, right] = centreReach(sheet.width(), view.width(), zoom_, centre_.x());
    const auto [top, bottom] = centreReach(sheet.height(), view.height(), zoom_, centre_.y());
    centre_ = QPointF(std::clamp(centre.x(), left, right), std::clamp(centre.y(), top, bottom));
}

void ZoomedSheet::changed()
{
    updateScrollBars();
    viewport()->update();
    emit zoomChanged(zoom_);
    if (pickCursor_)
        pointAt(pickCursor_);
    else if (viewport()->underMouse())
        pointAt(sheetPixelAt(viewport()->mapFromGlobal(QCursor::pos())));
}

void ZoomedSheet::updateScrollBars()
{
    const bool wasSyncing = syncingScrollBars_;
    syncingScrollBars_ = true;
    const QSizeF view = viewportDeviceSize();
    const QSize sheet = sheetSize();
    const double r = ratio();
    const auto sync = [&](QScrollBar *bar, double sheetLength, double viewLength, double centre, int page) {
        // The bar's value is the viewport's first pixel in the zoomed sheet's
        // logical pixels.
        const auto [low, high] = centreReach(sheetLength, viewLength, zoom_, centre);
        const auto position = [&](double c) { return static_cast<int>(std::lround((c * zoom_ - viewLength / 2) / r)); };
        bar->setRange(position(low), position(high));
        bar->setPageStep(page);
        bar->setSingleStep(std::max(1, static_cast<int>(page * ArrowPanPart)));
        bar->setValue(position(centre));
    };
    sync(horizontalScrollBar(), sheet.width(), view.width(), centre_.x(), viewport()->width());
    sync(verticalScrollBar(), sheet.height(), view.height(), centre_.y(), viewport()->height());
    syncingScrollBars_ = wasSyncing;
}

void ZoomedSheet::scrollContentsBy(int, int)
{
    if (syncingScrollBars_)
        return;
    // A scroll bar moved by the user: the centre follows its value.
    fitted_ = false;
    const QSizeF view = viewportDeviceSize();
    const double r = ratio();
    centre_ = QPointF((horizontalScrollBar()->value() * r + view.width() / 2) / zoom_,
                      (verticalScrollBar()->value() * r + view.height() / 2) / zoom_);
    viewport()->update();
    if (!pickCursor_ && viewport()->underMouse())
        pointAt(sheetPixelAt(viewport()->mapFromGlobal(QCursor::pos())));
}

void ZoomedSheet::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (fitted_)
        fit();
    else
        changed();
}

// --- What the canvas and the search tell the view --------------------------------

void ZoomedSheet::wrapCanvas()
{
    if (!ownPicture_.isNull()) {
        picture_ = ownPicture_;
        return;
    }
    const QSize size(canvas_.width(), canvas_.height());
    if (size.isEmpty())
        picture_ = QImage();
    else if (picture_.constBits() != reinterpret_cast<const uchar *>(canvas_.bits()) || picture_.size() != size)
        picture_ = QImage(reinterpret_cast<const uchar *>(canvas_.bits()), size.width(), size.height(),
                          static_cast<qsizetype>(canvas_.bytesPerLine()), QImage::Format_RGB32);
}

void ZoomedSheet::followCanvasSize()
{
    wrapCanvas();
    const QSize size = picture_.isNull() ? QSize(canvas_.width(), canvas_.height()) : picture_.size();
    if (size == knownSize_)
        return;

    // Another sheet: what was marked on the old one means nothing here.
    knownSize_ = size;
    marks_.clear();
    pickCursor_.reset();
    if (fitted_) {
        fit();
    } else {
        centre_ = QPointF(size.width(), size.height()) / 2;
        changed();
    }
}

void ZoomedSheet::canvasChanged(const QRect &area)
{
    if (!ownPicture_.isNull())
        return;
    if (QSize(canvas_.width(), canvas_.height()) != knownSize_
        || picture_.constBits() != reinterpret_cast<const uchar *>(canvas_.bits())) {
        followCanvasSize();
        viewport()->update();
        return;
    }
    const QPoint o = origin();
    const double r = ratio();
    const QRectF device(QPointF(o) + QPointF(area.topLeft()) * zoom_, QSizeF(area.size()) * zoom_);
    const QRectF logical(device.topLeft() / r, device.size() / r);
    // Outlines around the area's pixels are drawn again with it.
    const int margin = MarkGap + 2;
    viewport()->update(logical.toAlignedRect().adjusted(-margin, -margin, margin, margin));
    if (pointed_ && area.contains(*pointed_))
        emit pixelPointed(pointed_);
}

void ZoomedSheet::showPicture(const QImage &picture)
{
    ownPicture_ = picture;
    followCanvasSize();
    viewport()->update();
    if (pointed_)
        emit pixelPointed(pointed_);
}

void ZoomedSheet::setGridShown(bool shown)
{
    gridShown_ = shown;
    viewport()->update();
}

void ZoomedSheet::setMarks(std::vector<QPoint> places)
{
    marks_ = std::move(places);
    viewport()->update();
}

void ZoomedSheet::setPickCursor(std::optional<QPoint> pixel)
{
    pickCursor_ = pixel;
    viewport()->update();
    if (pixel)
        pointAt(pixel);
}

void ZoomedSheet::setBare(bool bare)
{
    bare_ = bare;
    const Qt::ScrollBarPolicy policy = bare ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    viewport()->update();
}

void ZoomedSheet::pointAt(std::optional<QPoint> pixel)
{
    pointed_ = pixel;
    emit pixelPointed(pixel);
}

// --- Painting ------------------------------------------------------------------

void ZoomedSheet::paintEvent(QPaintEvent *event)
{
    // The canvas may have moved in memory since the last change reached the
    // view (a change of size is reported after the resize): never read
    // through a stale image.
    wrapCanvas();

    QPainter painter(viewport());
    // Everything below is in device pixels.
    const double r = ratio();
    painter.setWorldTransform(QTransform::fromScale(1 / r, 1 / r));
    const QRect exposed = QRectF(QPointF(event->rect().topLeft()) * r, QSizeF(event->rect().size()) * r).toAlignedRect();
    drawSheet(painter, exposed);
    drawMarks(painter);
}

void ZoomedSheet::drawSheet(QPainter &painter, const QRect &exposed)
{
    // The device pixels the sheet covers within the exposed rectangle; the
    // rest is the surround.
    const QSize sheet = picture_.size();
    const QRect covered =
        sheet.isEmpty() ? QRect()
                        : QRect(deviceRectOf(QPoint(0, 0)).topLeft(),
                                deviceRectOf(QPoint(sheet.width() - 1, sheet.height() - 1)).bottomRight())
                              .intersected(exposed);
    if (covered != exposed)
        painter.fillRect(exposed, bare_ ? BareSurround : Surround);
    if (covered.isEmpty())
        return;

    // The source pixel under the centre of each device column and row:
    // nearest neighbour, so every pixel shows a colour the sheet holds. A
    // grid line is the first device column (row) of each source column (row).
    const QPoint o = origin();
    const auto sourceOf = [this](int device, int originAt, int length) {
        return std::clamp(static_cast<int>(std::floor((device + 0.5 - originAt) / zoom_)), 0, length - 1);
    };
    const bool grid = gridShown_ && zoom_ >= GridFromZoom;
    const int width = covered.width();
    columns_.resize(static_cast<std::size_t>(width));
    gridColumns_.clear();
    for (int dx = 0; dx < width; ++dx) {
        const int sx = sourceOf(covered.left() + dx, o.x(), sheet.width());
        columns_[static_cast<std::size_t>(dx)] = sx;
        if (grid && sx != sourceOf(covered.left() + dx - 1, o.x(), sheet.width()))
            gridColumns_.push_back(dx);
    }
    const int firstColumn = columns_.front();
    const bool unscaled = columns_.back() - firstColumn == width - 1;

    // Written band by band into a small image and blitted one to one: no
    // picture the size of the view, let alone of the sheet.
    if (band_.width() < width)
        band_ = QImage(width, BandRows, QImage::Format_RGB32);
    rowPixels_.resize(static_cast<std::size_t>(width));
    int rowSource = -1;
    for (int top = covered.top(); top <= covered.bottom(); top += BandRows) {
        const int rows = std::min(BandRows, covered.bottom() + 1 - top);
        for (int r = 0; r < rows; ++r) {
            const int sy = sourceOf(top + r, o.y(), sheet.height());
            const bool gridRow = grid && sy != sourceOf(top + r - 1, o.y(), sheet.height());
            if (sy != rowSource) {
                rowSource = sy;
                const auto *from = reinterpret_cast<const std::uint32_t *>(picture_.constScanLine(sy));
                if (unscaled)
                    std::memcpy(rowPixels_.data(), from + firstColumn, static_cast<std::size_t>(width) * 4);
                else
                    for (std::size_t dx = 0; dx < rowPixels_.size(); ++dx)
                        rowPixels_[dx] = from[columns_[dx]];
                for (int dx : gridColumns_)
                    rowPixels_[static_cast<std::size_t>(dx)] = gridBlend(rowPixels_[static_cast<std::size_t>(dx)]);
            }
            auto *to = reinterpret_cast<std::uint32_t *>(band_.scanLine(r));
            if (gridRow)
                std::transform(rowPixels_.begin(), rowPixels_.end(), to, gridBlend);
            else
                std::memcpy(to, rowPixels_.data(), static_cast<std::size_t>(width) * 4);
        }
        painter.drawImage(QPoint(covered.left(), top), band_, QRect(0, 0, width, rows));
    }
}

void ZoomedSheet::drawMarks(QPainter &painter)
{
    // A test picture on a full screen is shown as it is.
    if (bare_)
        return;
    for (const QPoint &place : marks_) {
        const QRect pixel = deviceRectOf(place);
        drawRing(painter, pixel, MarkGap, MarkInner);
        drawRing(painter, pixel, MarkGap + 1, MarkOuter);
    }
    if (pickCursor_) {
        const QRect pixel = deviceRectOf(*pickCursor_);
        drawRing(painter, pixel, 0, CursorInner);
        drawRing(painter, pixel, 1, CursorOuter);
    }
}

// --- Mouse and keyboard ----------------------------------------------------------

void ZoomedSheet::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragFrom_ = event->position() * ratio();
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
}

void ZoomedSheet::mouseMoveEvent(QMouseEvent *event)
{
    if (dragFrom_ && (event->buttons() & Qt::LeftButton)) {
        // The sheet follows the pointer.
        const QPointF now = event->position() * ratio();
        panBy(*dragFrom_ - now);
        dragFrom_ = now;
    }
    pickCursor_.reset();
    pointAt(sheetPixelAt(event->position()));
}

void ZoomedSheet::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragFrom_.reset();
        viewport()->unsetCursor();
    } else if (event->button() == Qt::RightButton) {
        if (const std::optional<QPoint> pixel = sheetPixelAt(event->position()))
            emit pickRequested(*pixel);
    }
}

void ZoomedSheet::wheelEvent(QWheelEvent *event)
{
    wheelRest_ += event->angleDelta().y();
    for (; wheelRest_ >= WheelNotch; wheelRest_ -= WheelNotch)
        zoomAt(std::min(stepAbove(zoom_), maximumZoom()), event->position());
    for (; wheelRest_ <= -WheelNotch; wheelRest_ += WheelNotch)
        zoomAt(std::max(stepBelow(zoom_), minimumZoom()), event->position());
    event->accept();
}

void ZoomedSheet::keyPressEvent(QKeyEvent *event)
{
    const QSizeF view = viewportDeviceSize();
    const QPointF arrow(view.width() * ArrowPanPart, view.height() * ArrowPanPart);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        shift ? moveCursorBy(-1, 0) : panBy(QPointF(-arrow.x(), 0));
        break;
    case Qt::Key_Right:
        shift ? moveCursorBy(1, 0) : panBy(QPointF(arrow.x(), 0));
        break;
    case Qt::Key_Up:
        shift ? moveCursorBy(0, -1) : panBy(QPointF(0, -arrow.y()));
        break;
    case Qt::Key_Down:
        shift ? moveCursorBy(0, 1) : panBy(QPointF(0, arrow.y()));
        break;
    case Qt::Key_PageUp:
        panBy(QPointF(0, -view.height() * (1 - ArrowPanPart)));
        break;
    case Qt::Key_PageDown:
        panBy(QPointF(0, view.height() * (1 - ArrowPanPart)));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!pickCursor_)
            moveCursorBy(0, 0);
        if (pickCursor_)
            emit pickRequested(*pickCursor_);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        break;
    case Qt::Key_Minus:
        zoomOut();
        break;
    case Qt::Key_G:
        setGridShown(!gridShown_);
        emit gridToggled(gridShown_);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ZoomedSheet::moveCursorBy(int dx, int dy)
{
    const QSize sheet = sheetSize();
    if (sheet.isEmpty())
        return;
    // The cursor starts at the pixel in the middle of the view.
    const QPoint start = pickCursor_.value_or(
        QPoint(static_cast<int>(std::floor(centre_.x())), static_cast<int>(std::floor(centre_.y()))));
    const QPoint moved(std::clamp(start.x() + dx, 0, sheet.width() - 1),
                       std::clamp(start.y() + dy, 0, sheet.height() - 1));
    pickCursor_ = moved;

    // The view follows a cursor that leaves it.
    const QRect pixel = deviceRectOf(moved).adjusted(-MarkGap, -MarkGap, MarkGap, MarkGap);
    const QSizeF view = viewportDeviceSize();
    QPointF pan;
    if (pixel.left() < 0)
        pan.setX(pixel.left());
    else if (pixel.right() >= view.width())
        pan.setX(pixel.right() + 1 - view.width());
    if (pixel.top() < 0)
        pan.setY(pixel.top());
    else if (pixel.bottom() >= view.height())
        pan.setY(pixel.bottom() + 1 - view.height());
    if (!pan.isNull())
        panBy(pan);
    viewport()->update();
    pointAt(moved);
}

bool ZoomedSheet::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave && !pickCursor_)
        pointAt(std::nullopt);
    return QAbstractScrollArea::viewportEvent(event);
}
