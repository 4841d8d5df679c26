#include "SheetGenerator.h"

#include "Canvas.h"
#include "GenerationHost.h"

#include <string>

namespace {

// The window's outer size during and after a run: 270 pixels wide, 256 pixels
// plus 1200 twips high.
constexpr int RunWidthPixels = 270;
constexpr int RunHeightPixels = 256;
constexpr double RunExtraHeightTwips = 1200;

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
    const RunScope scope(runDepth_);

    stopRequested_ = false;
    host_.SetTimeCaption("0");
    host_.SetOuterWidth(RunWidthPixels * host_.TwipsPerPixelX());
    host_.SetOuterHeight(RunHeightPixels * host_.TwipsPerPixelY() + RunExtraHeightTwips);
    host_.SetPersistentDrawing(false);
    host_.pic1().clear();

    const RunTimer t0 = host_.GetTickCount();
    const int mode = host_.SelectedMode();
    if (mode >= 0 && mode < ModeCount) {
        try {
            (this->*Layouts[static_cast<std::size_t>(mode)])();
        } catch (const CanvasTooLarge &failure) {
            // The canvas kept its emptied content and size; the run ends as
            // after a stop, so the window is left in its usual idle state.
            host_.CanvasUnavailable(failure.width, failure.height);
        }
    }
    const RunTimer t1 = host_.GetTickCount();

    host_.SetPersistentDrawing(true);
    const Canvas &pic = host_.pic1();
    host_.PaintPicture(pic, PreviewLeft, PreviewTop, PreviewSize, PreviewSize, {0, 0, pic.width(), pic.height()});
    host_.SetTimeCaption(std::to_string(Elapsed(t1, t0)));
    host_.Beep();
}

void SheetGenerator::Stop()
{
    stopRequested_ = true;
}

bool SheetGenerator::AfterTile(RunTimer start, CanvasArea tile)
{
    host_.PaintPicture(host_.pic1(), PreviewLeft, PreviewTop, PreviewSize, PreviewSize, tile);
    host_.SetTimeCaption(std::to_string(Elapsed(host_.GetTickCount(), start)));
    host_.DoEvents();
    return !stopRequested_;
}
