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
// Captures: the 1million sheet washed out (limited range read as full) at
// (411, 29) in a 1920 x 1080 PNG picture. "open to first frame" is the time
// from asking the view to open the file (read, search for every sheet, the
// pixel comparison) until the view has painted its first frame of it; "open
// to verdict" until the results dock has painted the diagnosis's verdict
// (the diagnosis runs on another thread, the census after it); then until
// the census is in too. Then one frame of each face (sheet, capture,
// difference, fixed) at fit, 100 % and 800 %, a switch from one face to the
// next with its frame, and the tone-curve plot window of a washed-out
// 16million capture (4096 x 4096) drawn once: its curves set and the whole
// window painted.
//
// The summary lines have a fixed form for scripts:
//   view frame worst / frame copy: R.RRx
//   view frame worst: N.NN ms
//   capture open to first frame: N.NN ms
//   capture open to verdict: N.NN ms
//   capture open to verdict, processor: N.NN ms
//   capture face frame worst: N.NN ms
//   capture face switch worst: N.NN ms
//   tone-curve plot of 16million: N.NN ms

#include "BenchHost.h"
#include "Measure.h"
#include "WindowWaits.h"
#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"
#include "window/Capture.h"
#include "window/ResultsDock.h"
#include "window/SheetView.h"
#include "window/ToneCurvePlot.h"
#include "window/ZoomedSheet.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
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
constexpr QSize CaptureSize(1920, 1080);
constexpr QPoint CaptureOffset(411, 29);
constexpr int Opens = 5;
constexpr double OpenTargetMs = 500;
constexpr double VerdictTargetMs = 1000;
constexpr QSize PlotWindowSize(1200, 480);

// Limited-range levels (16 to 235) read as full range.
QImage washedOut(const QImage &sheet)
{
    QImage washed = sheet.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < washed.height(); ++y) {
        auto *row = reinterpret_cast<std::uint32_t *>(washed.scanLine(y));
        for (int x = 0; x < washed.width(); ++x) {
            const auto level = [](std::uint32_t v) { return (16 + (v * 219 + 127) / 255) & 0xFFu; };
            const std::uint32_t p = row[x];
            row[x] = 0xFF000000u | level((p >> 16) & 0xFF) << 16 | level((p >> 8) & 0xFF) << 8 | level(p & 0xFF);
        }
    }
    return washed;
}

QImage drawnSheet(Mode mode)
{
    BenchHost host;
    host.mode = Sheets::Index(mode);
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    return CanvasImage(host.canvas).copy();
}

// Whether a widget has been painted since `armed` was set.
class Painted : public QObject
{
public:
    explicit Painted(QWidget *widget) : widget_(widget) { widget->installEventFilter(this); }
    bool armed = true;
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == widget_ && event->type() == QEvent::Paint && armed)
            painted = true;
        return false;
    }

private:
    QWidget *widget_;
};

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

    // --- Captures ---------------------------------------------------------------
    QTemporaryDir dir;
    const QString captureFile = dir.filePath(QStringLiteral("capture.png"));
    {
        QImage picture(CaptureSize, QImage::Format_RGB32);
        picture.fill(qRgb(128, 128, 128));
        QPainter painter(&picture);
        painter.drawImage(CaptureOffset, washedOut(drawnSheet(Mode::Colours1Million)));
        painter.end();
        if (!picture.save(captureFile)) {
            std::fprintf(stderr, "tintwell_bench_view: the capture could not be written\n");
            return 1;
        }
    }
    std::printf("\nCaptures: the 1million sheet washed out at %d, %d in a %d x %d PNG picture\n", CaptureOffset.x(),
                CaptureOffset.y(), CaptureSize.width(), CaptureSize.height());
    std::printf("load average: %s\n\n", loadAverage().c_str());

    std::vector<Measurement> captureRows;
    std::vector<double> opens;
    std::vector<double> verdicts;
    std::vector<double> verdictProcessor;
    std::vector<double> examinations;
    Canvas empty;
    for (int i = 0; i < Opens; ++i) {
        SheetView view(empty);
        view.resize(ViewSize);
        view.show();
        waitUntilExposed(view);
        QCoreApplication::processEvents();
        Painted frame(view.sheet()->viewport());
        Painted verdict(view.results()->findChild<QWidget *>(QStringLiteral("Verdict")));
        verdict.armed = false;
        bool examined = false;
        QObject::connect(&view, &SheetView::diagnosed, &view, [&verdict] { verdict.armed = true; });
        QObject::connect(&view, &SheetView::examined, &view, [&examined] { examined = true; });
        QElapsedTimer clock;
        clock.start();
        const std::clock_t processorAtOpen = std::clock();
        if (!view.openCapture(captureFile) || !view.capture()->mode()) {
            std::fprintf(stderr, "tintwell_bench_view: the capture was not opened or its sheet not found\n");
            return 1;
        }
        while (!frame.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        opens.push_back(double(clock.nsecsElapsed()) / 1e6);
        while (!verdict.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        verdicts.push_back(double(clock.nsecsElapsed()) / 1e6);
        verdictProcessor.push_back(double(std::clock() - processorAtOpen) * 1000.0 / CLOCKS_PER_SEC);
        while (!examined)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        examinations.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    captureRows.push_back(summarize("open to first frame", opens));
    captureRows.push_back(summarize("open to the verdict on screen", verdicts));
    // On a loaded machine the wall time says more about the others' work.
    captureRows.push_back(summarize("  the same, processor time (all threads)", verdictProcessor));
    captureRows.push_back(summarize("open to census + diagnosis", examinations));

    SheetView view(empty);
    view.resize(ViewSize);
    view.show();
    waitUntilExposed(view);
    bool examined = false;
    QObject::connect(&view, &SheetView::examined, &view, [&examined] { examined = true; });
    view.openCapture(captureFile);
    while (!examined)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QWidget *captureViewport = view.sheet()->viewport();
    const std::pair<const char *, SheetView::Face> faces[] = {{"sheet", SheetView::Face::Sheet},
                                                              {"capture", SheetView::Face::Capture},
                                                              {"difference", SheetView::Face::Difference},
                                                              {"fixed", SheetView::Face::Fixed}};
    const Zoom faceZooms[] = {{"fit", 0}, {"100 %", 1}, {"800 %", 8}};
    double worstFace = 0;
    for (const auto &[name, face] : faces) {
        view.setFace(face);
        for (const Zoom &zoom : faceZooms) {
            if (zoom.zoom == 0) {
                view.sheet()->fit();
            } else {
                view.sheet()->setZoom(zoom.zoom);
                view.sheet()->centreOn(QPointF(400.5, 600.5));
            }
            QCoreApplication::processEvents();
            captureRows.push_back(measure(std::string("frame of the ") + name + " at " + zoom.name, Frames,
                                          [&] { captureViewport->repaint(); }));
            worstFace = std::max(worstFace, captureRows.back().medianMs);
        }
    }
    // A key switches the face: the next picture shown and painted.
    double worstSwitch = 0;
    for (const Zoom &zoom : faceZooms) {
        if (zoom.zoom == 0) {
            view.sheet()->fit();
        } else {
            view.sheet()->setZoom(zoom.zoom);
            view.sheet()->centreOn(QPointF(400.5, 600.5));
        }
        std::size_t next = 0;
        captureRows.push_back(measure(std::string("face switch + frame at ") + zoom.name, Frames, [&] {
            view.setFace(faces[next].second);
            next = (next + 1) % std::size(faces);
            captureViewport->repaint();
        }));
        worstSwitch = std::max(worstSwitch, captureRows.back().medianMs);
    }

    // The plot: a 16million capture's curves, the whole window painted.
    PictureReader::Picture big {washedOut(CanvasImage(canvas)), 8};
    QString reason;
    const std::unique_ptr<Capture> bigCapture = Capture::Measure(big, QStringLiteral("16million.png"), reason);
    if (!bigCapture || !bigCapture->mode()) {
        std::fprintf(stderr, "tintwell_bench_view: the 16million capture was not measured: %s\n", qPrintable(reason));
        return 1;
    }
    ToneCurvePlot plot;
    plot.resize(PlotWindowSize);
    plot.show();
    waitUntilExposed(plot);
    const Measurement plotRow = measure("tone-curve plot of 16million", 5, [&] {
        plot.showCurves(bigCapture->curves(), QStringLiteral("16million.png"));
        // The charts lay their series out in posted events.
        QCoreApplication::processEvents();
        plot.repaint();
        for (int channel = 0; channel < 3; ++channel)
            plot.chartView(channel)->viewport()->repaint();
    });
    captureRows.push_back(plotRow);
    printTable(captureRows);

    std::printf("\ncapture open to first frame: %.2f ms\n", captureRows[0].medianMs);
    std::printf("capture open to verdict: %.2f ms\n", captureRows[1].medianMs);
    std::printf("capture open to verdict, processor: %.2f ms\n", captureRows[2].medianMs);
    std::printf("capture face frame worst: %.2f ms\n", worstFace);
    std::printf("capture face switch worst: %.2f ms\n", worstSwitch);
    std::printf("tone-curve plot of 16million: %.2f ms\n", plotRow.medianMs);
    std::printf("\ntargets: open to first frame <= %.0f ms %s; open to verdict <= %.0f ms %s; face frame and switch "
                "worst <= %.0f ms %s\n",
                OpenTargetMs, verdict(captureRows[0].medianMs <= OpenTargetMs), VerdictTargetMs,
                verdict(captureRows[1].medianMs <= VerdictTargetMs), WorstTargetMs,
                verdict(std::max(worstFace, worstSwitch) <= WorstTargetMs));
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
