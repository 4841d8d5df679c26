#include "sheet/SheetHost.h"

#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"

#include <QImage>

bool SheetHost::Draw(int mode)
{
    mode_ = mode;
    SheetGenerator generator(*this);
    generator.Start();
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

void SheetHost::TileDone(CanvasArea tile, std::int32_t)
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
