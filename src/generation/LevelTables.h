#pragma once

// The channel levels of the layouts. Real products are formed in double
// precision and turned into integers by rounding to the nearest, a tie going
// to the even integer: 5 x 31.9 is exactly 159.5 as a double, so Levels9[5]
// is 160.

#include <array>
#include <cstdint>

namespace LevelTables {

std::array<std::int32_t, 8> L1();       // "1million": 2k
std::array<std::int32_t, 8> L2();       // "256killo": (15 / 7) k
std::array<std::int32_t, 4> L3();       // "64kilo": 15k / 3
std::array<std::int32_t, 4> Levels4();  // "16kilo" red: 0, 128, 192, 255
std::array<std::int32_t, 9> Levels9();  // k x 31.9
std::array<std::int32_t, 15> Levels15(); // k x 18.22

// Nearest integer, ties to even.
std::int32_t RoundToEven(double value);

} // namespace LevelTables
