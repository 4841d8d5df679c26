// Colour look-up tables: the .cube reader and writer, HaldCLUT pictures and
// the interpolations, against tables whose answers are known by hand.

#include "lut/ColourLut.h"
#include "lut/CubeFile.h"
#include "lut/HaldClut.h"
#include "lut/SheetLut.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

#include <clocale>
#include <cmath>

namespace {

// A table of `size` nodes a channel whose node (i, j, k) holds f(i, j, k)
// at the even levels from 0 to 1.
template <typename F>
LutTable tableOf(int size, const F &f)
{
    LutTable table;
    for (LutAxis &axis : table.axes)
        axis = LutAxis::Even(size);
    for (int b = 0; b < size; ++b)
        for (int g = 0; g < size; ++g)
            for (int r = 0; r < size; ++r) {
                const LutRgb c = f(double(r) / (size - 1), double(g) / (size - 1), double(b) / (size - 1));
                table.nodes.insert(table.nodes.end(), {c.r, c.g, c.b});
            }
    return table;
}

LutTable identity(int size)
{
    return tableOf(size, [](double r, double g, double b) { return LutRgb {float(r), float(g), float(b)}; });
}

QByteArray cubeText(const LutTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString reason;
    if (!CubeFile::Write(table, QStringLiteral("test"), buffer, reason))
        return {};
    return buffer.data();
}

// A picture holding a spread of colours, every level of each channel among them.
QImage colourfulPicture(QImage::Format format)
{
    QImage picture(256, 64, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(x, (x * 7 + y * 13) & 255, (y * 37 + x / 3) & 255, (x + y) & 255));
    return picture.convertToFormat(format);
}

} // namespace

class TestLut : public QObject
{
    Q_OBJECT

private slots:
    void cubeFilesOfOthers_data();
    void cubeFilesOfOthers();
    void malformedCubeFiles_data();
    void malformedCubeFiles();
    void writtenCubeReadsBack();
    void interpolations_data();
    void interpolations();
    void identityKeepsPictures_data();
    void identityKeepsPictures();
    void haldPictures();
    void colourHeldTwiceTakesTheMean();
};

// Files as other programs and people write them, and what they turn a colour into.
void TestLut::cubeFilesOfOthers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<float>>("input");
    QTest::addColumn<QList<float>>("expected");

    // The table swaps red and blue.
    const QByteArray swap = "0 0 0\n0 0 1\n0 1 0\n0 1 1\n1 0 0\n1 0 1\n1 1 0\n1 1 1\n";
    QTest::newRow("keywords, comments, blank lines, CR LF")
        << QByteArray("# made by hand\r\n\r\nTITLE \"Swap # red and blue\"\r\nLUT_3D_SIZE 2\r\n\r\n"
                      "0 0 0\r\n0 0 1\r\n0 1 0 # green\r\n0 1 1\r\n1 0 0\r\n1 0 1\r\n1 1 0\r\n1 1 1")
        << QList<float> {0.25f, 0.5f, 1.0f} << QList<float> {1.0f, 0.5f, 0.25f};
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFLUT_3D_SIZE 2\n") + swap
                                     << QList<float> {0.0f, 0.0f, 0.5f} << QList<float> {0.5f, 0.0f, 0.0f};
    QTest::newRow("lower-case keywords, tabs, signs and exponents")
        << QByteArray("lut_3d_size\t2\n+0 -0 0e0\n0 0 1.0\n0 1 0\n0 1 1\n1 0 0\n1 0 1\n.1e1 1 0\n1 1 1E0\n")
        << QList<float> {0.0f, 0.0f, 0.75f} << QList<float> {0.75f, 0.0f, 0.0f};
    // The domain maps 0..2 onto the table; the input is held at its ends.
    QTest::newRow("DOMAIN_MIN and DOMAIN_MAX")
        << QByteArray("DOMAIN_MIN 0 0 0\nDOMAIN_MAX 2 2 2\nLUT_3D_SIZE 2\n") + swap
        << QList<float> {0.5f, 1.0f, 0.0f} << QList<float> {0.0f, 0.5f, 0.25f};
    QTest::newRow("domain below 0")
        << QByteArray("DOMAIN_MIN -1 -1 -1\nDOMAIN_MAX 1 1 1\nLUT_3D_SIZE 2\n") + swap
        << QList<float> {0.0f, 0.5f, 1.0f} << QList<float> {1.0f, 0.75f, 0.5f};
    QTest::newRow("Resolve's input range")
        << QByteArray("LUT_3D_INPUT_RANGE 0 0.5\nLUT_3D_SIZE 2\n") + swap
        << QList<float> {0.25f, 1.0f, 0.1f} << QList<float> {0.2f, 1.0f, 0.5f};
    // A curve per channel: red squared by its three points, green inverted,
    // blue kept.
    QTest::newRow("1D table")
        << QByteArray("TITLE \"curves\"\nLUT_1D_SIZE 3\n0 1 0\n0.25 0.5 0.5\n1 0 1\n")
        << QList<float> {0.75f, 0.25f, 0.3f} << QList<float> {0.625f, 0.75f, 0.3f};
    QTest::newRow("1D and 3D, as Resolve writes them")
        << QByteArray("LUT_1D_SIZE 2\nLUT_3D_SIZE 2\n0 0 0\n0.5 0.5 0.5\n") + swap
        << QList<float> {1.0f, 0.5f, 0.0f} << QList<float> {0.0f, 0.25f, 0.5f};
}

void TestLut::cubeFilesOfOthers()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<float>, input);
    QFETCH(QList<float>, expected);
    ColourLut lut;
    CubeFile::ReadError error;
    QVERIFY2(CubeFile::Read(text, lut, error), qPrintable(QStringLiteral("line %1: %2").arg(error.line).arg(error.what)));
    const LutRgb out = lut.map({input[0], input[1], input[2]}, Interpolation::Tetrahedral);
    QVERIFY2(std::abs(out.r - expected[0]) < 1e-6f && std::abs(out.g - expected[1]) < 1e-6f
                 && std::abs(out.b - expected[2]) < 1e-6f,
             qPrintable(QStringLiteral("%1 %2 %3").arg(out.r).arg(out.g).arg(out.b)));
}

void TestLut::malformedCubeFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("what");

    const QByteArray eight = "0 0 0\n0 0 1\n0 1 0\n0 1 1\n1 0 0\n1 0 1\n1 1 0\n1 1 1\n";
    QTest::newRow("short data") << QByteArray("LUT_3D_SIZE 2\n0 0 0\n0 0 1\n\n") << 4 << "ends after 2 of its 8";
    QTest::newRow("a line too many") << QByteArray("LUT_3D_SIZE 2\n") + eight + "1 1 1\n" << 10 << "more data lines";
    QTest::newRow("size 257") << QByteArray("TITLE \"big\"\nLUT_3D_SIZE 257\n") << 2 << "not between 2 and 256";
    QTest::newRow("size 1") << QByteArray("LUT_3D_SIZE 1\n0 0 0\n") << 1 << "not between 2 and 256";
    QTest::newRow("size 256, no data to hold it") << QByteArray("LUT_3D_SIZE 256\n0 0 0\n") << 2
                                                << "ends after 1 of its 16777216";
    QTest::newRow("keyword twice") << QByteArray("LUT_3D_SIZE 2\n# again\nLUT_3D_SIZE 2\n") + eight << 3
                                   << "stands twice (first on line 1)";
    QTest::newRow("text in the numbers") << QByteArray("LUT_3D_SIZE 2\n0 0 0\n0 zero 1\n") + eight.mid(12) << 3
                                         << "'zero' is not a number";
    QTest::newRow("comma as decimal point") << QByteArray("LUT_3D_SIZE 2\n0 0 0\n0 0 0,5\n") + eight.mid(12) << 3
                                            << "not ','";
    QTest::newRow("two numbers") << QByteArray("LUT_3D_SIZE 2\n0 0\n") << 2 << "needs 3 numbers";
    QTest::newRow("not finite") << QByteArray("LUT_3D_SIZE 2\n0 0 nan\n") << 2 << "'nan' is not a number";
    QTest::newRow("data before the size") << QByteArray("0 0 0\nLUT_3D_SIZE 2\n") << 1 << "before LUT_3D_SIZE";
    QTest::newRow("keyword after the data") << QByteArray("LUT_3D_SIZE 2\n") + eight + "TITLE \"late\"\n" << 10
                                            << "after the table's data";
    QTest::newRow("unknown keyword") << QByteArray("LUT_3D_SIZE 2\nLUT_4D_SIZE 2\n") << 2 << "unknown keyword";
    QTest::newRow("empty domain") << QByteArray("DOMAIN_MIN 0 0 1\nDOMAIN_MAX 1 1 1\nLUT_3D_SIZE 2\n") + eight << 2
                                  << "not below DOMAIN_MAX";
    QTest::newRow("no size at all") << QByteArray("TITLE \"nothing\"\n\n") << 2 << "no LUT_3D_SIZE";
    QTest::newRow("size with a fraction") << QByteArray("LUT_3D_SIZE 2.5\n") << 1 << "one whole number";
    QTest::newRow("binary") << QByteArray("LUT_3D_SIZE 2\n\0\0\0", 17) << 2 << "NUL";
}

void TestLut::malformedCubeFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, what);
    ColourLut lut;
    CubeFile::ReadError error;
    QVERIFY(!CubeFile::Read(text, lut, error));
    QCOMPARE(error.line, line);
    QVERIFY2(error.what.contains(what), qPrintable(error.what));
}

// What we write: the layout every reader agrees on, in the C locale whatever
// the user's, and the same table when read back.
void TestLut::writtenCubeReadsBack()
{
    const char *comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const LutTable table = tableOf(5, [](double r, double g, double b) {
        return LutRgb {float(r * r), float(1 - g), float(b / 3 + 0.123456)};
    });
    const QByteArray text = cubeText(table);
    std::setlocale(LC_ALL, "C");
    if (!comma)
        qInfo("no de_DE locale here: written in the C locale only");

    QVERIFY(text.startsWith("TITLE \"test\"\nLUT_3D_SIZE 5\n"));
    QVERIFY(!text.contains('\r') && !text.contains(',') && !text.contains("DOMAIN"));
    QCOMPARE(text.count('\n'), 2 + 125);
    QVERIFY(text.contains("\n0.062500 1.000000 0.123456\n")); // red 0.25 comes second: red changes fastest

    ColourLut lut;
    CubeFile::ReadError error;
    QVERIFY(CubeFile::Read(text, lut, error));
    QVERIFY(lut.table && !lut.curves);
    QCOMPARE(lut.table->nodes.size(), table.nodes.size());
    for (std::size_t i = 0; i < table.nodes.size(); ++i)
        QVERIFY(std::abs(lut.table->nodes[i] - table.nodes[i]) <= 5e-7f);
}

// Each interpolation on tables whose answers are known: an affine map is
// kept exactly by tetrahedral and trilinear interpolation, and nearest takes
// the node closest to the point.
void TestLut::interpolations_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QList<float>>("input");
    QTest::addColumn<QList<float>>("expected");
    for (int method : {int(Interpolation::Tetrahedral), int(Interpolation::Trilinear)}) {
        const QByteArray name = method == int(Interpolation::Tetrahedral) ? "tetrahedral" : "trilinear";
        QTest::newRow(name + ", inside a cell") << method << QList<float> {0.3f, 0.9f, 0.55f}
                                                << QList<float> {0.5f * 0.3f + 0.25f * 0.9f, 1 - 0.55f, 0.9f - 0.3f};
        QTest::newRow(name + ", on the diagonal") << method << QList<float> {0.4f, 0.4f, 0.4f}
                                                  << QList<float> {0.3f, 0.6f, 0.0f};
        QTest::newRow(name + ", at the top corner") << method << QList<float> {1, 1, 1} << QList<float> {0.75f, 0, 0};
    }
    QTest::newRow("nearest") << int(Interpolation::Nearest) << QList<float> {0.3f, 0.9f, 0.55f}
                             << QList<float> {0.5f * 0.25f + 0.25f, 1 - 0.5f, 1 - 0.25f};
    QTest::newRow("nearest, half way goes up") << int(Interpolation::Nearest) << QList<float> {0.125f, 0, 0}
                                               << QList<float> {0.125f, 1, -0.25f};
}

void TestLut::interpolations()
{
    QFETCH(int, method);
    QFETCH(QList<float>, input);
    QFETCH(QList<float>, expected);
    ColourLut lut;
    lut.table = tableOf(5, [](double r, double g, double b) {
        return LutRgb {float(0.5 * r + 0.25 * g), float(1 - b), float(g - r)};
    });
    const LutRgb out = lut.map({input[0], input[1], input[2]}, Interpolation(method));
    QVERIFY2(std::abs(out.r - expected[0]) < 1e-6f && std::abs(out.g - expected[1]) < 1e-6f
                 && std::abs(out.b - expected[2]) < 1e-6f,
             qPrintable(QStringLiteral("%1 %2 %3").arg(out.r).arg(out.g).arg(out.b)));
}

// An identity table of any size leaves a picture as it was, 8 or 16 bits,
// alpha and all; an inverting one inverts every
// level exactly (values are rounded, not truncated).
void TestLut::identityKeepsPictures_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("method");
    for (int size : {2, 17, 33}) {
        for (int method : {int(Interpolation::Tetrahedral), int(Interpolation::Trilinear)}) {
            QTest::addRow("RGB32, %d points, method %d", size, method) << int(QImage::Format_RGB32) << size << method;
            QTest::addRow("ARGB32, %d points, method %d", size, method) << int(QImage::Format_ARGB32) << size << method;
        }
    }
    QTest::addRow("RGBA64, 33 points") << int(QImage::Format_RGBA64) << 33 << 0;
    QTest::addRow("RGBX64, 2 points") << int(QImage::Format_RGBX64) << 2 << 1;
}

void TestLut::identityKeepsPictures()
{
    QFETCH(int, format);
    QFETCH(int, size);
    QFETCH(int, method);
    const QImage original = colourfulPicture(QImage::Format(format));
    ColourLut lut;
    lut.table = identity(size);
    QImage picture = original.copy();
    QVERIFY(lut.apply(picture, Interpolation(method)));
    QCOMPARE(picture.format(), original.format());
    QCOMPARE(picture, original);

    lut.table = tableOf(size, [](double r, double g, double b) {
        return LutRgb {float(1 - r), float(1 - g), float(1 - b)};
    });
    QVERIFY(lut.apply(picture, Interpolation(method)));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgba64 in = original.pixelColor(x, y).rgba64();
            const QRgba64 out = picture.pixelColor(x, y).rgba64();
            QCOMPARE(out.red(), quint16(65535 - in.red()));
            QCOMPARE(out.blue(), quint16(65535 - in.blue()));
            QCOMPARE(out.alpha(), in.alpha());
        }
}

// HaldCLUTs: the layout (red fastest along the rows), 16 bits below level
// 16, the sizes a HaldCLUT can have.
void TestLut::haldPictures()
{
    const LutTable table = identity(4); // level 2: 8 x 8 pixels
    const QImage picture = HaldClut::ToPicture(table);
    QCOMPARE(picture.size(), QSize(8, 8));
    QCOMPARE(picture.format(), QImage::Format_RGBX64);
    QCOMPARE(picture.pixelColor(1, 0).rgba64().red(), quint16(21845)); // node r=1 of 4: 1/3
    QCOMPARE(picture.pixelColor(4, 0).rgba64().green(), quint16(21845)); // node g=1
    QCOMPARE(picture.pixelColor(0, 2).rgba64().blue(), quint16(21845)); // node b=1: the 16th pixel
    LutTable back;
    QString reason;
    QVERIFY(HaldClut::FromPicture(picture, back, reason));
    QCOMPARE(back.axes[0].size(), 4);
    for (std::size_t i = 0; i < table.nodes.size(); ++i)
        QVERIFY(std::abs(back.nodes[i] - table.nodes[i]) < 1e-6f);

    for (const QSize size : {QSize(9, 9), QSize(8, 27), QSize(1, 1), QSize(7, 7)}) {
        QVERIFY(!HaldClut::FromPicture(QImage(size, QImage::Format_RGB32), back, reason));
        QVERIFY(reason.contains(QStringLiteral("not %1x%2").arg(size.width()).arg(size.height())));
    }
}

// "64kilo" holds 90FF20 in three places: edited to three reds, the colour
// becomes their mean, whatever the interpolation (it is a node).
void TestLut::colourHeldTwiceTakesTheMean()
{
    const int size = Sheets::Of(Mode::Colours64Kilo).size;
    QImage edited(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            edited.setPixel(x, y, ToRgb32(Sheets::ColourAt(Mode::Colours64Kilo, x, y)));
    QCOMPARE(edited.pixel(164, 200), qRgb(0x90, 0xFF, 0x20));
    edited.setPixel(100, 200, qRgb(0, 0xFF, 0x20));
    edited.setPixel(164, 200, qRgb(30, 0xFF, 0x20));
    edited.setPixel(228, 200, qRgb(90, 0xFF, 0x20));

    SheetLut lut;
    QString reason;
    QVERIFY(lut.load(edited, Mode::Colours64Kilo, reason));
    for (int method : {0, 1, 2}) {
        QImage picture(1, 1, QImage::Format_RGB32);
        picture.setPixel(0, 0, qRgb(0x90, 0xFF, 0x20));
        QVERIFY(lut.apply(picture, Interpolation(method)));
        QCOMPARE(picture.pixel(0, 0), qRgb(40, 0xFF, 0x20));
    }
    QVERIFY(!lut.load(edited.copy(0, 0, size, size - 1), Mode::Colours64Kilo, reason));
    QVERIFY(reason.contains(QLatin1String("256x255")));
}

QTEST_GUILESS_MAIN(TestLut)
#include "tst_lut.moc"
