#pragma once

// The off-screen picture `pic1`: a width x height grid of opaque 0xFFRRGGBB
// pixels in one contiguous buffer, rows top to bottom. The layouts write it
// row by row through scanLine(); the window scales it into the preview and
// Save writes it to a file, both reading the buffer in place.
//
// The buffer only grows: a smaller size after a larger one keeps the memory,
// so a run of a large mode after a small one does not allocate and fault in
// its pages again.

#include "generation/ColorValue.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

// Thrown when the canvas cannot get the memory for a requested size; the
// canvas keeps its previous size and content.
class CanvasTooLarge : public std::bad_alloc
{
public:
    CanvasTooLarge(int width, int height) : width(width), height(height) {}
    const char *what() const noexcept override { return "not enough memory for the canvas"; }

    int width;
    int height;
};

class Canvas
{
public:
    // The size the canvas has from start-up until the first run sets its own.
    static constexpr int DesignWidth = 409;
    static constexpr int DesignHeight = 417;

    explicit Canvas(ColorValue background = RGB(255, 255, 255));

    int width() const { return static_cast<int>(width_); }
    int height() const { return static_cast<int>(height_); }

    // Resizing keeps the pixels that lie inside both the old and the new size;
    // new area shows the background. A negative side counts as 0. Throws
    // CanvasTooLarge, naming the size asked for, when the memory is not there.
    void setSize(int width, int height);

    // Writes one pixel; a position outside the current size is ignored.
    void setPixel(int x, int y, ColorValue colour)
    {
        // Negative positions wrap to huge unsigned values and fail the test.
        const auto column = static_cast<std::size_t>(static_cast<unsigned>(x));
        const auto row = static_cast<std::size_t>(static_cast<unsigned>(y));
        if (column < width_ && row < height_)
            data_[row * width_ + column] = ToRgb32(colour);
    }

    // Row y, width() pixels of 0xFFRRGGBB to write, or nullptr when y lies
    // outside the current size.
    std::uint32_t *scanLine(int y)
    {
        const auto row = static_cast<std::size_t>(static_cast<unsigned>(y));
        return row < height_ ? data_ + row * width_ : nullptr;
    }

    // Row y, width() pixels of 0xFFRRGGBB to read, or nullptr when y lies
    // outside the current size.
    const std::uint32_t *constScanLine(int y) const
    {
        const auto row = static_cast<std::size_t>(static_cast<unsigned>(y));
        return row < height_ ? data_ + row * width_ : nullptr;
    }

    // The colour at (x, y), or -1 outside the current size.
    ColorValue pixel(int x, int y) const;

    // Discards the content: every pixel shows the background again.
    void clear();

    // Changes whenever the content changes other than by writes to its pixels
    // (a clear or a new size, even one in memory already held), so a viewer
    // knows when an earlier copy of it is stale.
    std::uint64_t contentEpoch() const { return contentEpoch_; }

    ColorValue backColor() const { return background_; }
    // Takes effect at the next clear() and for newly grown area.
    void setBackColor(ColorValue colour) { background_ = colour; }

    // The whole content, width() x height() pixels of 0xFFRRGGBB, row after row.
    const std::uint32_t *bits() const { return data_; }
    std::size_t bytesPerLine() const { return width_ * sizeof(std::uint32_t); }
    // How many pixels the memory held now has room for: never less than
    // width() x height(), and kept when the canvas shrinks.
    std::size_t capacity() const { return capacity_; }

    // Largest number of pixels the canvas may hold; a larger size fails as if
    // the memory were not there. For tests of the out-of-memory path.
    void setPixelLimit(std::size_t pixels) { pixelLimit_ = pixels; }

private:
    // Puts the kept pixels where the new size wants them in `to`, the
    // current buffer or a larger new one, and paints the rest background.
    void relayout(std::uint32_t *to, std::size_t width, std::size_t height);

    struct FreePixels
    {
        void operator()(std::uint32_t *pixels) const;
    };
    std::unique_ptr<std::uint32_t, FreePixels> storage_;
    std::size_t capacity_ = 0; // pixels
    std::uint32_t *data_ = nullptr;
    // Sizes are kept as size_t, a type a pixel store cannot alias, so the
    // compiler keeps them in registers across a layout's loops.
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    ColorValue background_;
    std::uint64_t contentEpoch_ = 0;
    std::size_t pixelLimit_ = std::numeric_limits<std::size_t>::max();
};
