#include "FillLoops.h"

#include <cstddef>

namespace {

constexpr std::size_t Side = 4096;

// Tells the compiler that memory may be read here: the stores before it must
// all happen, and it may not move stores across it. Where a layout runs
// AfterTile, an opaque call that does the same.
inline void memoryBarrier()
{
    asm volatile("" : : : "memory");
}

} // namespace

// Both kept out of line so the caller cannot see through them.
__attribute__((noinline)) void fillLimit16Million(std::uint32_t *pixels)
{
    for (std::uint32_t a = 0; a < 16; ++a) {
        for (std::uint32_t b = 0; b < 16; ++b) {
            const std::uint32_t blue = 16 * a + b;
            for (std::uint32_t v = 0; v < 256; ++v) {
                std::uint32_t *row = pixels + (256 * b + v) * Side + 256 * a;
                for (std::uint32_t u = 0; u < 256; ++u)
                    row[u] = 0xFF000000u | u << 16 | v << 8 | blue;
            }
            memoryBarrier();
        }
    }
}

// The barrier after each 256-pixel column of a tile costs no instruction; it
// keeps the compiler from swapping the u and v loops (GCC does at -O3, and
// then writes rows with vector stores: fast, but no longer this order).
__attribute__((noinline)) void columnOrder16Million(std::uint32_t *pixels)
{
    for (std::uint32_t a = 0; a < 16; ++a) {
        for (std::uint32_t b = 0; b < 16; ++b) {
            const std::uint32_t blue = 16 * a + b;
            for (std::uint32_t u = 0; u < 256; ++u) {
                for (std::uint32_t v = 0; v < 256; ++v)
                    pixels[(256 * b + v) * Side + (256 * a + u)] = 0xFF000000u | u << 16 | v << 8 | blue;
                memoryBarrier();
            }
        }
    }
}
