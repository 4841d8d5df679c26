#include "census/ColourSet.h"

#include <bit>

namespace {

constexpr std::size_t Words = (std::size_t(1) << 24) / 64;

} // namespace

ColourSet::ColourSet()
    : words_(Words, 0)
{
}

void ColourSet::insertAll(const std::uint32_t *pixels, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        insert(pixels[i]);
}

std::size_t ColourSet::count() const
{
    std::size_t total = 0;
    for (const std::uint64_t word : words_)
        total += std::size_t(std::popcount(word));
    return total;
}

std::size_t ColourSet::countMissingFrom(const ColourSet &other) const
{
    std::size_t total = 0;
    for (std::size_t i = 0; i < Words; ++i)
        total += std::size_t(std::popcount(words_[i] & ~other.words_[i]));
    return total;
}
