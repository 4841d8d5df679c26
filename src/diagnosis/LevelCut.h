#pragma once

// A channel cut to fewer bits, and telling from the values a picture takes
// how many bits each channel kept. The kept levels lie on 0 to 255 in one of
// four ways: rounded, truncated (as some writers do), with the top bits
// repeated below (as hardware does), or only shifted.

#include <QImage>

#include <array>
#include <bitset>

namespace LevelCut {

// Which values a channel takes.
using LevelSet = std::bitset<256>;

inline constexpr int Spreads = 4;

// The level `k` of `bits` bits, spread over 0 to 255 in the way `spread` (0 to 3) says.
int SpreadLevel(int k, int bits, int spread);

// A level cut to `bits` bits: the nearest of the kept levels.
double Cut(double level, int bits, int spread = 0);

// Which values each channel takes over a whole RGB32 picture.
std::array<LevelSet, 3> LevelsOf(const QImage &picture);

struct Kept
{
    int bits = 8;
    int spread = 0;
};

// The bits a channel keeps, and how its levels are spread: the fewest whose
// grid holds every value the capture takes and not every level of the sheet,
// or whose count of values the capture stays within while the sheet's
// exceeds it; 8 when none does.
Kept BitsOf(const LevelSet &captured, const LevelSet &sheet);

} // namespace LevelCut
