#pragma once

// A colour as the program passes it around: 0x00BBGGRR in a 32-bit signed
// integer, red in the low byte. The canvas stores pixels in the 32-bit
// 0xFFRRGGBB form that the window blits without conversion.

#include <algorithm>
#include <cstdint>

using ColorValue = std::int32_t;

// Packs three components into a ColorValue, clamping each to 0..255: a
// component above 255 counts as 255, one below 0 as 0. The layouts rely on
// this ("64kilo" reaches 313) and leave the clamping to it.
constexpr ColorValue RGB(int red, int green, int blue)
{
    const auto clamp = [](int component) { return std::clamp(component, 0, 255); };
    return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

constexpr int RedOf(ColorValue colour) { return colour & 0xFF; }
constexpr int GreenOf(ColorValue colour) { return (colour >> 8) & 0xFF; }
constexpr int BlueOf(ColorValue colour) { return (colour >> 16) & 0xFF; }

// 0x00BBGGRR -> opaque 0xFFRRGGBB.
constexpr std::uint32_t ToRgb32(ColorValue colour)
{
    const auto c = static_cast<std::uint32_t>(colour);
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// 0xAARRGGBB -> 0x00BBGGRR; the alpha byte is dropped.
constexpr ColorValue FromRgb32(std::uint32_t pixel)
{
    return static_cast<ColorValue>(((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu));
}
