#pragma once

// The window design's unit: a twip is 1/1440 inch. How many make a pixel
// depends on the screen the window is on (15 at 96 dots per inch).

class QWidget;

namespace Twips {

double PerPixelX(const QWidget &widget);
double PerPixelY(const QWidget &widget);

// Twips in whole pixels of the widget's screen, rounded to the nearest.
int ToPixelsX(const QWidget &widget, double twips);
int ToPixelsY(const QWidget &widget, double twips);

} // namespace Twips
