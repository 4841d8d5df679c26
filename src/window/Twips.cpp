#include "window/Twips.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {

namespace {

constexpr double PerInch = 1440;
// Where the widget is on no screen yet: 96 dots per inch.
constexpr double DefaultPerPixel = 15;

} // namespace

double PerPixelX(const QWidget &widget)
{
    const QScreen *screen = widget.screen();
    return screen ? PerInch / screen->logicalDotsPerInchX() : DefaultPerPixel;
}

double PerPixelY(const QWidget &widget)
{
    const QScreen *screen = widget.screen();
    return screen ? PerInch / screen->logicalDotsPerInchY() : DefaultPerPixel;
}

int ToPixelsX(const QWidget &widget, double twips)
{
    return static_cast<int>(std::lround(twips / PerPixelX(widget)));
}

int ToPixelsY(const QWidget &widget, double twips)
{
    return static_cast<int>(std::lround(twips / PerPixelY(widget)));
}

} // namespace Twips
