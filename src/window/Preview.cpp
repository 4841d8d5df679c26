#include "window/Preview.h"

#include "generation/Canvas.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// During a run the preview reaches the screen at most this often: a window
// system shows no more than a frame per refresh of the display anyway, and
// waiting for it after every tile of "16million" made the run several times
// slower under X. The image, which the colour pick reads, is current after
// every tile all the same.
constexpr qint64 FrameMs = 16;

// The source column (or row) each of `deviceLength` device pixels shows.
// Every device pixel shows the sample of the window pixel it belongs to, as
// the window system reports the pointer over it: window pixel
// round(device / ratio), counted from the window's edge, where the preview
// begins at window pixel `start` and device pixel round(start x ratio). A
// window pixel shows the canvas pixel under its centre (nearest neighbour),
// so every preview pixel shows a colour of the sheet, and a pick, which
// knows only the window pixel, reads the colour drawn under the pointer at
// any scale.
std::vector<int> sourceSamples(int deviceLength, int sourceLength, int logicalStart, int logicalLength, qreal ratio)
{
    const int deviceStart = qRound(logicalStart * ratio);
    std::vector<int> samples(static_cast<std::size_t>(deviceLength));
    for (int d = 0; d < deviceLength; ++d) {
        const int logical = std::clamp(qRound((d + deviceStart) / ratio) - logicalStart, 0, logicalLength - 1);
        samples[static_cast<std::size_t>(d)]
            = static_cast<int>((2LL * logical + 1) * sourceLength / (2LL * logicalLength));
    }
    return samples;
}

// The first and one-past-last index of samples that fall in [first, first + length).
std::pair<int, int> samplesWithin(const std::vector<int> &samples, int first, int length)
{
    const auto begin = std::lower_bound(samples.begin(), samples.end(), first);
    const auto end = std::lower_bound(begin, samples.end(), first + length);
    return {static_cast<int>(begin - samples.begin()), static_cast<int>(end - samples.begin())};
}

// Scales the whole canvas into the whole image, but writes only the image
// pixels whose samples lie in `area` of the canvas. Returns the image
// rectangle written.
QRect scaleInto(QImage &image, QRect logical, const Canvas &source, const CanvasArea &area)
{
    if (image.isNull() || source.width() == 0 || source.height() == 0)
        return {};

    const qreal ratio = image.devicePixelRatio();
    const std::vector<int> columns
        = sourceSamples(image.width(), source.width(), logical.x(), logical.width(), ratio);
    const std::vector<int> rows = sourceSamples(image.height(), source.height(), logical.y(), logical.height(), ratio);
    const auto [left, right] = samplesWithin(columns, area.x, area.width);
    const auto [top, bottom] = samplesWithin(rows, area.y, area.height);

    for (int dy = top; dy < bottom; ++dy) {
        const std::uint32_t *from = source.constScanLine(rows[static_cast<std::size_t>(dy)]);
        auto *to = reinterpret_cast<std::uint32_t *>(image.scanLine(dy));
        for (int dx = left; dx < right; ++dx)
            to[dx] = from[columns[static_cast<std::size_t>(dx)]];
    }
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

Preview::Preview(const Canvas &canvas, QWidget *parent)
    : QWidget(parent),
      canvas_(canvas)
{
    // Every pixel comes from the image. Presses and releases go on to the
    // window's surface (the pick is the window's), since they are ignored here.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(tr("Right-click: show this colour's values and copy its RRGGBB code\n"
                  "Double-click: view the sheet at full size"));
}

bool Preview::fitImage()
{
    const qreal ratio = devicePixelRatioF();
    const QSize needed(qCeil(width() * ratio), qCeil(height() * ratio));
    if (!image_.isNull() && image_.devicePixelRatio() == ratio && image_.size() == needed)
        return false;

    // Until a canvas is shown, the preview is part of the window's background;
    // on a screen of another resolution it keeps what it showed until the
    // next canvas is shown.
    QImage fitted(needed, QImage::Format_RGB32);
    fitted.setDevicePixelRatio(ratio);
    fitted.fill(palette().color(QPalette::Window));
    if (!image_.isNull()) {
        QPainter painter(&fitted);
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(needed) / ratio), image_);
    }
    image_ = std::move(fitted);
    shownEpoch_.reset();
    return true;
}

void Preview::showCanvas(CanvasArea changed, Refresh refresh)
{
    // After a tile of "16million" only 16 x 16 preview pixels need scaling,
    // not 256 x 256: the rest still shows the canvas as it is.
    const bool current = shownEpoch_ == canvas_.contentEpoch();
    if (fitImage() || !current)
        changed = {0, 0, canvas_.width(), canvas_.height()};
    const QRect written = scaleInto(image_, geometry(), canvas_, changed);
    shownEpoch_ = canvas_.contentEpoch();

    const qreal ratio = image_.devicePixelRatio();
    const QRect area = QRectF(QRectF(written).topLeft() / ratio, QRectF(written).size() / ratio).toAlignedRect();
    unshown_ |= area;
    if (unshown_.isEmpty())
        return;
    if (refresh == Refresh::WithNextPaint) {
        update(unshown_);
    } else if (!sinceShown_.isValid() || sinceShown_.elapsed() >= FrameMs) {
        repaint(unshown_);
        sinceShown_.start();
    } else {
        return; // shown with a later tile, or with the run's final preview
    }
    unshown_ = {};
}

ColorValue Preview::pixel(QPointF at) const
{
    // The window pixel, as the window system rounds the pointer's position,
    // and a device pixel that shows it (see sourceSamples).
    const qreal ratio = image_.devicePixelRatio();
    const QPoint inWindow = (at + QPointF(pos())).toPoint();
    if (!geometry().contains(inWindow))
        return -1;
    const auto device = [ratio](int window, int start, int length) {
        const int d = static_cast<int>(std::ceil((window - 0.5) * ratio)) - qRound(start * ratio);
        return std::clamp(d, 0, length - 1);
    };
    return FromRgb32(image_.pixel(device(inWindow.x(), x(), image_.width()), device(inWindow.y(), y(), image_.height())));
}

void Preview::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    emit doubleClicked();
}

void Preview::resizeEvent(QResizeEvent *event)
{
    fitImage();
    QWidget::resizeEvent(event);
}

void Preview::paintEvent(QPaintEvent *event)
{
    // The dirty rectangle in whole image pixels, copied one to one.
    const qreal ratio = image_.devicePixelRatio();
    const QRect source = QRectF(QRectF(event->rect()).topLeft() * ratio, QRectF(event->rect()).size() * ratio)
                             .toAlignedRect()
                             .intersected(image_.rect());
    QPainter painter(this);
    painter.drawImage(QRectF(QPointF(source.topLeft()) / ratio, QSizeF(source.size()) / ratio), image_, source);
}
