#pragma once

// A pixel of a 32-bit picture as Qt keeps it (0xAARRGGBB, a QRgb) read
// channel by channel: 0 red, 1 green, 2 blue.

#include <cstdint>

constexpr int channelOf(std::uint32_t pixel, int channel)
{
    return int(pixel >> (16 - 8 * channel)) & 0xFF;
}
