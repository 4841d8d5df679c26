#include "Canvas.h"

#include <algorithm>
#include <cstring>

Canvas::Canvas(ColorValue background)
    : background_(background)
{
    resize(DesignWidth, DesignHeight);
}

void Canvas::setWidth(int width)
{
    resize(width, height_);
}

void Canvas::setHeight(int height)
{
    resize(width_, height);
}

ColorValue Canvas::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return -1;
    return FromRgb32(data_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)]);
}

void Canvas::clear()
{
    std::fill(pixels_.begin(), pixels_.end(), ToRgb32(background_));
}

void Canvas::resize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_)
        return;

    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (count > pixelLimit_)
        throw CanvasTooLarge(width, height);

    std::vector<std::uint32_t> resized;
    try {
        resized.assign(count, ToRgb32(background_));
    } catch (const std::bad_alloc &) {
        throw CanvasTooLarge(width, height);
    }

    const int keptWidth = std::min(width, width_);
    const int keptHeight = keptWidth > 0 ? std::min(height, height_) : 0;
    for (int y = 0; y < keptHeight; ++y)
        std::memcpy(resized.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                    data_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
                    static_cast<std::size_t>(keptWidth) * sizeof(std::uint32_t));

    pixels_.swap(resized);
    data_ = pixels_.data();
    width_ = width;
    height_ = height;
}
