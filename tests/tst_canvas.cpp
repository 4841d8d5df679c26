#include "generation/Canvas.h"
#include "generation/ColorValue.h"
#include "generation/RunTimer.h"

#include <QTest>

#include <algorithm>
#include <limits>
#include <vector>

class tst_Canvas : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
    void rgb32RoundTrip();
    void designSizeAndBackground();
    void writesInsideAndOutside();
    void resizeKeepsOverlapAndFillsBackground_data();
    void resizeKeepsOverlapAndFillsBackground();
    void everyResizeAndClearIsANewContent();
    void clearRestoresBackground();
    void tooLargeKeepsSizeAndContent();
    void elapsedAcrossWrap_data();
    void elapsedAcrossWrap();
};

void tst_Canvas::packing_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<qint32>("value");

    QTest::newRow("red low byte") << 1 << 2 << 255 << qint32(0x00FF0201);
    QTest::newRow("white") << 255 << 255 << 255 << qint32(0x00FFFFFF);
    QTest::newRow("above 255 counts as 255") << 0 << 313 << 0 << qint32(0x0000FF00);
    QTest::newRow("all above 255") << 256 << 1000 << 70000 << qint32(0x00FFFFFF);
}

void tst_Canvas::packing()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(qint32, value);
    QCOMPARE(RGB(red, green, blue), value);
}

void tst_Canvas::rgb32RoundTrip()
{
    QCOMPARE(ToRgb32(0x00FF0201), 0xFF0102FFu);
    QCOMPARE(FromRgb32(0xFF0102FFu), 0x00FF0201);
    QCOMPARE(FromRgb32(0x00ABCDEFu), 0x00EFCDAB);
    for (ColorValue c : {0x000000, 0x123456, 0xFFFFFF, 0x00FF00})
        QCOMPARE(FromRgb32(ToRgb32(c)), c);
}

void tst_Canvas::designSizeAndBackground()
{
    const Canvas pic(RGB(10, 20, 30));
    QCOMPARE(pic.width(), 409);
    QCOMPARE(pic.height(), 417);
    QCOMPARE(pic.pixel(0, 0), RGB(10, 20, 30));
    QCOMPARE(pic.pixel(408, 416), RGB(10, 20, 30));
    QCOMPARE(pic.bytesPerLine(), std::size_t(409 * 4));
    QCOMPARE(pic.bits()[0], 0xFF0A141Eu);
}

void tst_Canvas::writesInsideAndOutside()
{
    Canvas pic(0);
    pic.setSize(3, 2);
    pic.setPixel(0, 0, RGB(1, 2, 3));
    pic.setPixel(2, 1, RGB(4, 5, 6));
    // Outside the current size: no effect, no crash.
    for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}, {std::numeric_limits<int>::min(), 0},
                        {std::numeric_limits<int>::max(), std::numeric_limits<int>::max()}})
        pic.setPixel(x, y, RGB(9, 9, 9));

    QCOMPARE(pic.pixel(0, 0), RGB(1, 2, 3));
    QCOMPARE(pic.pixel(2, 1), RGB(4, 5, 6));
    QCOMPARE(pic.pixel(1, 0), 0);
    QCOMPARE(pic.pixel(3, 0), -1);
    QCOMPARE(pic.pixel(-1, 0), -1);
    // Row-major layout with no padding; rows to read only inside.
    QCOMPARE(pic.bits()[1 * 3 + 2], ToRgb32(RGB(4, 5, 6)));
    QCOMPARE(pic.constScanLine(1), pic.bits() + 3);
    QCOMPARE(pic.constScanLine(1)[2], ToRgb32(RGB(4, 5, 6)));
    for (int y : {-1, 2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        QCOMPARE(pic.constScanLine(y), nullptr);
}

using Sizes = std::vector<std::pair<int, int>>;

void tst_Canvas::resizeKeepsOverlapAndFillsBackground_data()
{
    QTest::addColumn<Sizes>("sizes");

    // From a 6 x 5 canvas. Smaller sizes reuse the memory of larger ones, so
    // a size that grows again must not bring back what was cut off.
    QTest::newRow("narrower, taller, wider") << Sizes{{2, 5}, {2, 7}, {8, 7}};
    QTest::newRow("shrink, then grow back") << Sizes{{3, 2}, {6, 5}};
    QTest::newRow("narrower and taller") << Sizes{{2, 12}};
    QTest::newRow("wider and shorter") << Sizes{{14, 2}, {3, 9}};
    QTest::newRow("beyond the memory held") << Sizes{{3, 3}, {40, 30}, {7, 4}, {41, 30}};
    QTest::newRow("a single row and column") << Sizes{{1, 5}, {6, 1}, {6, 5}};
    QTest::newRow("to nothing and back") << Sizes{{0, 5}, {6, 5}, {6, 0}, {4, 4}};
    QTest::newRow("negative counts as 0") << Sizes{{-3, 5}, {6, -1}, {6, 5}};
}

// After every resize the canvas holds the old pixels where old and new size
// overlap and the background elsewhere; then every pixel is painted anew.
void tst_Canvas::resizeKeepsOverlapAndFillsBackground()
{
    QFETCH(Sizes, sizes);
    const auto painted = [](int step, int x, int y) { return RGB(x, y, 10 + step); };

    // White is painted another way than other colours.
    for (const ColorValue background : {RGB(7, 7, 7), RGB(255, 255, 255)}) {
        Canvas pic(background);
        pic.setSize(6, 5);
        int width = 6;
        int height = 5;
        for (int step = 0; step <= int(sizes.size()); ++step) {
            if (step > 0) {
                const auto [newWidth, newHeight] = sizes[std::size_t(step - 1)];
                pic.setSize(newWidth, newHeight);
                QCOMPARE(pic.width(), std::max(newWidth, 0));
                QCOMPARE(pic.height(), std::max(newHeight, 0));
                for (int y = 0; y < pic.height(); ++y)
                    for (int x = 0; x < pic.width(); ++x)
                        QCOMPARE(pic.pixel(x, y), (x < width && y < height) ? painted(step - 1, x, y) : background);
                width = pic.width();
                height = pic.height();
            }
            for (int y = 0; y < height; ++y) {
                std::uint32_t *row = pic.scanLine(y);
                QVERIFY(row);
                for (int x = 0; x < width; ++x)
                    row[x] = ToRgb32(painted(step, x, y));
            }
            QVERIFY(!pic.scanLine(height));
            QVERIFY(!pic.scanLine(-1));
        }
    }
}

// The window keeps a scaled copy of the canvas and scales again only what a
// tile changed, as long as the content epoch stays the same.
void tst_Canvas::everyResizeAndClearIsANewContent()
{
    Canvas pic(0);
    std::uint64_t epoch = pic.contentEpoch();
    const auto changed = [&] {
        const bool result = pic.contentEpoch() != epoch;
        epoch = pic.contentEpoch();
        return result;
    };
    pic.setSize(4096, 4096);
    QVERIFY(changed());
    pic.setSize(27, 27); // in the memory already held
    QVERIFY(changed());
    pic.setSize(4096, 4096);
    QVERIFY(changed());
    pic.clear();
    QVERIFY(changed());
    pic.setSize(4096, 4096); // the same size: nothing changes
    pic.setPixel(1, 1, 5);
    QVERIFY(!changed());
}

void tst_Canvas::clearRestoresBackground()
{
    Canvas pic(RGB(1, 1, 1));
    pic.setPixel(5, 5, RGB(200, 0, 0));
    pic.setBackColor(RGB(2, 2, 2));
    QCOMPARE(pic.pixel(0, 0), RGB(1, 1, 1)); // takes effect at the next clear
    pic.clear();
    QCOMPARE(pic.width(), 409);
    QCOMPARE(pic.pixel(5, 5), RGB(2, 2, 2));
    QCOMPARE(pic.pixel(408, 416), RGB(2, 2, 2));
}

void tst_Canvas::tooLargeKeepsSizeAndContent()
{
    Canvas pic(0);
    pic.setSize(16, 16);
    pic.setPixel(3, 3, RGB(50, 60, 70));
    pic.setPixelLimit(16 * 16);

    // The failure names the size asked for, not a halfway one.
    for (auto [width, height] : {std::pair{4096, 4096}, {17, 16}, {std::numeric_limits<int>::max(), 2}}) {
        try {
            pic.setSize(width, height);
            QFAIL("a canvas over the limit was allocated");
        } catch (const CanvasTooLarge &failure) {
            QCOMPARE(failure.width, width);
            QCOMPARE(failure.height, height);
        }
        QCOMPARE(pic.width(), 16);
        QCOMPARE(pic.height(), 16);
        QCOMPARE(pic.pixel(3, 3), RGB(50, 60, 70));
    }

    // Shrinking stays possible.
    pic.setSize(8, 16);
    QCOMPARE(pic.pixel(3, 3), RGB(50, 60, 70));
}

void tst_Canvas::elapsedAcrossWrap_data()
{
    QTest::addColumn<qint32>("earlier");
    QTest::addColumn<qint32>("later");
    QTest::addColumn<qint32>("elapsed");

    QTest::newRow("plain") << qint32(1000) << qint32(1250) << qint32(250);
    QTest::newRow("no time") << qint32(77) << qint32(77) << qint32(0);
    QTest::newRow("across signed boundary") << std::numeric_limits<qint32>::max() - 9
                                            << std::numeric_limits<qint32>::min() + 10 << qint32(20);
    QTest::newRow("across unsigned wrap") << qint32(-5) << qint32(5) << qint32(10);
    QTest::newRow("negative readings") << qint32(-3000) << qint32(-1000) << qint32(2000);
}

void tst_Canvas::elapsedAcrossWrap()
{
    QFETCH(qint32, earlier);
    QFETCH(qint32, later);
    QFETCH(qint32, elapsed);
    QCOMPARE(Elapsed(later, earlier), elapsed);
}

QTEST_APPLESS_MAIN(tst_Canvas)
#include "tst_canvas.moc"
