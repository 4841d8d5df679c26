#pragma once

// Colour routines of the colour pick: split a colour value into its three
// channels, and write channels as a hexadecimal colour code. Pure functions;
// defined for every 32-bit input, negative values included (the window's
// pixel read hands over -1 where there is no pixel).

#include <cstdint>
#include <string>

namespace C2rgb {

// Style values of RGBCode; every other value gives the plain style.
inline constexpr int PlainStyle = 0;
inline constexpr int CommaStyle = 1;
inline constexpr int PrefixedStyle = 2;

// Splits a 0x00BBGGRR colour value into red, green and blue. Bits above bit 23
// are ignored; a negative value gives channels between -256 and 0.
void SplitRGB(std::int32_t value, std::int16_t &red, std::int16_t &green, std::int16_t &blue);

// A channel in upper-case hexadecimal without prefix or leading zeros; a
// negative channel is written as its 16-bit two's complement (-1 is "FFFF").
std::string Hex(std::int16_t channel);

// The colour code of three channels, red first: "RRGGBB" (plain),
// "RR,GG,BB" (comma) or "&&hRR,&&hGG,&&hBB" (prefixed). Each channel
// contributes its low 8 bits as two upper-case digits.
std::string RGBCode(std::int16_t red, std::int16_t green, std::int16_t blue, int style);

} // namespace C2rgb
