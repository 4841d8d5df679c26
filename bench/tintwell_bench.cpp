// Tintwell speed table.
//
//   cmake --preset release && cmake --build --preset release --target tintwell_bench && ./build/release/bench/tintwell_bench
//
// Rows: a complete Start() of every mode through a window that does nothing;
// for "16million" also its layout alone (from the reading just before the
// layout to the one just after it, the span the time label shows at the end
// of a run). Then the limits and references, taking turns with the
// "16million" runs so that all see the same machine:
//   - the fill limit: the same 16,777,216 values written tile by tile, each
//     tile row by row, into a raw buffer, with no bounds check and no calls;
//   - a memset of the 64 MB canvas, the speed of memory;
//   - the column-order loop: each tile written column by column, as the
//     layout did before it wrote in memory order;
//   - the canvas clear that every Start() does first;
//   - "16million" right after a "729" run, and right after another
//     "16million" run: the canvas keeps its memory, so the first costs no
//     more than the second.
// Each figure is the median of single timed runs after one untimed warm-up.
// The summary lines at the end have a fixed form for scripts:
//   16million layout / fill limit: R.RRx
//   16million after 729 / 16million again: R.RRx
// The machine's load matters: compare figures from the same session only.

#include "BenchHost.h"
#include "FillLoops.h"
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
constexpr int RoundsOf16Million = 15;
constexpr int Side16Million = 4096;
constexpr int Mode16Million = 0;
constexpr int Mode729 = 7;

constexpr double LayoutTarget = 1.3;
constexpr double AfterSmallTarget = 1.15;

const char *verdict(double ratio, double target)
{
    return ratio <= target ? "met" : "MISSED";
}

} // namespace

int main()
{
    std::printf("Tintwell benchmark (load average before: %s)\n\n", loadAverage().c_str());

    BenchHost host;
    SheetGenerator generator(host);
    const auto start = [&](int mode) {
        host.mode = mode;
        generator.Start(host.inputs());
    };

    const std::size_t pixels = static_cast<std::size_t>(Side16Million) * Side16Million;
    // The limits write raw buffers of the canvas's own kind of memory (2 MB
    // pages where the system has them), so they differ from a run only in
    // what is written.
    Canvas fill;
    Canvas columns;
    fill.setSize(Side16Million, Side16Million);
    columns.setSize(Side16Million, Side16Million);
    std::vector<double> layoutTimes;

    const std::vector<Measurement> turns = measureInTurns(
        {
            {"16million after 729", [&] { start(Mode16Million); }, [&] { start(Mode729); }},
            {"16million", [&] {
                 start(Mode16Million);
                 layoutTimes.push_back(host.layoutMs);
             }},
            {"fill limit (16million, rows)", [&] { fillLimit16Million(fill.scanLine(0)); }},
            {"memset 4096x4096 canvas",
             [&] { std::memset(host.canvas.scanLine(0), 0, pixels * sizeof(std::uint32_t)); }},
            {"column-order loop (16million)", [&] { columnOrder16Million(columns.scanLine(0)); }},
            {"canvas clear 4096x4096", [&] { host.canvas.clear(); }},
        },
        RoundsOf16Million);
    const Measurement &after729 = turns[0];
    const Measurement &again = turns[1];
    const Measurement &fillLimit = turns[2];
    layoutTimes.erase(layoutTimes.begin()); // the warm-up round's
    const Measurement layout = summarize("16million layout, t0 to t1", layoutTimes);

    start(Mode16Million);
    const std::size_t bytes = pixels * sizeof(std::uint32_t);
    const bool samePixels = host.canvas.width() == Side16Million && host.canvas.height() == Side16Million
                            && std::memcmp(host.canvas.bits(), fill.bits(), bytes) == 0
                            && std::memcmp(host.canvas.bits(), columns.bits(), bytes) == 0;

    std::vector<Measurement> rows = {again, layout};
    for (int mode = 1; mode < Sheets::Count; ++mode)
        rows.push_back(measureFor(std::string(Sheets::All[static_cast<std::size_t>(mode)].name), RowSeconds,
                                  MinimumRuns, [&] { start(mode); }));
    rows.insert(rows.end(), turns.begin() + 2, turns.end());
    rows.push_back(after729);
    printTable(rows);

    const double layoutRatio = layout.medianMs / fillLimit.medianMs;
    const double afterSmallRatio = after729.medianMs / again.medianMs;
    std::printf("\n16million layout / fill limit: %.2fx\n", layoutRatio);
    std::printf("16million after 729 / 16million again: %.2fx\n", afterSmallRatio);
    std::printf("\ntargets: layout <= %.2fx %s; after 729 <= %.2fx %s\n", LayoutTarget,
                verdict(layoutRatio, LayoutTarget), AfterSmallTarget, verdict(afterSmallRatio, AfterSmallTarget));
    std::printf("16million Start (clear included) / fill limit: %.2fx\n", again.medianMs / fillLimit.medianMs);
    std::printf("column-order loop / fill limit: %.2fx\n", turns[4].medianMs / fillLimit.medianMs);
    std::printf("16million pixels identical to the fill limit's and the column-order loop's: %s\n",
                samePixels ? "yes" : "NO");
    std::printf("load average after: %s\n", loadAverage().c_str());

    if (host.canvasUnavailable || !samePixels) {
        std::fprintf(stderr, "tintwell_bench: the runs did not draw what the fill loops draw\n");
        return 1;
    }
    return 0;
}
