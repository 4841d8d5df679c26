#include "sheet/SheetHost.h"

#include "generation/SheetGenerator.h"

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
    return QImage(reinterpret_cast<const uchar *>(canvas_.bits()), canvas_.width(), canvas_.height(),
                  static_cast<qsizetype>(canvas_.bytesPerLine()), QImage::Format_RGB32);
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
