#include "BareLoop.h"

#include <cstddef>

namespace {

// Tells the compiler that memory may be read here: the stores before it must
// all happen, and it may not move stores across it.
inline void memoryBarrier()
{
    asm volatile("" : : : "memory");
}

} // namespace

// Kept out of line so the caller cannot see through it. The barrier after each
// 256-pixel column of a tile costs no instruction; it keeps the compiler from
// swapping the u and v loops (GCC does at -O3, and then writes rows with
// vector stores: fast, but no longer the layout's order) and from dropping
// stores it would otherwise find unread.
__attribute__((noinline)) void bareLoop16Million(std::uint32_t *pixels)
{
    for (std::uint32_t a = 0; a < 16; ++a) {
        for (std::uint32_t b = 0; b < 16; ++b) {
            const std::uint32_t blue = 16 * a + b;
            for (std::uint32_t u = 0; u < 256; ++u) {
                for (std::uint32_t v = 0; v < 256; ++v)
                    pixels[std::size_t{256 * b + v} * 4096 + (256 * a + u)] = 0xFF000000u | u << 16 | v << 8 | blue;
                memoryBarrier();
            }
        }
    }
}
