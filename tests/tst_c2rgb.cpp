#include "colour/C2rgb.h"

#include <QTest>

#include <cstdint>
#include <limits>

class tst_C2rgb : public QObject
{
    Q_OBJECT

private slots:
    void splitRGB_data();
    void splitRGB();
    void hex_data();
    void hex();
    void rgbCode_data();
    void rgbCode();
    void splitThenCode_data();
    void splitThenCode();
};

void tst_C2rgb::splitRGB_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    QTest::newRow("0x00FF0201") << qint32(16'712'193) << 1 << 2 << 255;
    QTest::newRow("black") << qint32(0) << 0 << 0 << 0;
    QTest::newRow("white") << qint32(16'777'215) << 255 << 255 << 255;
    QTest::newRow("blue 128") << qint32(8'388'608) << 0 << 0 << 128;
    QTest::newRow("bits above 23 ignored") << qint32(0x01123456) << 0x56 << 0x34 << 0x12;
    QTest::newRow("-1, no pixel") << qint32(-1) << -1 << -1 << -1;
    QTest::newRow("-256") << qint32(-256) << 0 << -1 << -1;
    QTest::newRow("-16777216") << qint32(-16'777'216) << 0 << 0 << 0;
    QTest::newRow("int32 min") << std::numeric_limits<qint32>::min() << 0 << 0 << 0;
    QTest::newRow("int32 max") << std::numeric_limits<qint32>::max() << 255 << 255 << 255;
    QTest::newRow("2^24 wraps to 0") << qint32(16'777'216) << 0 << 0 << 0;
    QTest::newRow("-65536") << qint32(-65'536) << 0 << 0 << -1;
    QTest::newRow("-16777215") << qint32(-16'777'215) << -255 << -256 << -256;
    QTest::newRow("-257") << qint32(-257) << -1 << -2 << -1;
}

void tst_C2rgb::splitRGB()
{
    QFETCH(qint32, value);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);

    // Start from garbage: every output must be written.
    std::int16_t r = 1234, g = 1234, b = 1234;
    C2rgb::SplitRGB(value, r, g, b);
    QCOMPARE(int(r), red);
    QCOMPARE(int(g), green);
    QCOMPARE(int(b), blue);
}

void tst_C2rgb::hex_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("text");

    QTest::newRow("0 has one digit") << 0 << "0";
    QTest::newRow("10") << 10 << "A";
    QTest::newRow("15") << 15 << "F";
    QTest::newRow("16") << 16 << "10";
    QTest::newRow("255") << 255 << "FF";
    QTest::newRow("-1 as 16-bit") << -1 << "FFFF";
    QTest::newRow("-256") << -256 << "FF00";
    QTest::newRow("int16 min") << -32768 << "8000";
    QTest::newRow("int16 max") << 32767 << "7FFF";
}

void tst_C2rgb::hex()
{
    QFETCH(int, channel);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(C2rgb::Hex(static_cast<std::int16_t>(channel))), text);
}

void tst_C2rgb::rgbCode_data()
{
    using Style = C2rgb::CodeStyle;
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<Style>("style");
    QTest::addColumn<QString>("code");

    QTest::newRow("plain 1,2,255") << 1 << 2 << 255 << Style::Plain << "0102FF";
    QTest::newRow("plain red") << 255 << 0 << 0 << Style::Plain << "FF0000";
    QTest::newRow("comma 1,2,255") << 1 << 2 << 255 << Style::Comma << "01,02,FF";
    QTest::newRow("comma red") << 255 << 0 << 0 << Style::Comma << "FF,00,00";
    QTest::newRow("prefixed 1,2,255") << 1 << 2 << 255 << Style::Prefixed << "&&h01,&&h02,&&hFF";
    QTest::newRow("prefixed red") << 255 << 0 << 0 << Style::Prefixed << "&&hFF,&&h00,&&h00";
    QTest::newRow("two digits, upper case") << 10 << 11 << 12 << Style::Plain << "0A0B0C";
    // Values outside the enumeration, as an integer cast to it: plain.
    QTest::newRow("style 3 is plain") << 10 << 11 << 12 << Style(3) << "0A0B0C";
    QTest::newRow("style -1 is plain") << 10 << 11 << 12 << Style(-1) << "0A0B0C";
    QTest::newRow("style int max is plain") << 1 << 2 << 3 << Style(std::numeric_limits<int>::max()) << "010203";
    QTest::newRow("-1 channels like white") << -1 << -1 << -1 << Style::Plain << "FFFFFF";
    QTest::newRow("-256 keeps low byte") << -256 << -256 << -256 << Style::Plain << "000000";
    QTest::newRow("above 255 keeps low byte") << 0x1AB << 0x100 << 0x7FFF << Style::Plain << "AB00FF";
    QTest::newRow("-1 prefixed") << -1 << 0 << 16 << Style::Prefixed << "&&hFF,&&h00,&&h10";
}

void tst_C2rgb::rgbCode()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(C2rgb::CodeStyle, style);
    QFETCH(QString, code);

    const std::string text = C2rgb::RGBCode(static_cast<std::int16_t>(red), static_cast<std::int16_t>(green),
                                            static_cast<std::int16_t>(blue), style);
    QCOMPARE(QString::fromStdString(text), code);
}

// The colour pick's path: a colour value to its plain code, red first.
void tst_C2rgb::splitThenCode_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QString>("code");

    QTest::newRow("0x00FF0201") << qint32(0x00FF0201) << "0102FF";
    QTest::newRow("white") << qint32(0x00FFFFFF) << "FFFFFF";
    QTest::newRow("black") << qint32(0) << "000000";
    QTest::newRow("-1 reads as white") << qint32(-1) << "FFFFFF";
    QTest::newRow("0x01123456") << qint32(0x01123456) << "563412";
    QTest::newRow("int32 min") << std::numeric_limits<qint32>::min() << "000000";
    QTest::newRow("int32 max") << std::numeric_limits<qint32>::max() << "FFFFFF";
}

void tst_C2rgb::splitThenCode()
{
    QFETCH(qint32, value);
    QFETCH(QString, code);

    std::int16_t r, g, b;
    C2rgb::SplitRGB(value, r, g, b);
    QCOMPARE(QString::fromStdString(C2rgb::RGBCode(r, g, b, C2rgb::CodeStyle::Plain)), code);
}

QTEST_APPLESS_MAIN(tst_C2rgb)
#include "tst_c2rgb.moc"
