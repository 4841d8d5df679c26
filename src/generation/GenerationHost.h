#pragma once

// What a generation run tells the window that hosts it, in the run's own
// terms: a run starts, a tile is done, events may be handled, the run ends,
// the canvas could not be had. What that means on screen (the window's size,
// where the preview is, the captions, the beep) is the window's business.
// The main window implements it through a small object it owns; the tests
// and benchmarks implement it in memory.

#include "generation/RunTimer.h"

#include <cstdint>

class Canvas;

// A rectangle of canvas pixels.
struct CanvasArea
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const CanvasArea &, const CanvasArea &) = default;
};

class GenerationHost
{
public:
    virtual ~GenerationHost() = default;

    // The canvas `pic1`, owned by the window.
    virtual Canvas &pic1() = 0;

    // The mode to draw: the selected index of `Combo1`, -1 when nothing is
    // selected.
    virtual int SelectedMode() const = 0;

    // The millisecond tick counter.
    virtual RunTimer GetTickCount() = 0;

    // A run begins; the canvas is emptied right after this.
    virtual void RunStarted() = 0;

    // A tile is done: `tile` is the part of the canvas just drawn, and
    // `elapsedMs` the time since the layout's own start reading.
    virtual void TileDone(CanvasArea tile, std::int32_t elapsedMs) = 0;

    // Pending window events may be handled now (a click on Stop, even a
    // nested Start), then the run goes on.
    virtual void DoEvents() = 0;

    // The run is over, complete or stopped: `totalMs` since the click.
    virtual void RunEnded(std::int32_t totalMs) = 0;

    // The canvas could not be given the size width x height; the run of the
    // selected mode ends without drawing (RunEnded follows).
    virtual void CanvasUnavailable(int width, int height) = 0;
};
