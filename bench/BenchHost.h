#pragma once

// A window that does nothing: a run through it costs only the layout's own
// work plus the calls the generator makes after every tile.

#include "generation/Canvas.h"
#include "generation/GenerationHost.h"

#include <chrono>

class BenchHost : public GenerationHost
{
public:
    Canvas canvas;
    int mode = 0;
    bool canvasUnavailable = false;

    Canvas &pic1() override { return canvas; }
    int SelectedMode() const override { return mode; }
    RunTimer GetTickCount() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<RunTimer>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void RunStarted() override {}
    void TileDone(CanvasArea, std::int32_t) override {}
    void DoEvents() override {}
    void RunEnded(std::int32_t) override {}
    void CanvasUnavailable(int, int) override { canvasUnavailable = true; }
};
