#pragma once

// A window that does nothing: a run through it costs only the layout's own
// work plus the calls the generator makes after every tile.

#include "Canvas.h"
#include "GenerationHost.h"

#include <chrono>

class BenchHost : public GenerationHost
{
public:
    Canvas canvas;
    int mode = 0;
    bool canvasUnavailable = false;

    Canvas &pic1() override { return canvas; }
    int SelectedMode() const override { return mode; }
    double TwipsPerPixelX() const override { return 15; }
    double TwipsPerPixelY() const override { return 15; }
    void SetOuterWidth(double) override {}
    void SetOuterHeight(double) override {}
    void SetPersistentDrawing(bool) override {}
    void SetTimeCaption(const std::string &) override {}
    void PaintPicture(const Canvas &, int, int, int, int, CanvasArea) override {}
    RunTimer GetTickCount() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<RunTimer>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void DoEvents() override {}
    void Beep() override {}
    void CanvasUnavailable(int, int) override { canvasUnavailable = true; }
};
