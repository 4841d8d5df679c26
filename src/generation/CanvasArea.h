#pragma once

// A rectangle of canvas pixels.
struct CanvasArea
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const CanvasArea &, const CanvasArea &) = default;
};
