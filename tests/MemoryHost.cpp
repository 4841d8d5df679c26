#include "MemoryHost.h"

#include <cstdint>

namespace {

std::string area(const CanvasArea &a)
{
    return std::to_string(a.x) + "," + std::to_string(a.y) + " " + std::to_string(a.width) + "x"
           + std::to_string(a.height);
}

} // namespace

RunTimer MemoryHost::GetTickCount()
{
    const RunTimer now = clock;
    clock = static_cast<RunTimer>(static_cast<std::uint32_t>(clock) + static_cast<std::uint32_t>(tickStep));
    calls.push_back("tick");
    return now;
}

void MemoryHost::RunStarted()
{
    captions.push_back("0");
    calls.push_back("started");
}

void MemoryHost::TileDone(CanvasArea tile, std::int32_t elapsedMs)
{
    ++paints;
    paintedAreas.push_back(tile);
    captions.push_back(std::to_string(elapsedMs));
    calls.push_back("tile " + area(tile) + " " + std::to_string(elapsedMs) + "ms");
}

void MemoryHost::DoEvents()
{
    ++events;
    calls.push_back("events");
    if (onDoEvents)
        onDoEvents();
}

void MemoryHost::RunEnded(std::int32_t totalMs)
{
    ++paints;
    ++beeps;
    paintedAreas.push_back({0, 0, canvas.width(), canvas.height()});
    captions.push_back(std::to_string(totalMs));
    calls.push_back("ended " + std::to_string(totalMs) + "ms");
}

void MemoryHost::CanvasUnavailable(int width, int height)
{
    calls.push_back("unavailable " + std::to_string(width) + "x" + std::to_string(height));
}
