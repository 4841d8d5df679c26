#pragma once

// The program's one window. It owns the canvas `pic1`, the stop flag (in its
// generator) and its drawing surface, the image that holds everything the
// window has painted (the preview), which paintEvent only blits. The
// generator reaches the window through GenerationHost; the colour pick,
// Save and the link are the window's own handlers.

#include "generation/Canvas.h"
#include "platform/CommonDialog.h"
#include "generation/GenerationHost.h"
#include "generation/SheetGenerator.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <optional>

class LinkLabel;
class QComboBox;
class QLabel;
class QPushButton;

class mainform : public QWidget, public GenerationHost
{
    Q_OBJECT

public:
    explicit mainform(QWidget *parent = nullptr);
    ~mainform() override;

    // Runs once before the window is first shown: selects the first mode and
    // makes the window 270 pixels wide.
    void Form_Load();

    // The colour of the window's drawing surface at (x, y) in window pixels,
    // or -1 where the window has no pixel.
    ColorValue Point(double x, double y) const;

    const SheetGenerator &generator() const { return generator_; }

    // GenerationHost
    Canvas &pic1() override { return canvas_; }
    int SelectedMode() const override;
    RunTimer GetTickCount() override;
    void RunStarted() override;
    void TileDone(CanvasArea tile, std::int32_t elapsedMs) override;
    void DoEvents() override;
    void RunEnded(std::int32_t totalMs) override;
    void CanvasUnavailable(int width, int height) override;

    double TwipsPerPixelX() const;
    double TwipsPerPixelY() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void createControls();
    void placeControls();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Label3_Click();
    void Form_MouseUp(int button, int shift, double x, double y);

    void SetOuterWidth(double twips);
    void SetOuterHeight(double twips);
    void SetPersistentDrawing(bool on);
    void SetTimeCaption(const QString &text);
    void PaintPicture(const Canvas &source, int x, int y, int width, int height, CanvasArea changed);
    void Beep();

    int toPixelsX(double twips) const;
    int toPixelsY(double twips) const;
    // Grows (or re-scales) the drawing surface to cover the whole window.
    void ensureSurface();
    // Sizes the window so that its outer size, frame included, is the one
    // last asked for. The frame is known only once the window is shown, so
    // this runs again then.
    void applyOuterSize();

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    LinkLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    std::array<QLabel *, 3> RGBc = {};
    std::array<QWidget *, 2> Line1 = {};
    CommonDialog CommonDialog1;

    Canvas canvas_;
    SheetGenerator generator_{*this};
    QImage surface_;
    // What the surface's preview shows: which canvas, as of which content
    // epoch, in which device rectangle.
    struct PaintedPreview
    {
        const Canvas *canvas;
        std::uint64_t epoch;
        QRect target;
    };
    std::optional<PaintedPreview> lastPreview_;
    std::optional<double> outerWidthTwips_;
    std::optional<double> outerHeightTwips_;
    bool persistentDrawing_ = true;
    bool closing_ = false;
};
