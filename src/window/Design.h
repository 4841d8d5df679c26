#pragma once

// The window's design: every control's place and size in twips (1/1440 inch),
// turned into pixels through the screen's twips per pixel. At 96 dots per inch
// there are 15 twips to the pixel.

#include <array>

namespace Design {

struct Box
{
    int left;
    int top;
    int width;
    int height;
};

struct Line
{
    int x1;
    int y1;
    int x2;
    int y2;
    int thicknessPixels;
};

// The client area of the design.
inline constexpr int ClientWidth = 4215;
inline constexpr int ClientHeight = 780;

inline constexpr Box Command1 = {120, 60, 375, 375};   // Start
inline constexpr Box Command3 = {495, 60, 375, 375};   // Stop
inline constexpr Box Command2 = {1080, 60, 375, 375};  // Save
inline constexpr Box Label1 = {1521, 0, 689, 260};     // time
inline constexpr Box Label2 = {1680, 240, 495, 255};   // "mSec"
inline constexpr Box Combo1 = {2223, 60, 1066, 300};   // mode list
inline constexpr Box Label4 = {2808, 351, 494, 208};   // colour swatch
inline constexpr Box Label3 = {120, 510, 4215, 240};   // web page link
inline constexpr std::array<Box, 3> RGBc = {{
    {3360, 0, 255, 180},    // red
    {3360, 180, 255, 180},  // green
    {3360, 360, 255, 180},  // blue
}};
inline constexpr std::array<Line, 2> Line1 = {{
    {60, 765, 3600, 765, 2}, // shadow
    {60, 720, 3600, 720, 1}, // highlight
}};

// The preview: where the window shows the whole canvas, in window pixels.
inline constexpr int PreviewLeft = 2;
inline constexpr int PreviewTop = 56;
inline constexpr int PreviewSize = 256;

// During a run the window keeps room for the whole preview and a margin as
// wide as the one on its left, whatever frame the window manager draws.
inline constexpr int LeastRunClientWidth = PreviewLeft + PreviewSize + PreviewLeft;
inline constexpr int LeastRunClientHeight = PreviewTop + PreviewSize + PreviewLeft;

// The window's outer width from start-up on, in pixels; during and after a
// run its outer height is 256 pixels plus 1200 twips.
inline constexpr int OuterWidthPixels = 270;
inline constexpr int RunHeightPixels = 256;
inline constexpr double RunExtraHeightTwips = 1200;

// Pictures on the buttons, in pixels.
inline constexpr int RunPictureSize = 24;
inline constexpr int SavePictureSize = 16;

// Fonts, in points.
inline constexpr double NormalPointSize = 9;
inline constexpr double TimePointSize = 12;
inline constexpr double LinkPointSize = 9.75;

// Label colours that are not the platform's defaults (0x00BBGGRR).
inline constexpr int RedChannelBack = 0x000000FF;
inline constexpr int RedChannelText = 0x00400040;
inline constexpr int GreenChannelBack = 0x0000FF00;
inline constexpr int BlueChannelBack = 0x00FF0000;
inline constexpr int BlueChannelText = 0x00FFFFFF;

} // namespace Design
