#pragma once

// What a generation run reports, in the run's own terms: a run starts, a tile
// is drawn, the time so far, a pass for pending events, the run ends, the
// canvas could not be had. Every report does nothing unless overridden, so a
// host that shows nothing overrides nothing. What a report means on screen
// (the window's size, the preview, the captions, the beep) is the window's
// business.
//
// After every tile the reports come in this order: TileDrawn (the preview is
// painted), TimeSoFar (read after the paint, so the caption counts it),
// EventPass; then the run looks at its Stop flag.

#include "generation/CanvasArea.h"

#include <cstdint>

class RunObserver
{
public:
    virtual ~RunObserver() = default;

    // A run begins; the canvas is emptied right after this.
    virtual void RunStarted() {}

    // `tile`, the part of the canvas just drawn, is done: the preview shows
    // it now.
    virtual void TileDrawn(CanvasArea /*tile*/) {}

    // The time since the layout's own start reading, read once the tile's
    // preview is painted.
    virtual void TimeSoFar(std::int32_t /*elapsedMs*/) {}

    // Pending window events may be handled now (a click on Stop, even a
    // nested Start), then the run goes on.
    virtual void EventPass() {}

    // The run is over, complete or stopped: `totalMs` since the click.
    virtual void RunEnded(std::int32_t /*totalMs*/) {}

    // The canvas could not be given the size width x height; the run ends
    // without drawing (RunEnded follows).
    virtual void CanvasUnavailable(int /*width*/, int /*height*/) {}
};
