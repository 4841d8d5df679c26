#pragma once

// An in-memory window for generation runs: it owns a canvas, a settable
// mode and a fake clock, hands them to a run as its inputs, and keeps what
// the window would show: the time label's captions, the preview, the beeps
// and the messages. Its preview is a copy of the canvas that, like the
// window's, is brought up to date only where the run says it drew (all of it
// after a clear or a new size); painting it takes paintMs of the fake clock.

#include "generation/Canvas.h"
#include "generation/RunObserver.h"
#include "generation/SheetGenerator.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class MemoryHost : public RunObserver
{
public:
    Canvas canvas;
    int mode = 0;

    // Every reading returns clock, then advances it by tickStep; every
    // preview painted advances it by paintMs.
    RunTimer clock = 0;
    RunTimer tickStep = 0;
    RunTimer paintMs = 0;

    // Called inside EventPass: a test clicks Stop or Start here.
    std::function<void()> onEventPass;

    // The time label: "0" at a start, then every tile's and the total time.
    std::vector<std::string> captions;
    // Canvas sizes reported as unavailable, "4096x4096".
    std::vector<std::string> unavailable;
    int starts = 0;
    int paints = 0; // previews: one per tile, one at the end
    int events = 0;
    int beeps = 0;

    // Whether the preview shows the canvas as it is now.
    bool previewShowsCanvas() const;

    // A run's inputs as a click on Start gives them: the canvas, the mode
    // selected now, the clock.
    RunInputs inputs() { return {canvas, mode, [this] { return GetTickCount(); }}; }
    RunTimer GetTickCount();

    void RunStarted() override;
    void TileDrawn(CanvasArea tile) override;
    void TimeSoFar(std::int32_t elapsedMs) override;
    void EventPass() override;
    void RunEnded(std::int32_t totalMs) override;
    void CanvasUnavailable(int width, int height) override;

private:
    void advance(RunTimer ms);
    void showCanvas(CanvasArea changed);

    std::vector<std::uint32_t> preview_;
    int previewWidth_ = 0;
    int previewHeight_ = 0;
    std::uint64_t previewEpoch_ = 0;
};
