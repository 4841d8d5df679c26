#pragma once

// The channel levels of the layouts. Real products are formed in double
// precision and turned into integers by rounding to the nearest, a tie going
// to the even integer: 5 x 31.9 is exactly 159.5 as a double, so Levels9[5]
// is 160. The tables are worked out when the program is compiled.

#include <array>
#include <cstddef>
#include <cstdint>

namespace LevelTables {

// Nearest integer, ties to even.
constexpr std::int32_t RoundToEven(double value)
{
    if (value < 0)
        return -RoundToEven(-value);
    const auto whole = static_cast<std::int64_t>(value);
    const double fraction = value - static_cast<double>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && whole % 2 != 0))
        return static_cast<std::int32_t>(whole + 1);
    return static_cast<std::int32_t>(whole);
}

namespace Detail {
template <std::size_t N, typename Level>
constexpr std::array<std::int32_t, N> Table(Level level)
{
    std::array<std::int32_t, N> levels{};
    for (std::size_t k = 0; k < N; ++k)
        levels[k] = level(static_cast<double>(k));
    return levels;
}
} // namespace Detail

// "1million": 2k
inline constexpr auto L1 = Detail::Table<8>([](double k) { return RoundToEven(2 * k); });
// "256killo": (15 / 7) k
inline constexpr auto L2 = Detail::Table<8>([](double k) { return RoundToEven(15.0 / 7.0 * k); });
// "64kilo": 15k / 3
inline constexpr auto L3 = Detail::Table<4>([](double k) { return RoundToEven(15.0 * k / 3.0); });
// "16kilo" red
inline constexpr std::array<std::int32_t, 4> Levels4 = {0, 128, 192, 255};
// k x 31.9
inline constexpr auto Levels9 = Detail::Table<9>([](double k) { return RoundToEven(k * 31.9); });
// k x 18.22
inline constexpr auto Levels15 = Detail::Table<15>([](double k) { return RoundToEven(k * 18.22); });

} // namespace LevelTables
