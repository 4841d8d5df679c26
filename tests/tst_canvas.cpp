#include "generation/Canvas.h"
#include "generation/ColorValue.h"
#include "generation/RunTimer.h"

#include <QTest>

#include <limits>

class tst_Canvas : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
    void rgb32RoundTrip();
    void designSizeAndBackground();
    void writesInsideAndOutside();
    void resizeKeepsOverlapAndFillsBackground();
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
    pic.setWidth(3);
    pic.setHeight(2);
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
    // Row-major layout with no padding.
    QCOMPARE(pic.bits()[1 * 3 + 2], ToRgb32(RGB(4, 5, 6)));
}

void tst_Canvas::resizeKeepsOverlapAndFillsBackground()
{
    Canvas pic(RGB(7, 7, 7));
    pic.setWidth(4);
    pic.setHeight(4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            pic.setPixel(x, y, RGB(x, y, 100));

    pic.setWidth(2); // 2 x 4
    pic.setHeight(6); // 2 x 6
    pic.setWidth(5); // 5 x 6
    QCOMPARE(pic.width(), 5);
    QCOMPARE(pic.height(), 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x)
            QCOMPARE(pic.pixel(x, y), (x < 2 && y < 4) ? RGB(x, y, 100) : RGB(7, 7, 7));

    pic.setWidth(-3);
    QCOMPARE(pic.width(), 0);
    pic.setPixel(0, 0, 1); // nothing to write into
    QCOMPARE(pic.pixel(0, 0), -1);
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
    pic.setWidth(16);
    pic.setHeight(16);
    pic.setPixel(3, 3, RGB(50, 60, 70));
    pic.setPixelLimit(16 * 16);

    try {
        pic.setWidth(4096);
        QFAIL("a canvas over the limit was allocated");
    } catch (const CanvasTooLarge &failure) {
        QCOMPARE(failure.width, 4096);
        QCOMPARE(failure.height, 16);
    }
    QCOMPARE(pic.width(), 16);
    QCOMPARE(pic.height(), 16);
    QCOMPARE(pic.pixel(3, 3), RGB(50, 60, 70));

    // Shrinking stays possible.
    pic.setWidth(8);
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
