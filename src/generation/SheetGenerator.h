#pragma once

// The generation run: Start tells the host a run begins, empties the canvas,
// calls the layout of the selected mode and tells the host the total time. A
// layout fills the canvas tile by tile; after every tile AfterTile tells the
// host the tile is done and how long the layout has taken, lets it handle
// pending events (a click on Stop, or even a nested Start, runs there) and
// tells the layout whether to go on.
//
// A layout keeps its start reading, counters and level table in its own call,
// so a nested run leaves the interrupted one's state untouched.

#include "generation/GenerationHost.h"
#include "generation/RunTimer.h"
#include "generation/Sheets.h"

#include <array>

class SheetGenerator
{
public:
    // Runs nested deeper than this are not started: each level holds a
    // layout and a round of event processing on the stack, so a Start
    // clicked faster than runs finish would otherwise overflow it.
    static constexpr int MaxRunDepth = 16;

    explicit SheetGenerator(GenerationHost &host);

    // Click on Start: a complete run of the selected mode. Inside
    // MaxRunDepth nested runs it is ignored, and the runs go on as they were.
    void Start();
    // Click on Stop: the running layout returns after its current tile.
    void Stop();

    bool StopRequested() const { return stopRequested_; }
    // Whether a run is in progress (nested runs count once each).
    int RunDepth() const { return runDepth_; }

private:
    // True when the layout is to go on with its next tile, the part of the
    // canvas it has just drawn.
    bool AfterTile(RunTimer start, CanvasArea tile);

    // The shape every layout shares, drawing the sheet of `mode`.
    template <Mode mode>
    void Draw();

    void Draw16Million();
    void Draw1Million();
    void Draw256Kilo();
    void Draw64Kilo();
    void Draw16Kilo();
    void Draw4096();
    void Draw2025();
    void Draw729();

    using Layout = void (SheetGenerator::*)();
    static constexpr std::array<Layout, Sheets::Count> Layouts = {
        &SheetGenerator::Draw16Million, &SheetGenerator::Draw1Million, &SheetGenerator::Draw256Kilo,
        &SheetGenerator::Draw64Kilo,    &SheetGenerator::Draw16Kilo,   &SheetGenerator::Draw4096,
        &SheetGenerator::Draw2025,      &SheetGenerator::Draw729,
    };

    GenerationHost &host_;
    bool stopRequested_ = false;
    int runDepth_ = 0;
};
