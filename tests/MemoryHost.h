#pragma once

// An in-memory window for generation runs: it owns a canvas, answers with a
// settable mode, screen and clock, and records what the run asked of it.

#include "Canvas.h"
#include "GenerationHost.h"

#include <functional>
#include <string>
#include <vector>

class MemoryHost : public GenerationHost
{
public:
    Canvas canvas;
    int mode = 0;
    double twipsPerPixelX = 15;
    double twipsPerPixelY = 15;

    // Every reading returns clock, then advances it by tickStep.
    RunTimer clock = 0;
    RunTimer tickStep = 0;

    // Called inside DoEvents: a test clicks Stop or Start here.
    std::function<void()> onDoEvents;

    // What the run did, in order: "caption 0", "width 4050", "persistent off",
    // "paint 2,56 256x256", "tick", "events", "beep", "unavailable 4096x4096".
    std::vector<std::string> calls;
    std::vector<std::string> captions;
    std::vector<CanvasArea> paintedAreas;
    int paints = 0;
    int events = 0;
    int beeps = 0;
    double outerWidth = 0;
    double outerHeight = 0;
    bool persistent = true;

    Canvas &pic1() override { return canvas; }
    int SelectedMode() const override { return mode; }
    double TwipsPerPixelX() const override { return twipsPerPixelX; }
    double TwipsPerPixelY() const override { return twipsPerPixelY; }
    void SetOuterWidth(double twips) override;
    void SetOuterHeight(double twips) override;
    void SetPersistentDrawing(bool on) override;
    void SetTimeCaption(const std::string &text) override;
    void PaintPicture(const Canvas &source, int x, int y, int width, int height, CanvasArea changed) override;
    RunTimer GetTickCount() override;
    void DoEvents() override;
    void Beep() override;
    void CanvasUnavailable(int width, int height) override;
};
