#include "generation/SheetGenerator.h"

#include "generation/Canvas.h"

namespace {

// Keeps the run depth and the running run's inputs right however the run
// ends: the interrupted run gets its own back.
class RunScope
{
public:
    RunScope(int &depth, const RunInputs *&run, const RunInputs &inputs)
        : depth_(depth), run_(run), outer_(run)
    {
        ++depth_;
        run_ = &inputs;
    }
    ~RunScope()
    {
        --depth_;
        run_ = outer_;
    }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;

private:
    int &depth_;
    const RunInputs *&run_;
    const RunInputs *outer_;
};

} // namespace

SheetGenerator::SheetGenerator(RunObserver &observer)
    : observer_(observer)
{
}

void SheetGenerator::Start(const RunInputs &inputs)
{
    if (runDepth_ >= MaxRunDepth)
        return;
    const RunScope scope(runDepth_, run_, inputs);

    stopRequested_ = false;
    observer_.RunStarted();
    pic1().clear();

    const RunTimer t0 = GetTickCount();
    if (const std::optional<Mode> mode = Sheets::ModeAt(inputs.mode)) {
        try {
            (this->*Layouts[static_cast<std::size_t>(Sheets::Index(*mode))])();
        } catch (const CanvasTooLarge &failure) {
            // The canvas kept its emptied content and size; the run ends as
            // after a stop, so the window is left in its usual idle state.
            observer_.CanvasUnavailable(failure.width, failure.height);
        }
    }
    const RunTimer t1 = GetTickCount();
    observer_.RunEnded(Elapsed(t1, t0));
}

void SheetGenerator::Stop()
{
    stopRequested_ = true;
}

bool SheetGenerator::AfterTile(RunTimer start, CanvasArea tile)
{
    // The preview first: the time shown with it includes its paint.
    observer_.TileDrawn(tile);
    observer_.TimeSoFar(Elapsed(GetTickCount(), start));
    observer_.EventPass();
    return !stopRequested_;
}
