// Tintwell speed table for the real window and for saving.
//
//   cmake --preset release && cmake --build --preset release --target tintwell_bench_window && ./build/release/bench/tintwell_bench_window
//
// or in a build folder of its own:
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTINTWELL_WERROR=ON
//   cmake --build build/bench --target tintwell_bench_window && ./build/bench/bench/tintwell_bench_window
//
// It runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
// Memory: the program's peak resident memory (VmHWM) right after its first
// "16million" run, before the benchmark allocates anything large of its own.
//
// Window runs: the main window is created, loaded and shown as main() does;
// each run selects a mode in Combo1 and clicks Command1, and the whole run
// (the clear, the preview after every tile and the event passes included)
// happens inside the click. Each row gives the time Label1 shows at the end of
// the run (whole milliseconds, the run's own measure) and a steady_clock
// reading around the click. One untimed run per mode comes first; pending
// events are handled, untimed, before every click.
//
// The "16million" runs take turns with: a "16million" run right after a
// "729" run, the layout alone in a window that does nothing, the fill limit
// (the same values written tile by tile, row by row, into a raw buffer), a
// memset of the 64 MB canvas and the column-order loop that the layout used
// to be. Then where the run's time goes: the layout, its 256 previews and
// captions, its event passes, the canvas clear.
//
// Saving: PictureFile::SavePicture of the 16million picture (4096 x 4096,
// 50,331,702 bytes on disk) against the limit, the same number of bytes
// written from memory in one call into the same folder, once plain and once
// with fsync before close. QSaveFile syncs its data before it replaces the
// file, so the synced write is the fair limit. The three kinds of run take
// turns, and every file is deleted, untimed, before the next run.
//
// The summary lines have a fixed form for scripts:
//   16million run / fill limit: R.RRx
//   16million layout / fill limit: R.RRx
//   16million after 729 / 16million again: R.RRx
// The machine's load matters: compare figures from the same session only.

#include "BenchHost.h"
#include "FillLoops.h"
#include "Measure.h"
#include "WindowWaits.h"
#include "platform/CanvasImage.h"
#include "platform/Interaction.h"
#include "platform/PictureFile.h"
#include "generation/SheetGenerator.h"
#include "window/Preview.h"
#include "window/mainform.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Mode16Million = Sheets::Index(Mode::Colours16Million);
constexpr int Mode729 = Sheets::Index(Mode::Colours729);
constexpr int Side16Million = Sheets::Of(Mode::Colours16Million).size;
constexpr int TilesOf16Million = 256;
constexpr qint64 BmpBytes16Million = 50'331'702;
constexpr double CanvasMiB16Million = 64;

// 16million: a fixed number of rounds of turns. The other modes: as many runs
// as fill this many seconds, at least MinimumRuns.
constexpr int Rounds16Million = 11;
constexpr double SmallModeSeconds = 1.0;
constexpr int MinimumRuns = 7;
constexpr int MaximumRuns = 20000;
constexpr int PartRuns = 7;
constexpr int SaveRuns = 9;

constexpr double RunTarget = 2.0;
constexpr double LayoutTarget = 1.3;
constexpr double AfterSmallTarget = 1.15;
constexpr double MemoryOverCanvasMiB = 45;

double msSince(Clock::time_point begin)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

// Drives the window by its controls, as a user does.
class WindowDriver
{
public:
    explicit WindowDriver(mainform &form)
        : combo_(form.findChild<QComboBox *>(QStringLiteral("Combo1"))),
          start_(form.findChild<QPushButton *>(QStringLiteral("Command1"))),
          time_(form.findChild<QLabel *>(QStringLiteral("Label1")))
    {
    }

    bool valid() const { return combo_ && start_ && time_; }

    // Selects the mode and handles what is pending: what comes, untimed,
    // before a click.
    void select(int mode)
    {
        combo_->setCurrentIndex(mode);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    // One click on Start: the whole run.
    void click() { start_->click(); }

    // What Label1 says, -1 when it is not a number of milliseconds.
    int shownMs() const
    {
        bool number = false;
        const int ms = time_->text().toInt(&number);
        return number ? ms : -1;
    }

    // select(), then a click timed with steady_clock.
    double run(int mode)
    {
        select(mode);
        const auto begin = Clock::now();
        click();
        return msSince(begin);
    }

private:
    QComboBox *combo_;
    QPushButton *start_;
    QLabel *time_;
};

struct WindowRow
{
    std::string mode;
    Measurement shown; // Label1
    Measurement wall;  // steady_clock around the click
    bool labelValid = true;
};

WindowRow measureWindowRuns(WindowDriver &driver, int mode)
{
    driver.run(mode); // warm-up

    std::vector<double> shownTimes;
    std::vector<double> wallTimes;
    bool labelValid = true;
    const auto begin = Clock::now();
    for (int i = 0; i < MaximumRuns; ++i) {
        if (i >= MinimumRuns && msSince(begin) >= SmallModeSeconds * 1000)
            break;
        wallTimes.push_back(driver.run(mode));
        shownTimes.push_back(driver.shownMs());
        labelValid = labelValid && shownTimes.back() >= 0;
    }

    const std::string name(Sheets::All[static_cast<std::size_t>(mode)].name);
    return {name, summarize(name, shownTimes), summarize(name, wallTimes), labelValid};
}

void printWindowTable(const std::vector<WindowRow> &rows)
{
    std::printf("%-12s %6s | %-23s | %-41s\n", "window run", "", "Label1 (ms)", "steady_clock around the click");
    std::printf("%-12s %6s | %7s %7s %7s | %13s %13s %13s\n", "mode", "runs", "median", "min", "p90", "median",
                "min", "p90");
    for (const WindowRow &row : rows)
        std::printf("%-12s %6d | %7.0f %7.0f %7.0f | %13s %13s %13s\n", row.mode.c_str(), row.wall.runs,
                    row.shown.medianMs, row.shown.minMs, row.shown.p90Ms, formatMs(row.wall.medianMs).c_str(),
                    formatMs(row.wall.minMs).c_str(), formatMs(row.wall.p90Ms).c_str());
}

// --- Saving -----------------------------------------------------------------

// Writes `bytes` to a new file in one call, as the fastest a save could be;
// with `durable` the data is synced before the file is closed.
double writeLimit(const QString &fileName, const QByteArray &bytes, bool durable, bool &ok)
{
    const QByteArray path = QFile::encodeName(fileName);
    const auto begin = Clock::now();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        ok = false;
        return 0;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (written <= 0)
            break;
        done += written;
    }
    const bool synced = !durable || ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    const double ms = msSince(begin);
    ok = ok && done == bytes.size() && synced && closed;
    return ms;
}

struct SaveRows
{
    Measurement save;
    Measurement plain;
    Measurement durable;
    bool ok = true;
};

SaveRows measureSaving(const QImage &picture, const QString &folder)
{
    const QString saved = folder + QStringLiteral("/16million.bmp");
    const QString limit = folder + QStringLiteral("/limit.bmp");
    SaveRows rows;

    // The warm-up save also yields the bytes the limit writes.
    if (!PictureFile::SavePicture(picture, saved)) {
        rows.ok = false;
        return rows;
    }
    QByteArray bytes;
    {
        QFile file(saved);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    QFile::remove(saved);
    if (bytes.size() != BmpBytes16Million) {
        std::fprintf(stderr, "tintwell_bench_window: the saved file has %lld bytes\n",
                     static_cast<long long>(bytes.size()));
        rows.ok = false;
        return rows;
    }
    writeLimit(limit, bytes, true, rows.ok);
    QFile::remove(limit);

    std::vector<double> save, plain, durable;
    for (int i = 0; i < SaveRuns; ++i) {
        auto begin = Clock::now();
        rows.ok = PictureFile::SavePicture(picture, saved) && rows.ok;
        save.push_back(msSince(begin));
        rows.ok = QFileInfo(saved).size() == BmpBytes16Million && rows.ok;
        QFile::remove(saved);

        plain.push_back(writeLimit(limit, bytes, false, rows.ok));
        QFile::remove(limit);

        durable.push_back(writeLimit(limit, bytes, true, rows.ok));
        QFile::remove(limit);
    }
    rows.save = summarize("SavePicture 4096x4096", save);
    rows.plain = summarize("limit: one write", plain);
    rows.durable = summarize("limit: one write + fsync", durable);
    return rows;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tintwell"));

    std::printf("Tintwell window and save benchmark on %s (load average before: %s)\n\n",
                qPrintable(QGuiApplication::platformName()), loadAverage().c_str());

    mainform form;
    form.Form_Load();
    form.show();
    if (!waitUntilExposed(form)) {
        std::fprintf(stderr, "tintwell_bench_window: the window was never exposed\n");
        return 1;
    }
    WindowDriver driver(form);
    auto *preview = form.findChild<Preview *>(QStringLiteral("Preview"));
    auto *timeLabel = form.findChild<QLabel *>(QStringLiteral("Label1"));
    if (!driver.valid() || !preview) {
        std::fprintf(stderr, "tintwell_bench_window: Combo1, Command1, Label1 or Preview is missing\n");
        return 1;
    }

    // --- Memory, before anything large of the benchmark's own ---
    driver.run(Mode16Million);
    const double peakMiB = peakResidentMiB();
    const double overCanvasMiB = peakMiB - CanvasMiB16Million;
    std::printf("peak resident memory after a 16million run (VmHWM): %.1f MiB, the canvas (%.0f MiB) + %.1f MiB "
                "(target <= + %.0f MiB: %s)\n\n",
                peakMiB, CanvasMiB16Million, overCanvasMiB, MemoryOverCanvasMiB,
                verdict(peakMiB >= 0 && overCanvasMiB <= MemoryOverCanvasMiB));

    // --- Window runs ---
    const std::size_t pixels = static_cast<std::size_t>(Side16Million) * Side16Million;
    // The limits write raw buffers of the canvas's own kind of memory (2 MB
    // pages where the system has them), so they differ from a run only in
    // what is written.
    Canvas fill;
    Canvas columns;
    fill.setSize(Side16Million, Side16Million);
    columns.setSize(Side16Million, Side16Million);
    Canvas memsetCanvas;
    memsetCanvas.setSize(Side16Million, Side16Million);
    BenchHost quietHost;
    SheetGenerator quietGenerator(quietHost);

    std::vector<double> shown16Million;
    std::vector<double> quietLayout;
    const std::vector<Measurement> turns = measureInTurns(
        {
            {"16million", [&] {
                 driver.click();
                 shown16Million.push_back(driver.shownMs());
             }, [&] { driver.select(Mode16Million); }},
            {"16million after 729", [&] { driver.click(); }, [&] {
                 driver.run(Mode729);
                 driver.select(Mode16Million);
             }},
            {"16million in a window doing nothing", [&] {
                 quietGenerator.Start(quietHost.inputs());
                 quietLayout.push_back(quietHost.layoutMs);
             }},
            {"fill limit (16million, rows)", [&] { fillLimit16Million(fill.scanLine(0)); }},
            {"memset 4096x4096 canvas",
             [&] { std::memset(memsetCanvas.scanLine(0), 0, pixels * sizeof(std::uint32_t)); }},
            {"column-order loop (16million)", [&] { columnOrder16Million(columns.scanLine(0)); }},
        },
        Rounds16Million);
    const Measurement &run16Million = turns[0];
    const Measurement &after729 = turns[1];
    const Measurement &fillLimit = turns[3];
    shown16Million.erase(shown16Million.begin()); // the warm-up round's
    quietLayout.erase(quietLayout.begin());
    bool labelsValid = std::count(shown16Million.begin(), shown16Million.end(), -1.0) == 0;

    std::vector<WindowRow> windowRows = {
        {run16Million.name, summarize(run16Million.name, shown16Million), run16Million, labelsValid}};
    for (int mode = 1; mode < Sheets::Count; ++mode)
        windowRows.push_back(measureWindowRuns(driver, mode));
    printWindowTable(windowRows);

    const Measurement layout = summarize("16million layout, t0 to t1", quietLayout);
    std::printf("\n");
    printTable({after729, turns[2], layout, fillLimit, turns[4], turns[5]});

    // The full picture on the canvas again, for the check and the parts below.
    driver.run(Mode16Million);
    const Canvas &canvas16Million = preview->canvas();
    const std::size_t bytes = pixels * sizeof(std::uint32_t);
    const bool samePixels = canvas16Million.width() == Side16Million && canvas16Million.height() == Side16Million
                            && std::memcmp(canvas16Million.bits(), fill.bits(), bytes) == 0
                            && std::memcmp(canvas16Million.bits(), columns.bits(), bytes) == 0;

    const WindowRow &run729 = windowRows[Mode729];
    const double runRatio = run16Million.medianMs / fillLimit.medianMs;
    const double layoutRatio = layout.medianMs / fillLimit.medianMs;
    const double afterSmallRatio = after729.medianMs / run16Million.medianMs;
    std::printf("\n16million run / fill limit: %.2fx\n", runRatio);
    std::printf("16million layout / fill limit: %.2fx\n", layoutRatio);
    std::printf("16million after 729 / 16million again: %.2fx\n", afterSmallRatio);
    std::printf("\ntargets: run <= %.2fx %s; layout <= %.2fx %s; after 729 <= %.2fx %s\n", RunTarget,
                verdict(runRatio <= RunTarget), LayoutTarget, verdict(layoutRatio <= LayoutTarget), AfterSmallTarget,
                verdict(afterSmallRatio <= AfterSmallTarget));
    std::printf("16million run by Label1 / fill limit: %.2fx\n",
                windowRows[Mode16Million].shown.medianMs / fillLimit.medianMs);
    std::printf("729 through the window: %s by steady_clock, Label1 %.0f ms (target: well under 1 ms, taken as "
                "< 0.5 ms: %s)\n",
                formatMs(run729.wall.medianMs).c_str(), run729.shown.medianMs, verdict(run729.wall.medianMs < 0.5));
    std::printf("16million pixels through the window identical to the fill limit's and the column-order loop's: %s\n",
                samePixels ? "yes" : "NO");

    // --- Where the 16million run's time goes ---

    std::vector<Measurement> parts;
    parts.push_back(summarize("layout in a window doing nothing", quietLayout));
    // As a run paints them, on the window's own preview and time label: each
    // preview after one tile, so only that tile's part of the preview is
    // scaled again; and, for comparison, 256 previews that scale the whole
    // canvas.
    const auto tileOf16Million = [](int tile) {
        return CanvasArea{256 * (tile / 16), 256 * (tile % 16), 256, 256};
    };
    const CanvasArea wholeCanvas{0, 0, canvas16Million.width(), canvas16Million.height()};
    // What the window does after each tile: the preview and the caption,
    // with the times a run shows (the caption changes only when the whole
    // milliseconds do).
    const double runShownMs = windowRows[Mode16Million].shown.medianMs;
    const auto paintPreviews = [&](bool wholeEachTime) {
        for (int tile = 0; tile < TilesOf16Million; ++tile) {
            preview->showCanvas(wholeEachTime ? wholeCanvas : tileOf16Million(tile), Preview::Refresh::Now);
            timeLabel->setText(QString::number(static_cast<std::int32_t>(runShownMs * (tile + 1) / TilesOf16Million)));
        }
    };
    parts.push_back(measure("256 tile previews + captions", PartRuns, [&] { paintPreviews(false); }));
    parts.push_back(measure("256 whole previews + captions", PartRuns, [&] { paintPreviews(true); }));
    parts.push_back(measure("256 event passes", PartRuns, [&] {
        for (int tile = 0; tile < TilesOf16Million; ++tile)
            Interaction::DoEvents();
    }));

    // --- Saving ---
    QTemporaryDir folder(QCoreApplication::applicationDirPath() + QStringLiteral("/save-bench-XXXXXX"));
    SaveRows save;
    if (folder.isValid()) {
        // The picture as Save hands it over: the canvas wrapped in place.
        driver.run(Mode16Million);
        save = measureSaving(CanvasImage(canvas16Million), folder.path());
    } else {
        save.ok = false;
    }

    // A canvas of the window's size and background, cleared as a run clears it.
    memsetCanvas.setBackColor(canvas16Million.backColor());
    parts.push_back(measure("canvas clear 4096x4096", PartRuns, [&] { memsetCanvas.clear(); }));

    std::printf("\nWhere the 16million run's time goes (each row: what one run does)\n");
    printTable(parts);
    const double sum = parts[0].medianMs + parts[1].medianMs + parts[3].medianMs + parts.back().medianMs;
    std::printf("layout + previews and captions + event passes + clear: %s (the run: %s)\n",
                formatMs(sum).c_str(), formatMs(run16Million.medianMs).c_str());

    std::printf("\nSaving the 16million picture (%lld bytes) in %s\n", static_cast<long long>(BmpBytes16Million),
                qPrintable(folder.path()));
    if (save.ok) {
        printTable({save.save, save.plain, save.durable});
        const double ratioDurable = save.save.medianMs / save.durable.medianMs;
        std::printf("SavePicture / synced write: %.2fx (target <= 1.50x: %s)\n", ratioDurable,
                    ratioDurable <= 1.5 ? "met" : "MISSED");
        std::printf("SavePicture / plain write: %.2fx\n", save.save.medianMs / save.plain.medianMs);
    }

    std::printf("load average after: %s\n", loadAverage().c_str());

    for (const WindowRow &row : windowRows)
        labelsValid = labelsValid && row.labelValid;
    if (!labelsValid || !samePixels || !save.ok) {
        std::fprintf(stderr, "tintwell_bench_window: %s\n",
                     !labelsValid  ? "Label1 did not show a number of milliseconds"
                     : !samePixels ? "the window's run did not draw what the fill loops draw"
                                   : "saving failed");
        return 1;
    }
    return 0;
}
