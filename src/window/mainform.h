#pragma once

// The program's one window. It owns the canvas `pic1`, the generator with
// its stop flag, and the controls of its design; the preview shows the
// canvas. A run reports to the window through a small observer object, and the
// window decides what each report means on screen: its size, the preview,
// the time caption, the beep. The colour pick, Save and the link are the
// window's own handlers. The full-size view of the sheet is a second window
// the main window opens and closes; its picks come back to the window's own
// pick.
//
// Another view of the canvas follows a run through the signals: runStarted,
// canvasChanged for every tile drawn (the whole canvas once it was cleared or
// resized), runEnded.

#include "generation/Canvas.h"
#include "generation/SheetGenerator.h"
#include "platform/CommonDialog.h"
#include "window/FormDesign.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class OuterSize;
struct Sheet;
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

    // Opens a capture in the full-size view, beside the window; false (after
    // a message naming the file and the reason) when it cannot be read. A
    // window not shown yet is shown first, at the screen's left edge, with
    // the view to its right.
    bool OpenCapture(const QString &fileName);

signals:
    // A run begins (a nested one too); the canvas is emptied right after.
    void runStarted();
    // `area` of the canvas (canvas pixels) holds new pixels: a tile drawn, or
    // the whole canvas after it was cleared or resized.
    void canvasChanged(const QRect &area);
    // A run is over, complete, stopped or without a canvas.
    void runEnded();

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
    // The keyboard: Enter on the buttons and the window's shortcuts (F5
    // Start, Esc Stop, Ctrl+S Save, Ctrl+Q and Ctrl+W close).
    void setUpKeys();

    // The sheet whose run last sized the canvas; none before any run.
    const Sheet *CanvasSheet() const;

    // Shows a picked colour in the RGBc labels and the swatch and copies its
    // code; -1 is no colour. The window's right click and the view's picks
    // both come here.
    void ShowPick(ColorValue colour);

    // Opens the view, or raises it, at the given zoom.
    enum class ViewZoom { Keep, Fit, Actual };
    void OpenView(ViewZoom zoom);
    void MakeView();

    // The selected index of Combo1, -1 when nothing is selected.
    int SelectedMode() const;
    // Tells the other views that `tile` of the canvas changed, or all of it
    // when it was cleared or resized since they last heard.
    void announceChange(CanvasArea tile);

    // What a run's reports mean on screen.
    void RunStarted();
    void TileDrawn(CanvasArea tile);
    void TimeSoFar(std::int32_t elapsedMs);
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
    // The canvas's content epoch as of the last canvasChanged.
    std::uint64_t announcedEpoch_ = 0;
    // Closed during a run: the run unwinds without a beep.
    bool closing_ = false;
};
