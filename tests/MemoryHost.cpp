#include "MemoryHost.h"

#include "RunTimer.h"

#include <cstdint>

void MemoryHost::SetOuterWidth(double twips)
{
    outerWidth = twips;
    calls.push_back("width " + std::to_string(static_cast<long>(twips)));
}

void MemoryHost::SetOuterHeight(double twips)
{
    outerHeight = twips;
    calls.push_back("height " + std::to_string(static_cast<long>(twips)));
}

void MemoryHost::SetPersistentDrawing(bool on)
{
    persistent = on;
    calls.push_back(on ? "persistent on" : "persistent off");
}

void MemoryHost::SetTimeCaption(const std::string &text)
{
    captions.push_back(text);
    calls.push_back("caption " + text);
}

void MemoryHost::PaintPicture(const Canvas &source, int x, int y, int width, int height, CanvasArea changed)
{
    ++paints;
    paintedAreas.push_back(changed);
    calls.push_back((&source == &canvas ? "paint " : "paint foreign ") + std::to_string(x) + "," + std::to_string(y)
                    + " " + std::to_string(width) + "x" + std::to_string(height));
}

RunTimer MemoryHost::GetTickCount()
{
    const RunTimer now = clock;
    clock = static_cast<RunTimer>(static_cast<std::uint32_t>(clock) + static_cast<std::uint32_t>(tickStep));
    calls.push_back("tick");
    return now;
}

void MemoryHost::DoEvents()
{
    ++events;
    calls.push_back("events");
    if (onDoEvents)
        onDoEvents();
}

void MemoryHost::Beep()
{
    ++beeps;
    calls.push_back("beep");
}

void MemoryHost::CanvasUnavailable(int width, int height)
{
    calls.push_back("unavailable " + std::to_string(width) + "x" + std::to_string(height));
}
