#pragma once
// TEMPORARY stand-in (uncommitted) for the coordinator's table of sheets.
#include "generation/ColorValue.h"
#include <array>
#include <optional>
#include <string_view>
#include <vector>
#include <cstdint>
enum class Mode { Colours16Million, Colours1Million, Colours256Kilo, Colours64Kilo, Colours16Kilo, Colours4096, Colours2025, Colours729 };
enum class Channel { Red, Green, Blue };
struct Sheet { Mode mode; std::string_view name; int size; int tile; };
namespace Sheets {
inline constexpr int Count = 8;
inline constexpr std::array<Sheet, Count> All = {{{Mode::Colours16Million, "16million", 4096, 256}, {Mode::Colours1Million, "1million", 1024, 128},
 {Mode::Colours256Kilo, "256killo", 512, 64}, {Mode::Colours64Kilo, "64kilo", 256, 64}, {Mode::Colours16Kilo, "16kilo", 128, 64},
 {Mode::Colours4096, "4096", 64, 16}, {Mode::Colours2025, "2025", 45, 15}, {Mode::Colours729, "729", 27, 9}}};
constexpr int Index(Mode mode) { return int(mode); }
constexpr const Sheet &Of(Mode mode) { return All[std::size_t(mode)]; }
inline std::optional<Mode> ModeAt(int index) { if (index < 0 || index > 7) return std::nullopt; return Mode(index); }
ColorValue ColourAt(Mode mode, int x, int y);
std::vector<int> Levels(Mode mode, Channel channel);
}
