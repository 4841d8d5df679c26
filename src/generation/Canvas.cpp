#include "generation/Canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t HugePageBytes = std::size_t(2) << 20;

// Room for `count` pixels, or nullptr. A large canvas is asked for in 2 MB
// pages where the system has them: the first "16million" run then faults in
// its 64 MB in 32 steps rather than 16,384.
std::uint32_t *allocatePixels(std::size_t count)
{
    const std::size_t bytes = std::max<std::size_t>(count * sizeof(std::uint32_t), 1);
    if (bytes < HugePageBytes)
        return static_cast<std::uint32_t *>(std::malloc(bytes));
    const std::size_t rounded = (bytes + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
    void *pixels = std::aligned_alloc(HugePageBytes, rounded);
#if defined(MADV_HUGEPAGE)
    if (pixels)
        ::madvise(pixels, rounded, MADV_HUGEPAGE); // only advice: 4 KB pages serve as well
#endif
    return static_cast<std::uint32_t *>(pixels);
}

// Paints `count` pixels. White, the usual window background, has four equal
// bytes and so goes through memset, which the C library writes at the speed
// of memory: a "16million" run clears 64 MB.
void paint(std::uint32_t *first, std::size_t count, std::uint32_t pixel)
{
    if (count == 0)
        return;
    if (pixel == 0xFFFFFFFFu)
        std::memset(first, 0xFF, count * sizeof(std::uint32_t));
    else
        std::fill_n(first, count, pixel);
}

} // namespace

Canvas::Canvas(ColorValue background)
    : background_(background)
{
    setSize(DesignWidth, DesignHeight);
}

ColorValue Canvas::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return -1;
    return FromRgb32(data_[static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)]);
}

void Canvas::clear()
{
    paint(data_, width_ * height_, ToRgb32(background_));
    ++contentEpoch_;
}

void Canvas::setSize(int width, int height)
{
    const auto newWidth = static_cast<std::size_t>(std::max(width, 0));
    const auto newHeight = static_cast<std::size_t>(std::max(height, 0));
    if (newWidth == width_ && newHeight == height_)
        return;

    const std::size_t count = newWidth * newHeight;
    if (count > pixelLimit_ || count > std::numeric_limits<std::size_t>::max() / sizeof(std::uint32_t))
        throw CanvasTooLarge(width, height);

    if (count > capacity_) {
        std::unique_ptr<std::uint32_t, FreePixels> grown(allocatePixels(count));
        if (!grown)
            throw CanvasTooLarge(width, height);
        relayout(grown.get(), newWidth, newHeight);
        storage_ = std::move(grown);
        capacity_ = count;
        data_ = storage_.get();
    } else {
        relayout(data_, newWidth, newHeight);
    }
    width_ = newWidth;
    height_ = newHeight;
    ++contentEpoch_;
}

void Canvas::FreePixels::operator()(std::uint32_t *pixels) const
{
    std::free(pixels);
}

void Canvas::relayout(std::uint32_t *to, std::size_t newWidth, std::size_t newHeight)
{
    const std::size_t keptWidth = std::min(newWidth, width_);
    const std::size_t keptHeight = keptWidth > 0 ? std::min(newHeight, height_) : 0;
    const std::size_t keptBytes = keptWidth * sizeof(std::uint32_t);

    // In the same buffer a narrower row lands at or before its old place and
    // a wider one at or after it, so rows move in the order that never
    // overwrites a row still to be moved.
    if (newWidth <= width_) {
        for (std::size_t y = 0; y < keptHeight; ++y)
            std::memmove(to + y * newWidth, data_ + y * width_, keptBytes);
    } else {
        for (std::size_t y = keptHeight; y-- > 0;)
            std::memmove(to + y * newWidth, data_ + y * width_, keptBytes);
    }

    const std::uint32_t background = ToRgb32(background_);
    if (keptWidth < newWidth)
        for (std::size_t y = 0; y < keptHeight; ++y)
            paint(to + y * newWidth + keptWidth, newWidth - keptWidth, background);
    paint(to + keptHeight * newWidth, (newHeight - keptHeight) * newWidth, background);
}
