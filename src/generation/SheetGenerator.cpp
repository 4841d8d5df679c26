#include "generation/SheetGenerator.h"

#include "generation/Canvas.h"
#include "generation/GenerationHost.h"

namespace {

// Keeps the run depth right however the run ends.
class RunScope
{
public:
    explicit RunScope(int &depth) : depth_(depth) { ++depth_; }
    ~RunScope() { --depth_; }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;

private:
    int &depth_;
};

} // namespace

SheetGenerator::SheetGenerator(GenerationHost &host)
    : host_(host)
{
}

void SheetGenerator::Start()
{
    if (runDepth_ >= MaxRunDepth)
        return;
    const RunScope scope(runDepth_);

    stopRequested_ = false;
    host_.RunStarted();
    host_.pic1().clear();

    const RunTimer t0 = host_.GetTickCount();
    if (const std::optional<Mode> mode = Sheets::ModeAt(host_.SelectedMode())) {
        try {
            (this->*Layouts[static_cast<std::size_t>(Sheets::Index(*mode))])();
        } catch (const CanvasTooLarge &failure) {
            // The canvas kept its emptied content and size; the run ends as
            // after a stop, so the window is left in its usual idle state.
            host_.CanvasUnavailable(failure.width, failure.height);
        }
    }
    const RunTimer t1 = host_.GetTickCount();
    host_.RunEnded(Elapsed(t1, t0));
}

void SheetGenerator::Stop()
{
    stopRequested_ = true;
}

bool SheetGenerator::AfterTile(RunTimer start, CanvasArea tile)
{
    host_.TileDone(tile, Elapsed(host_.GetTickCount(), start));
    host_.DoEvents();
    return !stopRequested_;
}
