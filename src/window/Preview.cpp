#include "window/Preview.h"

#include "generation/Canvas.h"

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

// The source column (or row) under the centre of each of `length` device
// pixels: nearest-neighbour sampling, so every preview pixel shows a colour
// that exists in the sheet.
std::vector<int> sourceSamples(int length, int sourceLength)
{
    std::vector<int> samples(static_cast<std::size_t>(length));
    for (int d = 0; d < length; ++d)
        samples[static_cast<std::size_t>(d)] = static_cast<int>((2LL * d + 1) * sourceLength / (2LL * length));
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
QRect scaleInto(QImage &image, const Canvas &source, const CanvasArea &area)
{
    if (image.isNull() || source.width() == 0 || source.height() == 0)
        return {};

    const std::vector<int> columns = sourceSamples(image.width(), source.width());
    const std::vector<int> rows = sourceSamples(image.height(), source.height());
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
    // Every pixel comes from the image; clicks belong to the window's surface.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
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
    const QRect written = scaleInto(image_, canvas_, changed);
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
    const qreal ratio = image_.devicePixelRatio();
    const QPoint device(static_cast<int>(std::floor(at.x() * ratio)), static_cast<int>(std::floor(at.y() * ratio)));
    if (at.x() < 0 || at.y() < 0 || !image_.rect().contains(device))
        return -1;
    return FromRgb32(image_.pixel(device));
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
