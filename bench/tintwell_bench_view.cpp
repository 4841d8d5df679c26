// Tintwell speed table for the full-size view of the sheet.
//
//   cmake --preset release && cmake --build --preset release --target tintwell_bench_view && ./build/release/bench/tintwell_bench_view
//
// It runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
// The "16million" sheet is drawn into a canvas by the generator, and the view
// (the zoomable sheet the view window shows) is made 1920 x 1080 pixels,
// scale factor 1. A frame is one synchronous repaint of the whole viewport
// into the window's backing store: what the view paints after a zoom. The
// zooms are fit, 100 %, 350 %, 800 % (with the pixel grid) and 6400 %, and
// at each a pan by one arrow-key step (an eighth of the view) followed by its
// frame; the pans go right and back so the view stays where it was. The
// limit beside it, in the same run: copying 1920 x 1080 x 4 bytes from one
// buffer to another, the least a frame of that size can cost.
//
// Memory: the peak resident memory (VmHWM) after the run with a window of the
// main window's size shown, and again after the view has been made and has
// painted every frame: what the view adds, its 1920 x 1080 backing store
// (7.9 MiB) included.
//
// The summary lines have a fixed form for scripts:
//   view frame worst / frame copy: R.RRx
//   view frame worst: N.NN ms

#include "BenchHost.h"
#include "Measure.h"
#include "WindowWaits.h"
#include "generation/SheetGenerator.h"
#include "window/ZoomedSheet.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr QSize ViewSize(1920, 1080);
constexpr int Frames = 41;
constexpr double WorstTargetMs = 4;
constexpr double WorstOverCopyTarget = 8;
constexpr double MemoryTargetMiB = 16;

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    BenchHost host;
    host.mode = Sheets::Index(Mode::Colours16Million);
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    const Canvas &canvas = host.canvas;
    if (host.canvasUnavailable || canvas.width() != Sheets::Of(Mode::Colours16Million).size) {
        std::fprintf(stderr, "tintwell_bench_view: the 16million sheet could not be drawn\n");
        return 1;
    }
    // The program has a window open already: Qt's fonts, style and first
    // backing store are not the view's.
    QWidget mainWindow;
    mainWindow.resize(270, 336);
    mainWindow.show();
    waitUntilExposed(mainWindow);
    const double peakBefore = peakResidentMiB();

    std::printf("Tintwell view benchmark: one frame of a %d x %d view of the 16million sheet\n", ViewSize.width(),
                ViewSize.height());
    std::printf("load average: %s\n\n", loadAverage().c_str());

    ZoomedSheet sheet(canvas);
    sheet.resize(ViewSize);
    sheet.show();
    if (!waitUntilExposed(sheet)) {
        std::fprintf(stderr, "tintwell_bench_view: the view was not shown\n");
        return 1;
    }
    QWidget *viewport = sheet.viewport();
    if (viewport->size() != ViewSize || sheet.devicePixelRatioF() != 1) {
        std::fprintf(stderr, "tintwell_bench_view: the viewport is %d x %d at ratio %.2f, not %d x %d at 1\n",
                     viewport->width(), viewport->height(), sheet.devicePixelRatioF(), ViewSize.width(),
                     ViewSize.height());
        return 1;
    }

    struct Zoom
    {
        const char *name;
        double zoom; // 0: fit
    };
    const Zoom zooms[] = {{"fit", 0}, {"100 %", 1}, {"350 %", 3.5}, {"800 %", 8}, {"6400 %", 64}};
    const QPointF step(ViewSize.width() / 8.0, 0);

    std::vector<Measurement> rows;
    for (const Zoom &zoom : zooms) {
        if (zoom.zoom == 0) {
            sheet.fit();
        } else {
            // Somewhere inside the sheet, away from its edges.
            sheet.setZoom(zoom.zoom);
            sheet.centreOn(QPointF(1500.5, 2600.5));
        }
        QCoreApplication::processEvents();
        rows.push_back(measure(std::string("frame at ") + zoom.name, Frames, [&] { viewport->repaint(); }));
        int direction = 1;
        rows.push_back(measure(std::string("pan + frame at ") + zoom.name, Frames, [&] {
            sheet.panBy(step * direction);
            direction = -direction;
            viewport->repaint();
        }));
    }

    // Before the limit's own buffers.
    const double peakAfter = peakResidentMiB();

    const std::size_t frameBytes = static_cast<std::size_t>(ViewSize.width()) * ViewSize.height() * 4;
    std::vector<unsigned char> from(frameBytes, 0x5A);
    std::vector<unsigned char> to(frameBytes);
    const Measurement copy = measure("copy 1920x1080x4 bytes (limit)", Frames, [&] {
        std::memcpy(to.data(), from.data(), frameBytes);
        asm volatile("" : : "r"(to.data()) : "memory");
    });
    rows.push_back(copy);
    printTable(rows);

    double worst = 0;
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        worst = std::max(worst, rows[i].medianMs);
    const double ratio = worst / copy.medianMs;

    std::printf("\npeak resident memory: %.1f MiB after the run, %.1f MiB with the view: + %.1f MiB "
                "(target <= + %.0f MiB: %s)\n",
                peakBefore, peakAfter, peakAfter - peakBefore, MemoryTargetMiB,
                verdict(peakAfter - peakBefore <= MemoryTargetMiB));
    std::printf("\nview frame worst / frame copy: %.2fx\n", ratio);
    std::printf("view frame worst: %.2f ms\n", worst);
    std::printf("\ntargets: worst <= %.0f ms %s; worst <= %.0fx the copy %s\n", WorstTargetMs,
                verdict(worst <= WorstTargetMs), WorstOverCopyTarget, verdict(ratio <= WorstOverCopyTarget));
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
