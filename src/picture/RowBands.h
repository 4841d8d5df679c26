#pragma once

// A picture's rows shared out among the processor's cores: each band is a
// run of whole rows, given to a thread of its own when there is enough work
// to pay for the threads. A thread that cannot be had is no failure: the
// calling thread draws that band itself, so every band is done exactly once
// and no thread is left running when an exception leaves.

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace RowBands {

// How many bands `rows` rows holding `pixels` pixels in all are cut into.
inline int Count(int rows, std::int64_t pixels)
{
    constexpr std::int64_t PixelsPerThread = 1 << 18;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    return int(std::clamp<std::int64_t>(pixels / PixelsPerThread, 1, std::min(cores, std::max(rows, 1))));
}

// Runs band(index, first row, end row) for each of `bands` bands of `rows`.
template <typename Band>
void Run(int rows, int bands, const Band &band)
{
    const auto bandOf = [&band, rows, bands](int i) {
        band(i, int(std::int64_t(rows) * i / bands), int(std::int64_t(rows) * (i + 1) / bands));
    };
    if (bands <= 1) {
        bandOf(0);
        return;
    }
    struct Joined
    {
        std::vector<std::thread> threads;
        ~Joined()
        {
            for (std::thread &thread : threads)
                if (thread.joinable())
                    thread.join();
        }
    } helpers;
    helpers.threads.reserve(std::size_t(bands - 1));
    for (int i = 1; i < bands; ++i) {
        try {
            helpers.threads.emplace_back(bandOf, i);
        } catch (const std::system_error &) {
            bandOf(i); // no thread to be had: this one does it
        }
    }
    bandOf(0);
}

// Runs band(first row, end row) over `rows` rows holding `pixels` pixels.
template <typename Band>
void ForRowBands(int rows, std::int64_t pixels, const Band &band)
{
    Run(rows, Count(rows, pixels), [&band](int, int first, int end) { band(first, end); });
}

} // namespace RowBands
