#include "generation/LevelTables.h"

#include <cmath>
#include <cstddef>

namespace LevelTables {

std::int32_t RoundToEven(double value)
{
    // nearbyint rounds in the current mode, which is round-to-nearest-even
    // unless someone changed it; the program never does.
    return static_cast<std::int32_t>(std::nearbyint(value));
}

std::array<std::int32_t, 8> L1()
{
    std::array<std::int32_t, 8> levels{};
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = 2 * static_cast<std::int32_t>(k);
    return levels;
}

std::array<std::int32_t, 8> L2()
{
    std::array<std::int32_t, 8> levels{};
    const double step = 15.0 / 7.0;
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = RoundToEven(step * static_cast<double>(k));
    return levels;
}

std::array<std::int32_t, 4> L3()
{
    std::array<std::int32_t, 4> levels{};
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = RoundToEven(15.0 * static_cast<double>(k) / 3.0);
    return levels;
}

std::array<std::int32_t, 4> Levels4()
{
    return {0, 128, 192, 255};
}

std::array<std::int32_t, 9> Levels9()
{
    std::array<std::int32_t, 9> levels{};
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = RoundToEven(static_cast<double>(k) * 31.9);
    return levels;
}

std::array<std::int32_t, 15> Levels15()
{
    std::array<std::int32_t, 15> levels{};
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = RoundToEven(static_cast<double>(k) * 18.22);
    return levels;
}

} // namespace LevelTables
