#pragma once

// What a generation run needs of the window that hosts it. The main window
// implements it; the tests implement it in memory.

#include "RunTimer.h"

#include <string>

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

    // The selected index of `Combo1`, -1 when nothing is selected.
    virtual int SelectedMode() const = 0;

    // The screen's twips per pixel, and the window's outer size in twips.
    virtual double TwipsPerPixelX() const = 0;
    virtual double TwipsPerPixelY() const = 0;
    virtual void SetOuterWidth(double twips) = 0;
    virtual void SetOuterHeight(double twips) = 0;

    // Off during a run: the preview goes straight to the screen. On again for
    // the final preview, which the window keeps as its persistent image.
    virtual void SetPersistentDrawing(bool on) = 0;

    // The caption of the time label `Label1`.
    virtual void SetTimeCaption(const std::string &text) = 0;

    // Paints the whole canvas scaled into a rectangle of the window (pixels).
    // `changed` is the part of the canvas written since the last paint, as
    // far as the run knows; a window that still shows the rest may redraw
    // just that part. A clear or resize of the canvas voids the hint.
    virtual void PaintPicture(const Canvas &source, int x, int y, int width, int height, CanvasArea changed) = 0;

    // The millisecond tick counter.
    virtual RunTimer GetTickCount() = 0;

    // Handles all pending window events, then returns.
    virtual void DoEvents() = 0;

    virtual void Beep() = 0;

    // The canvas could not be given the size width x height; the run of the
    // selected mode has ended without drawing.
    virtual void CanvasUnavailable(int width, int height) = 0;
};
