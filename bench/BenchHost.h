#pragma once

// A window that does nothing: a run through it costs only the layout's own
// work plus the calls the generator makes after every tile. It also times the
// layout as the run's own total does (from the reading just before the
// layout to the one just after it), but with steady_clock's resolution.

#include "generation/Canvas.h"
#include "generation/RunObserver.h"
#include "generation/SheetGenerator.h"

#include <chrono>
#include <optional>

class BenchHost : public RunObserver
{
public:
    using Clock = std::chrono::steady_clock;

    Canvas canvas;
    int mode = 0;
    bool canvasUnavailable = false;
    // The last run's layout, from t0 to t1, in milliseconds.
    double layoutMs = 0;

    // A run's inputs: the canvas, the mode, the clock.
    RunInputs inputs() { return {canvas, mode, [this] { return GetTickCount(); }}; }

    RunTimer GetTickCount()
    {
        const Clock::time_point now = Clock::now();
        if (!t0_)
            t0_ = now;
        t1_ = now;
        return static_cast<RunTimer>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
    }
    void RunStarted() override { t0_.reset(); }
    void RunEnded(std::int32_t) override
    {
        layoutMs = t0_ ? std::chrono::duration<double, std::milli>(t1_ - *t0_).count() : 0;
    }
    void CanvasUnavailable(int, int) override { canvasUnavailable = true; }

private:
    std::optional<Clock::time_point> t0_;
    Clock::time_point t1_;
};
