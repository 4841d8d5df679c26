#pragma once

// A set of 24-bit colours as one bit per colour: 2^24 bits, 2 MB, whatever
// the picture. A colour's bit interleaves the bits of its three channels, so
// that neighbouring pixels of a smooth picture, whichever channel changes
// from one to the next, find their bits close together in memory: a row of
// the "16million" sheet then stays in the cache instead of touching a new
// cache line every pixel (more than three times faster).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class ColourSet
{
public:
    ColourSet();

    // The colour is the low 24 bits of `rgb` (0x??RRGGBB); the top byte is ignored.
    void insert(std::uint32_t rgb)
    {
        const std::uint32_t bit = bitOf(rgb);
        words_[bit >> 6] |= std::uint64_t(1) << (bit & 63u);
    }

    bool contains(std::uint32_t rgb) const
    {
        const std::uint32_t bit = bitOf(rgb);
        return (words_[bit >> 6] >> (bit & 63u)) & 1u;
    }

    // Adds `count` pixels of 0x??RRGGBB.
    void insertAll(const std::uint32_t *pixels, std::size_t count);

    std::size_t count() const;
    // How many colours of this set the other one lacks.
    std::size_t countMissingFrom(const ColourSet &other) const;

private:
    // Spread[v]: the eight bits of v moved to bits 0, 3, 6, ... 21.
    static constexpr std::array<std::uint32_t, 256> Spread = [] {
        std::array<std::uint32_t, 256> table {};
        for (std::uint32_t value = 0; value < 256; ++value)
            for (std::uint32_t bit = 0; bit < 8; ++bit)
                table[value] |= ((value >> bit) & 1u) << (3 * bit);
        return table;
    }();

    static std::uint32_t bitOf(std::uint32_t rgb)
    {
        return Spread[(rgb >> 16) & 0xFFu] | Spread[(rgb >> 8) & 0xFFu] << 1 | Spread[rgb & 0xFFu] << 2;
    }

    std::vector<std::uint64_t> words_;
};
