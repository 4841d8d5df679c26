#include "sheet/SheetHost.h"

#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"

#include <QImage>

bool SheetHost::Draw(int mode)
{
    SheetGenerator generator(*this);
    // Nobody watches the time here: the clock stands still.
    generator.Start({canvas_, mode, [] { return RunTimer(0); }});
    return !unavailable_;
}

QImage SheetHost::image() const
{
    return CanvasImage(canvas_);
}

void SheetHost::RunStarted()
{
    firstTile_ = {};
    tileCount_ = 0;
    unavailable_ = false;
}

void SheetHost::TileDrawn(CanvasArea tile)
{
    if (tileCount_ == 0)
        firstTile_ = tile;
    ++tileCount_;
}

void SheetHost::CanvasUnavailable(int width, int height)
{
    unavailable_ = true;
    unavailableWidth_ = width;
    unavailableHeight_ = height;
}
