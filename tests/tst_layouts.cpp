// Every mode's layout, checked through complete and partial runs on an
// in-memory window.

#include "generation/LevelTables.h"
#include "MemoryHost.h"
#include "SheetFormulas.h"
#include "generation/SheetGenerator.h"
#include "generation/Sheets.h"

#include <QTest>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A colour no sheet but "16million" contains (red 3 is odd, no multiple of 4
// or 17, and no level), so a pixel left unwritten cannot pass for a written one.
constexpr ColorValue Background = RGB(3, 2, 1);

// Compares the canvas with the state after `tilesDone` tiles of the mode:
// the sheet's colour in those tiles, background elsewhere. Returns the first
// mismatch as text, empty when all match.
QString compareWithSheet(const Canvas &pic, int mode, int tilesDone)
{
    const int n = SheetFormulas::CanvasSize[mode];
    if (pic.width() != n || pic.height() != n)
        return QStringLiteral("size %1x%2").arg(pic.width()).arg(pic.height());
    for (int y = 0; y < n; ++y) {
        const std::uint32_t *row = pic.constScanLine(y);
        for (int x = 0; x < n; ++x) {
            const ColorValue expected = SheetFormulas::TileIndex(mode, x, y) < tilesDone
                                            ? SheetFormulas::Colour(mode, x, y)
                                            : Background;
            if (row[x] != ToRgb32(expected))
                return QStringLiteral("(%1, %2) is %3, expected %4")
                    .arg(x).arg(y).arg(pic.pixel(x, y), 6, 16, QChar('0')).arg(expected, 6, 16, QChar('0'));
        }
    }
    return {};
}

int distinctColours(const Canvas &pic)
{
    std::vector<std::uint8_t> seen(std::size_t(1) << 24);
    int count = 0;
    const std::size_t total = std::size_t(pic.width()) * std::size_t(pic.height());
    for (std::size_t i = 0; i < total; ++i) {
        std::uint8_t &mark = seen[pic.bits()[i] & 0xFFFFFFu];
        count += mark == 0;
        mark = 1;
    }
    return count;
}

} // namespace

class tst_Layouts : public QObject
{
    Q_OBJECT

private slots:
    void levelTables();
    void completeRun_data();
    void completeRun();
    void tileByTile_data();
    void tileByTile();
    void writesClippedToAnotherSize_data();
    void writesClippedToAnotherSize();
    void workedExamples_data();
    void workedExamples();
    void mode3GreenTilesRepeat();
    void tableAgainstDrawnSheet_data();
    void tableAgainstDrawnSheet();
};

void tst_Layouts::levelTables()
{
    using V = std::vector<std::int32_t>;
    const auto vec = [](const auto &table) { return V(table.begin(), table.end()); };
    QCOMPARE(vec(LevelTables::L1), (V{0, 2, 4, 6, 8, 10, 12, 14}));
    // Nearest, not truncated: 15/7 x 4 = 8.57 gives 9.
    QCOMPARE(vec(LevelTables::L2), (V{0, 2, 4, 6, 9, 11, 13, 15}));
    QCOMPARE(vec(LevelTables::L3), (V{0, 5, 10, 15}));
    QCOMPARE(vec(LevelTables::Levels4), (V{0, 128, 192, 255}));
    // 5 x 31.9 is exactly 159.5 in double precision: the tie goes to 160.
    QCOMPARE(vec(LevelTables::Levels9), (V{0, 32, 64, 96, 128, 160, 191, 223, 255}));
    QCOMPARE(vec(LevelTables::Levels15), (V{0, 18, 36, 55, 73, 91, 109, 128, 146, 164, 182, 200, 219, 237, 255}));
    QCOMPARE(LevelTables::RoundToEven(0.5), 0);
    QCOMPARE(LevelTables::RoundToEven(1.5), 2);
    QCOMPARE(LevelTables::RoundToEven(2.5), 2);
    QCOMPARE(LevelTables::RoundToEven(255.2), 255);
}

void tst_Layouts::completeRun_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("distinct");

    QTest::newRow("16million") << 0 << 16'777'216;
    QTest::newRow("1million") << 1 << 1'048'576;
    QTest::newRow("256killo") << 2 << 262'144;
    QTest::newRow("64kilo") << 3 << 57'344;
    QTest::newRow("16kilo") << 4 << 16'384;
    QTest::newRow("4096") << 5 << 4'096;
    QTest::newRow("2025") << 6 << 2'025;
    QTest::newRow("729") << 7 << 729;
}

void tst_Layouts::completeRun()
{
    QFETCH(int, mode);
    QFETCH(int, distinct);

    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = mode;
    SheetGenerator generator(host);
    generator.Start(host.inputs());

    QCOMPARE(compareWithSheet(host.canvas, mode, SheetFormulas::TileCount[mode]), QString());
    QCOMPARE(distinctColours(host.canvas), distinct);
    // One AfterTile per tile, each with one preview paint and one event pass;
    // then the final preview.
    QCOMPARE(host.events, SheetFormulas::TileCount[mode]);
    QCOMPARE(host.paints, SheetFormulas::TileCount[mode] + 1);
    QCOMPARE(host.beeps, 1);
}

void tst_Layouts::tileByTile_data()
{
    completeRun_data();
}

// After every tile the canvas holds exactly the tiles visited so far, in the
// mode's order, and the background elsewhere.
void tst_Layouts::tileByTile()
{
    QFETCH(int, mode);

    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = mode;
    SheetGenerator generator(host);

    const int n = SheetFormulas::CanvasSize[mode];
    const int w = SheetFormulas::TileSize[mode];
    QString failure;
    int tilesDone = 0;
    host.onEventPass = [&] {
        ++tilesDone;
        if (!failure.isEmpty())
            return;
        // The 4096 x 4096 sheet is compared whole only now and then; the
        // tile just finished and the next one are checked every time.
        if (mode != 0 || tilesDone <= 2 || tilesDone % 37 == 0) {
            failure = compareWithSheet(host.canvas, mode, tilesDone);
        } else {
            for (int y = 0; y < n && failure.isEmpty(); y += 1) {
                for (int x = 0; x < n; x += w / 4) {
                    const int index = SheetFormulas::TileIndex(mode, x, y);
                    if (index != tilesDone - 1 && index != tilesDone)
                        continue;
                    const ColorValue expected = index < tilesDone ? SheetFormulas::Colour(mode, x, y) : Background;
                    if (host.canvas.pixel(x, y) != expected) {
                        failure = QStringLiteral("after tile %1: (%2, %3)").arg(tilesDone).arg(x).arg(y);
                        break;
                    }
                }
            }
        }
        if (!failure.isEmpty())
            failure = QStringLiteral("after %1 tiles: %2").arg(tilesDone).arg(failure);
    };
    generator.Start(host.inputs());

    QCOMPARE(failure, QString());
    QCOMPARE(tilesDone, SheetFormulas::TileCount[mode]);
}

void tst_Layouts::writesClippedToAnotherSize_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    // Sizes that cut tiles in the middle, across and down, and one that is
    // larger than the sheet in one direction.
    for (int mode = 0; mode < Sheets::Count; ++mode) {
        const int n = SheetFormulas::CanvasSize[mode];
        const int w = SheetFormulas::TileSize[mode];
        const auto name = std::string(Sheets::All[std::size_t(mode)].name);
        QTest::newRow((name + " cut inside tiles").c_str()) << mode << n - 3 * w / 2 - 1 << n / 3 + 2;
        QTest::newRow((name + " wider, cut down").c_str()) << mode << n + 5 << w + w / 2;
        QTest::newRow((name + " one column").c_str()) << mode << 1 << n;
    }
}

// After the first tile the canvas gets another size (as a nested run can
// give it between two tiles): the layout goes on with its own positions and
// colours, and what falls outside the canvas is dropped.
void tst_Layouts::writesClippedToAnotherSize()
{
    QFETCH(int, mode);
    QFETCH(int, width);
    QFETCH(int, height);

    MemoryHost host;
    host.canvas.setBackColor(Background);
    host.mode = mode;
    SheetGenerator generator(host);
    host.onEventPass = [&] {
        if (host.events == 1) {
            host.canvas.setSize(width, height);
            host.canvas.clear();
        }
    };
    generator.Start(host.inputs());

    QCOMPARE(host.events, SheetFormulas::TileCount[mode]);
    QCOMPARE(host.canvas.width(), width);
    QCOMPARE(host.canvas.height(), height);
    const int n = SheetFormulas::CanvasSize[mode];
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool drawn = x < n && y < n && SheetFormulas::TileIndex(mode, x, y) >= 1;
            const ColorValue expected = drawn ? SheetFormulas::Colour(mode, x, y) : Background;
            if (host.canvas.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("(%1, %2) is %3, expected %4")
                                     .arg(x).arg(y)
                                     .arg(host.canvas.pixel(x, y), 6, 16, QChar('0'))
                                     .arg(expected, 6, 16, QChar('0'))));
        }
    }
}

void tst_Layouts::workedExamples_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    // First, second and last pixels written, the first pixel of the second
    // tile, and the sample pixels of each sheet.
    QTest::newRow("16million first") << 0 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("16million second") << 0 << 0 << 1 << 0 << 1 << 0;
    QTest::newRow("16million end of tile 1") << 0 << 255 << 255 << 255 << 255 << 0;
    QTest::newRow("16million tile 2") << 0 << 0 << 256 << 0 << 0 << 1;
    QTest::newRow("16million last") << 0 << 4095 << 4095 << 255 << 255 << 255;
    QTest::newRow("16million (300, 4000)") << 0 << 300 << 4000 << 44 << 160 << 31;
    QTest::newRow("1million first") << 1 << 0 << 0 << 0 << 0 << 3;
    QTest::newRow("1million second") << 1 << 1 << 0 << 0 << 2 << 3;
    QTest::newRow("1million tile 2") << 1 << 0 << 128 << 0 << 0 << 7;
    QTest::newRow("1million last") << 1 << 1023 << 1023 << 254 << 254 << 255;
    QTest::newRow("1million (700, 300)") << 1 << 700 << 300 << 88 << 120 << 171;
    QTest::newRow("256killo first") << 2 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("256killo second") << 2 << 1 << 0 << 0 << 0 << 4;
    QTest::newRow("256killo tile 2") << 2 << 0 << 64 << 0 << 2 << 0;
    QTest::newRow("256killo last") << 2 << 511 << 511 << 252 << 255 << 252;
    QTest::newRow("256killo (300, 200)") << 2 << 300 << 200 << 32 << 150 << 176;
    QTest::newRow("256killo level 9 at row 4") << 2 << 0 << 256 << 0 << 9 << 0;
    QTest::newRow("64kilo first") << 3 << 0 << 0 << 0 << 13 << 0;
    QTest::newRow("64kilo second") << 3 << 0 << 1 << 0 << 13 << 4;
    QTest::newRow("64kilo tile 2") << 3 << 64 << 0 << 0 << 33 << 0;
    QTest::newRow("64kilo last, 313 packed") << 3 << 255 << 255 << 252 << 255 << 252;
    QTest::newRow("64kilo (100, 200), 273 packed") << 3 << 100 << 200 << 144 << 255 << 32;
    QTest::newRow("64kilo bottom-left 253") << 3 << 0 << 192 << 0 << 253 << 0;
    QTest::newRow("16kilo first") << 4 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("16kilo second") << 4 << 0 << 1 << 0 << 0 << 4;
    QTest::newRow("16kilo tile 2") << 4 << 64 << 0 << 192 << 0 << 0;
    QTest::newRow("16kilo tile 3") << 4 << 0 << 64 << 128 << 0 << 0;
    QTest::newRow("16kilo last, not white") << 4 << 127 << 127 << 255 << 252 << 252;
    QTest::newRow("4096 second") << 5 << 0 << 1 << 0 << 0 << 17;
    QTest::newRow("4096 tile 2") << 5 << 16 << 0 << 17 << 0 << 0;
    QTest::newRow("4096 last") << 5 << 63 << 63 << 255 << 255 << 255;
    QTest::newRow("2025 second") << 6 << 0 << 1 << 0 << 0 << 18;
    QTest::newRow("2025 tile 2") << 6 << 15 << 0 << 32 << 0 << 0;
    QTest::newRow("2025 middle right tile") << 6 << 30 << 15 << 160 << 0 << 0;
    QTest::newRow("2025 last") << 6 << 44 << 44 << 255 << 255 << 255;
    QTest::newRow("729 second") << 7 << 0 << 1 << 0 << 0 << 32;
    QTest::newRow("729 tile 2") << 7 << 9 << 0 << 32 << 0 << 0;
    QTest::newRow("729 middle right tile") << 7 << 18 << 9 << 160 << 0 << 0;
    QTest::newRow("729 green 160 at x 23") << 7 << 23 << 0 << 64 << 160 << 0;
    QTest::newRow("729 blue 160 at y 14") << 7 << 0 << 14 << 96 << 0 << 160;
    QTest::newRow("729 last") << 7 << 26 << 26 << 255 << 255 << 255;
}

void tst_Layouts::workedExamples()
{
    QFETCH(int, mode);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);

    static MemoryHost host;
    static SheetGenerator generator(host);
    static int lastMode = -1;
    if (mode != lastMode) {
        host.mode = mode;
        generator.Start(host.inputs());
        lastMode = mode;
    }
    QCOMPARE(host.canvas.pixel(x, y), RGB(red, green, blue));
}

void tst_Layouts::mode3GreenTilesRepeat()
{
    MemoryHost host;
    host.mode = 3;
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    for (int y = 192; y < 256; ++y)
        for (int x = 0; x < 64; ++x) {
            QCOMPARE(host.canvas.pixel(64 + x, y), host.canvas.pixel(128 + x, y));
            QCOMPARE(host.canvas.pixel(64 + x, y), host.canvas.pixel(192 + x, y));
        }
}

void tst_Layouts::tableAgainstDrawnSheet_data()
{
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode < Sheets::Count; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode;
}

// What the table answers without drawing (the colour at a place, every place
// of a colour, the levels of each channel, the nearest colour held) against
// the sheet a run draws.
void tst_Layouts::tableAgainstDrawnSheet()
{
    QFETCH(int, mode);
    const Mode sheetMode = *Sheets::ModeAt(mode);
    MemoryHost host;
    host.mode = mode;
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    const Canvas &pic = host.canvas;
    const int n = pic.width();
    QCOMPARE(n, Sheets::Of(sheetMode).size);

    // Every place of every colour, from the drawn sheet, and each channel's levels.
    std::unordered_map<ColorValue, std::vector<SheetPlace>> drawnPlaces;
    std::vector<bool> drawnLevels[3] = {std::vector<bool>(256), std::vector<bool>(256), std::vector<bool>(256)};
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const ColorValue colour = pic.pixel(x, y);
            if (Sheets::ColourAt(sheetMode, x, y) != colour)
                QFAIL(qPrintable(QStringLiteral("the table's colour at (%1, %2) differs").arg(x).arg(y)));
            if (n <= 1024) // one place each in "16million": the sampled check below covers it
                drawnPlaces[colour].push_back(SheetPlace{x, y});
            drawnLevels[0][std::size_t(RedOf(colour))] = true;
            drawnLevels[1][std::size_t(GreenOf(colour))] = true;
            drawnLevels[2][std::size_t(BlueOf(colour))] = true;
        }
    QCOMPARE(Sheets::ColourAt(sheetMode, -1, 0), -1);
    QCOMPARE(Sheets::ColourAt(sheetMode, 0, n), -1);

    std::uint64_t held = 1;
    for (const Channel channel : {Channel::Red, Channel::Green, Channel::Blue}) {
        std::vector<int> levels;
        for (int level = 0; level < 256; ++level)
            if (drawnLevels[int(channel)][std::size_t(level)])
                levels.push_back(level);
        QCOMPARE(Sheets::Levels(sheetMode, channel), levels);
        held *= levels.size();
    }
    QCOMPARE(Sheets::ColourCount(sheetMode), held);

    // Where the sheet holds each colour: every colour it holds, and every
    // 251st colour of 24 bits ("16million": every 4099th, one place each).
    for (const auto &[colour, places] : drawnPlaces)
        if (Sheets::PlacesOf(sheetMode, colour) != places)
            QFAIL(qPrintable(QStringLiteral("places of %1 differ").arg(colour, 6, 16, QChar('0'))));
    int sample = 0;
    for (std::uint32_t colour = 0; colour < (1u << 24); colour += n > 1024 ? 4099 : 251) {
        const std::vector<SheetPlace> places = Sheets::PlacesOf(sheetMode, ColorValue(colour));
        if (n > 1024) {
            QCOMPARE(places.size(), std::size_t(1));
            QCOMPARE(pic.pixel(places[0].x, places[0].y), ColorValue(colour));
        } else if (!drawnPlaces.contains(ColorValue(colour))) {
            QVERIFY(places.empty());
        }
        if (++sample % 16 != 0)
            continue;
        // The nearest colour held is held, and no farther in any channel than
        // that channel's nearest level.
        const ColorValue nearest = Sheets::NearestHeld(sheetMode, ColorValue(colour));
        QVERIFY(!Sheets::PlacesOf(sheetMode, nearest).empty());
        const int wanted[3] = {RedOf(ColorValue(colour)), GreenOf(ColorValue(colour)), BlueOf(ColorValue(colour))};
        const int got[3] = {RedOf(nearest), GreenOf(nearest), BlueOf(nearest)};
        for (int channel = 0; channel < 3; ++channel)
            for (int level = 0; level < 256; ++level)
                if (drawnLevels[channel][std::size_t(level)])
                    QVERIFY(std::abs(got[channel] - wanted[channel]) <= std::abs(level - wanted[channel]));
    }
    QVERIFY(Sheets::PlacesOf(sheetMode, -1).empty());
}

QTEST_APPLESS_MAIN(tst_Layouts)
#include "tst_layouts.moc"
