#include "generation/Sheets.h"
#include <algorithm>
#include <set>
namespace Sheets {
namespace {
constexpr std::array<int, 8> L2 = {0, 2, 4, 6, 9, 11, 13, 15};
constexpr std::array<int, 15> Levels15 = {0, 18, 36, 55, 73, 91, 109, 128, 146, 164, 182, 200, 219, 237, 255};
constexpr std::array<int, 9> Levels9 = {0, 32, 64, 96, 128, 160, 191, 223, 255};
}
ColorValue ColourAt(Mode m, int x, int y)
{
    const int mode = int(m);
    if (x < 0 || y < 0 || x >= Of(m).size || y >= Of(m).size) return -1;
    switch (mode) {
    case 0: return RGB(x % 256, y % 256, 16 * (x / 256) + y / 256);
    case 1: return RGB(2 * (y % 128), 2 * (x % 128), 32 * (x / 128) + 4 * (y / 128) + 3);
    case 2: return RGB(4 * (y % 64), 16 * L2[x / 64] + L2[y / 64], 4 * (x % 64));
    case 3: { const int level = 13 + 20 * (4 * (y / 64) + x / 64); return RGB(4 * (x % 64), std::min(level, 255), 4 * (y % 64)); }
    case 4: { static constexpr int red[2][2] = {{0, 192}, {128, 255}}; return RGB(red[y / 64][x / 64], 4 * (x % 64), 4 * (y % 64)); }
    case 5: return RGB(17 * (4 * (y / 16) + x / 16), 17 * (x % 16), 17 * (y % 16));
    case 6: return RGB(Levels9[3 * (y / 15) + x / 15], Levels15[x % 15], Levels15[y % 15]);
    case 7: return RGB(Levels9[3 * (y / 9) + x / 9], Levels9[x % 9], Levels9[y % 9]);
    }
    return -1;
}
std::vector<int> Levels(Mode mode, Channel channel)
{
    if (mode == Mode::Colours16Million) { std::vector<int> v(256); for (int i = 0; i < 256; ++i) v[i] = i; return v; }
    std::set<int> s;
    for (int y = 0; y < Of(mode).size; ++y) for (int x = 0; x < Of(mode).size; ++x) {
        const ColorValue c = ColourAt(mode, x, y);
        s.insert(channel == Channel::Red ? RedOf(c) : channel == Channel::Green ? GreenOf(c) : BlueOf(c));
    }
    return {s.begin(), s.end()};
}
}
