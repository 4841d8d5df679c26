#include "colour/C2rgb.h"

namespace C2rgb {

namespace {

// Quotient rounded towards minus infinity (C++ division truncates).
constexpr std::int32_t floorDiv(std::int32_t numerator, std::int32_t denominator)
{
    const std::int32_t quotient = numerator / denominator;
    return (numerator % denominator != 0 && numerator < 0) ? quotient - 1 : quotient;
}

// The channel's hexadecimal text with a "0" in front, cut to its last two
// characters: always the low 8 bits as two digits.
std::string twoDigits(std::int16_t channel)
{
    std::string digits(1, '0');
    digits += Hex(channel);
    return digits.substr(digits.size() - 2);
}

} // namespace

void SplitRGB(std::int32_t value, std::int16_t &red, std::int16_t &green, std::int16_t &blue)
{
    // C++ remainders take the sign of the dividend, so -1 stays -1 and
    // INT32_MIN becomes 0 without any overflow.
    const std::int32_t v = value % 16'777'216;
    red = static_cast<std::int16_t>(v % 256);
    green = static_cast<std::int16_t>(floorDiv(v % 65'536, 256));
    blue = static_cast<std::int16_t>(floorDiv(v, 65'536));
}

std::string Hex(std::int16_t channel)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint16_t>(channel);
    char text[4];
    std::size_t first = sizeof text;
    do {
        text[--first] = digits[bits & 0xF];
        bits = static_cast<std::uint16_t>(bits >> 4);
    } while (bits != 0);
    return std::string(text + first, sizeof text - first);
}

std::string RGBCode(std::int16_t red, std::int16_t green, std::int16_t blue, CodeStyle style)
{
    const std::string rr = twoDigits(red);
    const std::string gg = twoDigits(green);
    const std::string bb = twoDigits(blue);

    // Built by appending: GCC 12 warns falsely about literal + string.
    std::string code;
    if (style == CodeStyle::Comma) {
        code.append(rr).append(",").append(gg).append(",").append(bb);
    } else if (style == CodeStyle::Prefixed) {
        code.append("&&h").append(rr).append(",&&h").append(gg).append(",&&h").append(bb);
    } else {
        code.append(rr).append(gg).append(bb);
    }
    return code;
}

} // namespace C2rgb
