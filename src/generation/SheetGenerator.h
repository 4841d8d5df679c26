#pragma once

// The generation run: Start is given what the run works with (the canvas,
// the mode selected at that moment, the clock), tells the observer a run
// begins, empties the canvas, calls the layout of the mode and tells the
// observer the total time. A layout fills the canvas tile by tile; after
// every tile AfterTile tells the observer the tile is drawn and then how long
// the layout has taken, gives it a pass for pending events (a click on Stop,
// or even a nested Start, runs there) and tells the layout whether to go on.
//
// A layout keeps its start reading, counters and level table in its own call,
// and each run its own inputs, so a nested run leaves the interrupted one's
// state untouched.

#include "generation/CanvasArea.h"
#include "generation/RunObserver.h"
#include "generation/RunTimer.h"
#include "generation/Sheets.h"

#include <array>

class Canvas;

// What one run works with.
struct RunInputs
{
    // `pic1`: the run empties it, gives it the mode's size and draws into it.
    Canvas &canvas;
    // The mode to draw: the selected index of the mode list, -1 when nothing
    // is selected; outside the list the run draws nothing.
    int mode = -1;
    // The millisecond tick counter.
    TickClock clock;
};

class SheetGenerator
{
public:
    // Runs nested deeper than this are not started: each level holds a
    // layout and a round of event processing on the stack, so a Start
    // clicked faster than runs finish would otherwise overflow it.
    static constexpr int MaxRunDepth = 16;

    explicit SheetGenerator(RunObserver &observer);

    // Click on Start: a complete run of inputs.mode. Inside MaxRunDepth
    // nested runs it is ignored, and the runs go on as they were.
    void Start(const RunInputs &inputs);
    // Click on Stop: the running layout returns after its current tile.
    void Stop();

    bool StopRequested() const { return stopRequested_; }
    // Whether a run is in progress (nested runs count once each).
    int RunDepth() const { return runDepth_; }

private:
    // True when the layout is to go on with its next tile, the part of the
    // canvas it has just drawn.
    bool AfterTile(RunTimer start, CanvasArea tile);

    // The running run's canvas and clock.
    Canvas &pic1() { return run_->canvas; }
    RunTimer GetTickCount() { return run_->clock(); }

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

    RunObserver &observer_;
    // The inputs of the innermost run in progress, null between runs.
    const RunInputs *run_ = nullptr;
    bool stopRequested_ = false;
    int runDepth_ = 0;
};
