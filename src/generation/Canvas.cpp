#include "generation/Canvas.h"

#include <algorithm>
#include <cstring>

Canvas::Canvas(ColorValue background)
    : background_(background)
{
    resize(DesignWidth, DesignHeight);
}

void Canvas::setWidth(int width)
{
    resize(width, this->height());
}

void Canvas::setHeight(int height)
{
    resize(this->width(), height);
}

ColorValue Canvas::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return -1;
    return FromRgb32(data_[static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)]);
}

void Canvas::clear()
{
    std::fill(pixels_.begin(), pixels_.end(), ToRgb32(background_));
    ++contentEpoch_;
}

void Canvas::resize(int width, int height)
{
    const auto newWidth = static_cast<std::size_t>(std::max(width, 0));
    const auto newHeight = static_cast<std::size_t>(std::max(height, 0));
    if (newWidth == width_ && newHeight == height_)
        return;

    const std::size_t count = newWidth * newHeight;
    if (count > pixelLimit_)
        throw CanvasTooLarge(width, height);

    std::vector<std::uint32_t> resized;
    try {
        resized.assign(count, ToRgb32(background_));
    } catch (const std::bad_alloc &) {
        throw CanvasTooLarge(width, height);
    }

    const std::size_t keptWidth = std::min(newWidth, width_);
    const std::size_t keptHeight = keptWidth > 0 ? std::min(newHeight, height_) : 0;
    for (std::size_t y = 0; y < keptHeight; ++y)
        std::memcpy(resized.data() + y * newWidth, data_ + y * width_, keptWidth * sizeof(std::uint32_t));

    pixels_.swap(resized);
    data_ = pixels_.data();
    width_ = newWidth;
    height_ = newHeight;
    ++contentEpoch_;
}
