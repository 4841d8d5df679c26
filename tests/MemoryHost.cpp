#include "MemoryHost.h"

#include <algorithm>
#include <cstring>

RunTimer MemoryHost::GetTickCount()
{
    const RunTimer now = clock;
    advance(tickStep);
    return now;
}

void MemoryHost::advance(RunTimer ms)
{
    clock = static_cast<RunTimer>(static_cast<std::uint32_t>(clock) + static_cast<std::uint32_t>(ms));
}

void MemoryHost::RunStarted()
{
    ++starts;
    captions.push_back("0");
}

void MemoryHost::TileDrawn(CanvasArea tile)
{
    showCanvas(tile);
}

void MemoryHost::TimeSoFar(std::int32_t elapsedMs)
{
    captions.push_back(std::to_string(elapsedMs));
}

void MemoryHost::EventPass()
{
    ++events;
    if (onEventPass)
        onEventPass();
}

void MemoryHost::RunEnded(std::int32_t totalMs)
{
    showCanvas({0, 0, canvas.width(), canvas.height()});
    captions.push_back(std::to_string(totalMs));
    ++beeps;
}

void MemoryHost::CanvasUnavailable(int width, int height)
{
    unavailable.push_back(std::to_string(width) + "x" + std::to_string(height));
}

void MemoryHost::showCanvas(CanvasArea changed)
{
    ++paints;
    advance(paintMs);
    const int width = canvas.width();
    const int height = canvas.height();
    if (previewWidth_ != width || previewHeight_ != height || previewEpoch_ != canvas.contentEpoch()) {
        preview_.assign(canvas.bits(), canvas.bits() + std::size_t(width) * std::size_t(height));
        previewWidth_ = width;
        previewHeight_ = height;
        previewEpoch_ = canvas.contentEpoch();
        return;
    }
    // Only the part of the area that lies in the canvas.
    const int left = std::clamp(changed.x, 0, width);
    const int right = std::clamp(changed.x + changed.width, left, width);
    const int top = std::clamp(changed.y, 0, height);
    const int bottom = std::clamp(changed.y + changed.height, top, height);
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t *row = canvas.constScanLine(y);
        std::copy(row + left, row + right, preview_.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(width) + left));
    }
}

bool MemoryHost::previewShowsCanvas() const
{
    const std::size_t pixels = std::size_t(canvas.width()) * std::size_t(canvas.height());
    return previewWidth_ == canvas.width() && previewHeight_ == canvas.height()
           && std::memcmp(preview_.data(), canvas.bits(), pixels * sizeof(std::uint32_t)) == 0;
}
