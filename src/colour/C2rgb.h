#pragma once

// Colour routines of the colour pick: split a colour value into its three
// channels, and write channels as a hexadecimal colour code. Pure functions;
// defined for every 32-bit input, negative values included (the window's
// pixel read hands over -1 where there is no pixel).

#include <cstdint>
#include <string>

namespace C2rgb {

// The forms of RGBCode. A style value outside these (an integer cast to the
// type) gives the plain form.
enum class CodeStyle {
    Plain = 0,    // RRGGBB
    Comma = 1,    // RR,GG,BB
    Prefixed = 2, // &&hRR,&&hGG,&&hBB
};

// Splits a 0x00BBGGRR colour value into red, green and blue. Bits above bit 23
// are ignored; a negative value gives channels between -256 and 0.
void SplitRGB(std::int32_t value, std::int16_t &red, std::int16_t &green, std::int16_t &blue);

// A channel in upper-case hexadecimal without prefix or leading zeros; a
// negative channel is written as its 16-bit two's complement (-1 is "FFFF").
std::string Hex(std::int16_t channel);

// The colour code of three channels, red first: "RRGGBB" (plain),
// "RR,GG,BB" (comma) or "&&hRR,&&hGG,&&hBB" (prefixed). Each channel
// contributes its low 8 bits as two upper-case digits.
std::string RGBCode(std::int16_t red, std::int16_t green, std::int16_t blue, CodeStyle style);

} // namespace C2rgb
