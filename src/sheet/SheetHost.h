#pragma once

// Draws a mode's sheet in memory through the same generation run the window
// uses, with nothing on screen and no clock, and remembers what the run
// reported: the canvas it sized and drew, the tiles it finished, whether the
// canvas could be had. A mode's size and tile size are read from here, never from a table
// of our own.

#include "generation/Canvas.h"
#include "generation/RunObserver.h"

class QImage;

class SheetHost : public RunObserver
{
public:
    // A complete run of `mode` (0 to 7). False when the canvas could not be
    // given the mode's size (not enough memory).
    bool Draw(int mode);

    const Canvas &canvas() const { return canvas_; }
    // The canvas as an image, sharing its pixels: valid while the host lives
    // and draws nothing else.
    QImage image() const;

    // The first tile the run finished, and how many it finished.
    CanvasArea firstTile() const { return firstTile_; }
    int tileCount() const { return tileCount_; }

    // The size the run asked for when the canvas could not be had.
    int unavailableWidth() const { return unavailableWidth_; }
    int unavailableHeight() const { return unavailableHeight_; }

    void RunStarted() override;
    void TileDrawn(CanvasArea tile) override;
    void CanvasUnavailable(int width, int height) override;

private:
    Canvas canvas_;
    CanvasArea firstTile_;
    int tileCount_ = 0;
    int unavailableWidth_ = 0;
    int unavailableHeight_ = 0;
    bool unavailable_ = false;
};
