// The run around the layouts, as the window shows it: the preview and the
// time after every tile, the end of a run, Stop, nested runs, the tick
// counter and the failure paths.

#include "MemoryHost.h"
#include "SheetFormulas.h"
#include "generation/SheetGenerator.h"

#include <QTest>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr ColorValue Background = RGB(3, 2, 1);

// True when the canvas holds exactly the first `tiles` tiles of the mode and
// background elsewhere.
bool holdsFirstTiles(const Canvas &pic, int mode, int tiles)
{
    const int n = SheetFormulas::CanvasSize[mode];
    if (pic.width() != n || pic.height() != n)
        return false;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const ColorValue expected = SheetFormulas::TileIndex(mode, x, y) < tiles ? SheetFormulas::Colour(mode, x, y)
                                                                                     : Background;
            if (pic.pixel(x, y) != expected)
                return false;
        }
    return true;
}

} // namespace

class tst_Run : public QObject
{
    Q_OBJECT

private slots:
    void previewAfterEveryTile_data();
    void previewAfterEveryTile();
    void timeCaptions();
    void smallerModeKeepsCanvasMemory();
    void modeOutOfRangeRunsNoLayout_data();
    void modeOutOfRangeRunsNoLayout();
    void stopDuringTile_data();
    void stopDuringTile();
    void stopWhileIdleHasNoEffect();
    void stopStaysSetUntilNextStart();
    void nestedStartOfAnotherMode();
    void nestedStartOfLargerMode();
    void nestedStartOfSameMode();
    void nestedStartThenStopEndsBoth();
    void startOnEveryPassStaysBounded_data();
    void startOnEveryPassStaysBounded();
    void startAtDepthLimitIsIgnored();
    void tickCounterWrap_data();
    void tickCounterWrap();
    void canvasUnavailable();
};

void tst_Run::previewAfterEveryTile_data()
{
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode < 8; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode;
}

// Each tile is on the preview, with its time, before events are handled: the
// preview then shows the whole canvas as it is. The run ends with one more
// preview, the total time and a beep.
void tst_Run::previewAfterEveryTile()
{
    QFETCH(int, mode);

    MemoryHost host;
    host.mode = mode;
    SheetGenerator generator(host);
    QString failure;
    host.onEventPass = [&] {
        const std::size_t tiles = std::size_t(host.events);
        if (!failure.isEmpty())
            return;
        if (host.paints != host.events || host.captions.size() != tiles + 1)
            failure = QStringLiteral("tile %1: %2 previews, %3 captions")
                          .arg(tiles).arg(host.paints).arg(host.captions.size());
        // The 4096 x 4096 preview is compared whole after every 16th tile: a
        // tile it missed would still be missing then.
        else if ((mode != 0 || tiles % 16 == 0) && !host.previewShowsCanvas())
            failure = QStringLiteral("tile %1: the preview is not the canvas").arg(tiles);
    };
    generator.Start(host.inputs());

    QCOMPARE(failure, QString());
    const int tiles = SheetFormulas::TileCount[mode];
    QCOMPARE(host.events, tiles);
    QCOMPARE(host.paints, tiles + 1);
    QVERIFY(host.previewShowsCanvas());
    QCOMPARE(host.captions.size(), std::size_t(tiles) + 2);
    QCOMPARE(host.beeps, 1);
    QCOMPARE(generator.RunDepth(), 0);
}

void tst_Run::timeCaptions()
{
    MemoryHost host;
    host.mode = 5; // 16 tiles
    host.clock = 1000;
    host.tickStep = 10; // every reading is 10 ms after the one before
    host.paintMs = 5;   // and every preview takes 5 ms to paint
    SheetGenerator generator(host);
    generator.Start(host.inputs());

    // "0" at the click; then per tile the time since the layout's own reading
    // (taken 10 ms after t0): the tile's preview is painted before the time
    // is read, so tile k shows k paints and k readings; at the end the total
    // since t0.
    QCOMPARE(host.captions.size(), std::size_t(1 + 16 + 1));
    QCOMPARE(host.captions.front(), "0");
    for (int tile = 1; tile <= 16; ++tile)
        QCOMPARE(host.captions[std::size_t(tile)], std::to_string(15 * tile));
    // t0 = 1000, layout start 1010, 16 paints and tile readings; t1 is the
    // 18th reading. The final preview comes after it.
    QCOMPARE(host.captions.back(), std::to_string(18 * 10 + 16 * 5));
}

// A smaller mode after a larger one draws in the memory the larger one had,
// and the larger one then needs no new memory either.
void tst_Run::smallerModeKeepsCanvasMemory()
{
    MemoryHost host;
    host.mode = 1; // 1024 x 1024
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    const std::size_t held = host.canvas.capacity();
    QVERIFY(held >= std::size_t(1024) * 1024);

    for (int mode : {7, 3, 6, 1}) {
        host.mode = mode;
        generator.Start(host.inputs());
        QVERIFY(holdsFirstTiles(host.canvas, mode, SheetFormulas::TileCount[mode]));
        QCOMPARE(host.canvas.capacity(), held);
    }
}

void tst_Run::modeOutOfRangeRunsNoLayout_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("none selected") << -1;
    QTest::newRow("past the list") << 8;
    QTest::newRow("int min") << std::numeric_limits<int>::min();
    QTest::newRow("int max") << std::numeric_limits<int>::max();
}

void tst_Run::modeOutOfRangeRunsNoLayout()
{
    QFETCH(int, mode);

    MemoryHost host;
    host.canvas.setPixel(5, 5, RGB(200, 0, 0));
    host.mode = mode;
    host.tickStep = 3;
    SheetGenerator generator(host);
    generator.Start(host.inputs());

    // The time from the click, the preview of the emptied canvas, the beep.
    QCOMPARE(host.captions, (std::vector<std::string>{"0", "3"}));
    QCOMPARE(host.events, 0);
    QCOMPARE(host.paints, 1);
    QVERIFY(host.previewShowsCanvas());
    QCOMPARE(host.beeps, 1);
    // Emptied, and still its design size.
    QCOMPARE(host.canvas.width(), 409);
    QCOMPARE(host.canvas.pixel(5, 5), host.canvas.backColor());
}

void tst_Run::stopDuringTile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("stopAfter");

    for (int mode = 0; mode < 8; ++mode) {
        const auto name = std::string(Sheets::All[std::size_t(mode)].name);
        QTest::newRow((name + " first tile").c_str()) << mode << 1;
        QTest::newRow((name + " second tile").c_str()) << mode << 2;
    }
    QTest::newRow("16million tile 100") << 0 << 100;
    QTest::newRow("16kilo last tile") << 4 << 4;
}

// Stop clicked while tile k is drawn takes effect at its AfterTile: the
// canvas keeps k complete tiles, and the run still ends with the final
// preview, the total time and the beep.
void tst_Run::stopDuringTile()
{
    QFETCH(int, mode);
    QFETCH(int, stopAfter);

    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = mode;
    SheetGenerator generator(host);
    host.onEventPass = [&] {
        if (host.events == stopAfter)
            generator.Stop();
    };
    generator.Start(host.inputs());

    QCOMPARE(host.events, stopAfter);
    QVERIFY(holdsFirstTiles(host.canvas, mode, stopAfter));
    QCOMPARE(host.paints, stopAfter + 1);
    QVERIFY(host.previewShowsCanvas());
    QCOMPARE(host.captions.size(), std::size_t(stopAfter) + 2);
    QCOMPARE(host.beeps, 1);
    QVERIFY(generator.StopRequested());
}

void tst_Run::stopWhileIdleHasNoEffect()
{
    MemoryHost host;
    host.mode = 6;
    SheetGenerator generator(host);
    generator.Stop();
    QVERIFY(generator.StopRequested());
    generator.Start(host.inputs());
    QCOMPARE(host.events, 9);
    QVERIFY(!generator.StopRequested());
}

void tst_Run::stopStaysSetUntilNextStart()
{
    MemoryHost host;
    host.mode = 5;
    SheetGenerator generator(host);
    host.onEventPass = [&] { generator.Stop(); };
    generator.Start(host.inputs());
    QCOMPARE(host.events, 1);
    QVERIFY(generator.StopRequested());

    host.onEventPass = nullptr;
    host.events = 0;
    generator.Start(host.inputs());
    QCOMPARE(host.events, 16);
}

// Start clicked inside a run runs a complete nested run at once; then the
// interrupted layout goes on with its own formulas in the canvas the nested
// run left, dropping writes outside that canvas's size.
void tst_Run::nestedStartOfAnotherMode()
{
    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = 3; // 64kilo: 256 x 256, 16 tiles of 64 x 64 along the rows
    host.tickStep = 1;
    SheetGenerator generator(host);
    int depthSeen = 0;
    std::string nestedTotal;
    int staleAt = 0;
    host.onEventPass = [&] {
        if (staleAt == 0 && !host.previewShowsCanvas())
            staleAt = host.events;
        if (host.events == 2) {
            host.mode = 7; // the user picks "729" and clicks Start
            generator.Start(host.inputs());
            nestedTotal = host.captions.back();
        }
        depthSeen = std::max(depthSeen, generator.RunDepth());
    };
    generator.Start(host.inputs());

    QCOMPARE(depthSeen, 2);
    QCOMPARE(generator.RunDepth(), 0);
    // After every tile of either run the preview showed the canvas as it was.
    QCOMPARE(staleAt, 0);
    QCOMPARE(host.beeps, 2);
    QCOMPARE(host.events, 16 + 9);
    // The canvas is the nested run's 27 x 27 sheet: every remaining 64kilo
    // tile lies outside it, so all those writes were dropped.
    QCOMPARE(host.canvas.width(), 27);
    QCOMPARE(host.canvas.height(), 27);
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 27; ++x)
            QCOMPARE(host.canvas.pixel(x, y), SheetFormulas::Colour(7, x, y));
    // The outer run's own end came after the nested one's, with the longer
    // total, and its final preview shows the canvas as it is.
    QVERIFY(std::stoi(host.captions.back()) > std::stoi(nestedTotal));
    QVERIFY(host.previewShowsCanvas());
}

// The interrupted "729" run carries on in the 256 x 256 canvas of a nested
// "64kilo" run: its remaining tiles overwrite the top-left corner.
void tst_Run::nestedStartOfLargerMode()
{
    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = 7;
    SheetGenerator generator(host);
    host.onEventPass = [&] {
        if (host.events == 1) {
            host.mode = 3;
            generator.Start(host.inputs());
        }
    };
    generator.Start(host.inputs());

    QCOMPARE(host.events, 9 + 16);
    QCOMPARE(host.canvas.width(), 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool redrawn = x < 27 && y < 27 && SheetFormulas::TileIndex(7, x, y) >= 1;
            QCOMPARE(host.canvas.pixel(x, y), SheetFormulas::Colour(redrawn ? 7 : 3, x, y));
        }
}

void tst_Run::nestedStartOfSameMode()
{
    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = 4; // 16kilo: 2 x 2 tiles
    SheetGenerator generator(host);
    bool nested = false;
    host.onEventPass = [&] {
        if (host.events == 1 && !nested) {
            nested = true;
            generator.Start(host.inputs()); // a full run of the same mode
            QVERIFY(holdsFirstTiles(host.canvas, 4, 4));
            // Blank a pixel of tile 2 to see that the outer run redraws it.
            host.canvas.setPixel(70, 3, Background);
            host.canvas.setPixel(3, 3, Background);
        }
    };
    generator.Start(host.inputs());

    QCOMPARE(host.events, 1 + 4 + 3);
    // The outer run went on with tiles 2 to 4; tile 1 keeps what was done to it.
    QCOMPARE(host.canvas.pixel(70, 3), SheetFormulas::Colour(4, 70, 3));
    QCOMPARE(host.canvas.pixel(3, 3), Background);
    QCOMPARE(host.beeps, 2);
}

void tst_Run::nestedStartThenStopEndsBoth()
{
    MemoryHost host;
    host.mode = 5;
    SheetGenerator generator(host);
    int outerEvents = -1;
    host.onEventPass = [&] {
        if (host.events == 1) {
            generator.Start(host.inputs());
            outerEvents = host.events;
        } else if (host.events == 3) {
            generator.Stop(); // inside the nested run
        }
    };
    generator.Start(host.inputs());

    // The nested run stopped after its second tile; the flag was still set
    // when the outer run looked at it, so the outer one stopped as well.
    QCOMPARE(outerEvents, 3);
    QCOMPARE(host.events, 3);
    QCOMPARE(host.beeps, 2);
}

void tst_Run::startOnEveryPassStaysBounded_data()
{
    QTest::addColumn<int>("firstMode");
    QTest::addColumn<bool>("cycleModes"); // every Start picks the next mode

    QTest::newRow("729") << 7 << false;
    QTest::newRow("4096") << 5 << false;
    QTest::newRow("16kilo") << 4 << false;
    QTest::newRow("every Start another mode") << 1 << true;
}

// Start clicked on every event pass of every run, thousands of times, as a
// held key repeats it: the nesting stops at its limit, the Starts there are
// ignored, and every run that began ends with its preview, time and beep.
void tst_Run::startOnEveryPassStaysBounded()
{
    QFETCH(int, firstMode);
    QFETCH(bool, cycleModes);
    constexpr int Clicks = 3000;

    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = firstMode;
    SheetGenerator generator(host);
    int clicks = 0;
    int honoured = 0;
    int deepest = 0;
    host.onEventPass = [&] {
        deepest = std::max(deepest, generator.RunDepth());
        if (clicks == Clicks)
            return;
        ++clicks;
        if (cycleModes)
            host.mode = 1 + host.mode % 7; // the modes from "1million" to "729", in turn
        const int depthBefore = generator.RunDepth();
        const int beepsBefore = host.beeps;
        generator.Start(host.inputs());
        if (depthBefore < SheetGenerator::MaxRunDepth)
            ++honoured;
        else
            QCOMPARE(host.beeps, beepsBefore); // ignored: no run at all
    };
    generator.Start(host.inputs());

    QCOMPARE(clicks, Clicks);
    QCOMPARE(deepest, SheetGenerator::MaxRunDepth);
    QCOMPARE(generator.RunDepth(), 0);
    QCOMPARE(host.starts, 1 + honoured);
    QCOMPARE(host.beeps, 1 + honoured);
    // Most of the clicks met the limit: the innermost run finished its tiles
    // meanwhile.
    QVERIFY(honoured < Clicks);
    if (!cycleModes) {
        // The last run drew the whole sheet; the interrupted runs then drew
        // their remaining tiles of the same sheet over it.
        QVERIFY(holdsFirstTiles(host.canvas, firstMode, SheetFormulas::TileCount[firstMode]));
    }
}

// At the limit a Start does nothing: no new run, the canvas is not emptied,
// and a Stop clicked just before still ends the runs.
void tst_Run::startAtDepthLimitIsIgnored()
{
    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = 5;
    SheetGenerator generator(host);
    bool checked = false;
    host.onEventPass = [&] {
        if (generator.RunDepth() < SheetGenerator::MaxRunDepth) {
            generator.Start(host.inputs());
            return;
        }
        if (checked)
            return;
        checked = true;
        const int startsBefore = host.starts;
        const std::size_t captionsBefore = host.captions.size();
        const ColorValue drawn = host.canvas.pixel(0, 0);
        QCOMPARE(drawn, SheetFormulas::Colour(5, 0, 0));
        generator.Stop();
        generator.Start(host.inputs());
        QCOMPARE(host.starts, startsBefore);
        QCOMPARE(host.captions.size(), captionsBefore);
        QCOMPARE(host.canvas.pixel(0, 0), drawn);
        QCOMPARE(generator.RunDepth(), SheetGenerator::MaxRunDepth);
        QVERIFY(generator.StopRequested());
    };
    generator.Start(host.inputs());

    QVERIFY(checked);
    QCOMPARE(generator.RunDepth(), 0);
    QCOMPARE(host.beeps, SheetGenerator::MaxRunDepth);
    // Each run had drawn its first tile when the next began; the Stop ended
    // them all at their next AfterTile, so each run drew exactly one tile.
    QCOMPARE(host.events, SheetGenerator::MaxRunDepth);
    QVERIFY(holdsFirstTiles(host.canvas, 5, 1));
}

void tst_Run::tickCounterWrap_data()
{
    QTest::addColumn<qint32>("startClock");
    QTest::newRow("signed boundary") << std::numeric_limits<qint32>::max() - 40;
    QTest::newRow("unsigned wrap") << qint32(-40);
}

// The counter passes its 32-bit boundary during the run: the shown times are
// the true durations, and the run completes.
void tst_Run::tickCounterWrap()
{
    QFETCH(qint32, startClock);

    MemoryHost host;
    host.mode = 5;
    host.clock = startClock;
    host.tickStep = 7;
    SheetGenerator generator(host);
    generator.Start(host.inputs());

    for (int tile = 1; tile <= 16; ++tile)
        QCOMPARE(host.captions[std::size_t(tile)], std::to_string(7 * tile));
    QCOMPARE(host.captions.back(), std::to_string(7 * 18));
}

// The platform cannot give the 4096 x 4096 canvas: the run reports it, draws
// nothing and still ends in its usual state.
void tst_Run::canvasUnavailable()
{
    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.canvas.setPixelLimit(1024 * 1024);
    host.mode = 0;
    SheetGenerator generator(host);
    generator.Start(host.inputs());

    QCOMPARE(host.unavailable, std::vector<std::string>{"4096x4096"});
    QCOMPARE(host.events, 0);
    QCOMPARE(host.canvas.width(), 409);
    QCOMPARE(host.canvas.pixel(0, 0), Background);
    QCOMPARE(host.beeps, 1);
    QCOMPARE(generator.RunDepth(), 0);

    // Smaller modes still run.
    host.mode = 1;
    generator.Start(host.inputs());
    QVERIFY(holdsFirstTiles(host.canvas, 1, 64));
}

QTEST_APPLESS_MAIN(tst_Run)
#include "tst_run.moc"
