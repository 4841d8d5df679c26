#pragma once

// An in-memory window for generation runs: it owns a canvas, answers with a
// settable mode and clock, and records what the run told it, as the window
// would show it: the time label's captions, the previews (the tile just
// drawn, then the whole canvas at the end) and the beeps.

#include "generation/Canvas.h"
#include "generation/GenerationHost.h"

#include <functional>
#include <string>
#include <vector>

class MemoryHost : public GenerationHost
{
public:
    Canvas canvas;
    int mode = 0;

    // Every reading returns clock, then advances it by tickStep.
    RunTimer clock = 0;
    RunTimer tickStep = 0;

    // Called inside DoEvents: a test clicks Stop or Start here.
    std::function<void()> onDoEvents;

    // What the run did, in order: "started", "tick", "tile 0,0 9x9 0ms",
    // "events", "ended 3ms", "unavailable 4096x4096".
    std::vector<std::string> calls;
    // The time label: "0" at a start, then every tile's and the total time.
    std::vector<std::string> captions;
    std::vector<CanvasArea> paintedAreas;
    int paints = 0;
    int events = 0;
    int beeps = 0;

    Canvas &pic1() override { return canvas; }
    int SelectedMode() const override { return mode; }
    RunTimer GetTickCount() override;
    void RunStarted() override;
    void TileDone(CanvasArea tile, std::int32_t elapsedMs) override;
    void DoEvents() override;
    void RunEnded(std::int32_t totalMs) override;
    void CanvasUnavailable(int width, int height) override;
};
