// Tintwell speed table.
//
//   cmake --preset release && cmake --build --preset release --target tintwell_bench && ./build/release/bench/tintwell_bench
//
// Rows: a complete Start() of every mode through a window that does nothing,
// then the bare loop that writes the 16million picture into a raw buffer in
// the same order (the speed limit), and the canvas clear that every Start()
// does first. Each figure is the median of single timed runs after one
// untimed warm-up run; a row runs at least 7 times and for about 0.3 s.
// The machine's load matters: compare figures from the same session only.

#include "BareLoop.h"
#include "BenchHost.h"
#include "Measure.h"
#include "generation/SheetGenerator.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double RowSeconds = 0.3;
constexpr int MinimumRuns = 7;
constexpr int Side16Million = 4096;

} // namespace

int main()
{
    std::printf("Tintwell benchmark (load average before: %s)\n\n", loadAverage().c_str());

    BenchHost host;
    SheetGenerator generator(host);
    std::vector<Measurement> rows;

    const auto runMode = [&](int mode) {
        host.mode = mode;
        return measureFor(std::string(SheetGenerator::ModeNames[static_cast<std::size_t>(mode)]), RowSeconds,
                          MinimumRuns, [&] { generator.Start(); });
    };

    // 16million first: its picture stays on the canvas for the comparison below.
    rows.push_back(runMode(0));
    const Measurement &layout16Million = rows.front();

    std::vector<std::uint32_t> bare(static_cast<std::size_t>(Side16Million) * Side16Million, 0u);
    const Measurement bareLoop =
        measureFor("bare loop (16million order)", RowSeconds, MinimumRuns, [&] { bareLoop16Million(bare.data()); });

    const bool samePixels = host.canvas.width() == Side16Million && host.canvas.height() == Side16Million
                            && std::memcmp(host.canvas.bits(), bare.data(), bare.size() * sizeof bare[0]) == 0;

    const Measurement clear =
        measureFor("canvas clear 4096x4096", RowSeconds, MinimumRuns, [&] { host.canvas.clear(); });

    for (int mode = 1; mode < SheetGenerator::ModeCount; ++mode)
        rows.push_back(runMode(mode));
    rows.push_back(bareLoop);
    rows.push_back(clear);

    printTable(rows);

    const double ratio = layout16Million.medianMs / bareLoop.medianMs;
    const double ratioWithoutClear = (layout16Million.medianMs - clear.medianMs) / bareLoop.medianMs;
    std::printf("\n16million layout / bare loop: %.2fx (target <= 1.30x: %s)\n", ratio,
                ratio <= 1.3 ? "met" : "MISSED");
    std::printf("(16million - canvas clear) / bare loop: %.2fx\n", ratioWithoutClear);
    std::printf("16million pixels identical to the bare loop's: %s\n", samePixels ? "yes" : "NO");
    std::printf("load average after: %s\n", loadAverage().c_str());

    if (host.canvasUnavailable || !samePixels) {
        std::fprintf(stderr, "tintwell_bench: the runs did not draw what the bare loop draws\n");
        return 1;
    }
    return 0;
}
