#pragma once

// The program's one window. It owns the canvas `pic1`, the generator with
// its stop flag, and the controls of its design; the preview shows the
// canvas. A run reports to the window through a small host object, and the
// window decides what each report means on screen: its size, the preview,
// the time caption, the beep. The colour pick, Save and the link are the
// window's own handlers. The full-size view of the sheet is a second window
// the main window opens, feeds and closes; its picks come back to the
// window's own pick.

#include "generation/Canvas.h"
#include "generation/SheetGenerator.h"
#include "platform/CommonDialog.h"
#include "window/FormDesign.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class OuterSize;
class Preview;
class SheetView;

class mainform : public QWidget
{
    Q_OBJECT

public:
    explicit mainform(QWidget *parent = nullptr);
    ~mainform() override;

    // Runs once before the window is first shown: selects the first mode and
    // makes the window 270 pixels wide.
    void Form_Load();

    // The colour of the window's surface, as it shows it, at (x, y) in
    // window pixels: the preview, or the window's background around it; -1
    // where the window has no pixel.
    ColorValue Point(double x, double y) const;

    Canvas &pic1() { return canvas_; }
    const Canvas &pic1() const { return canvas_; }
    // The selected index of Combo1, -1 when nothing is selected.
    int SelectedMode() const;
    const SheetGenerator &generator() const { return generator_; }
    // What the generator reports to; a benchmark replays a run's reports here.
    GenerationHost &runHost();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class RunHost;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Label3_Click();
    void Form_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    // Shows a picked colour in the RGBc labels and the swatch and copies its
    // code; -1 is no colour. The window's right click and the view's picks
    // both come here.
    void ShowPick(ColorValue colour);

    // Opens the view, or raises it, at the given zoom.
    enum class ViewZoom { Keep, Fit, Actual };
    void OpenView(ViewZoom zoom);

    // What a run's reports mean on screen.
    void RunStarted();
    void TileDone(CanvasArea tile, std::int32_t elapsedMs);
    void RunEnded(std::int32_t totalMs);
    void CanvasUnavailable(int width, int height);

    FormDesign ui;
    Preview *preview_ = nullptr;
    OuterSize *outerSize_ = nullptr;
    CommonDialog CommonDialog1;
    QPointer<SheetView> view_;

    Canvas canvas_;
    std::unique_ptr<RunHost> runHost_;
    SheetGenerator generator_;
    // Closed during a run: the run unwinds without a beep.
    bool closing_ = false;
};
