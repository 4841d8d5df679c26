// The census's engines: the CIEDE2000 difference against its published test
// pairs, the error measures on pairs worked out by hand, and finding a sheet
// pasted into a larger picture, lossless, through JPEG and scaled.

#include "SheetFormulas.h"
#include "SheetPicture.h"

#include "census/CensusReport.h"
#include "colour/Ciede2000.h"
#include "census/ErrorMeasures.h"
#include "census/SheetSearch.h"
#include "picture/RowBands.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <span>
#include <new>
#include <thread>

namespace {

// Something like a desktop: flat panels of random colours, some noise, a grey gradient.
QImage background(QSize size, QRandomGenerator &random)
{
    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int x = 0; x < size.width(); ++x)
        painter.fillRect(x, 0, 1, size.height(), QColor(x * 255 / size.width(), 128, 128));
    for (int i = 0; i < 40; ++i)
        painter.fillRect(random.bounded(size.width()), random.bounded(size.height()), random.bounded(200),
                         random.bounded(200), QColor::fromRgb(random.generate()));
    painter.end();
    for (int i = 0; i < size.width() * size.height() / 20; ++i)
        picture.setPixel(random.bounded(size.width()), random.bounded(size.height()), random.generate());
    return picture;
}

QImage throughJpeg(const QImage &picture, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "jpg", quality);
    return QImage::fromData(bytes, "jpg").convertToFormat(QImage::Format_RGB32);
}

QImage deep(const QImage &picture)
{
    return picture.convertToFormat(QImage::Format_RGBX64);
}

// A pair of CIELAB colours of one kind, for the batch forms.
enum class Pairs { Near, Far, Greyish, Opposite, Around275, AcrossZero, EightBit };

std::pair<Ciede2000::Lab, Ciede2000::Lab> pairOf(Pairs kind, QRandomGenerator &random)
{
    const auto uniform = [&random](double low, double high) { return low + (high - low) * random.generateDouble(); };
    const auto polar = [](double L, double chroma, double degrees) {
        const double h = degrees * std::numbers::pi / 180;
        return Ciede2000::Lab {L, chroma * std::cos(h), chroma * std::sin(h)};
    };
    const Ciede2000::Lab one {uniform(0, 100), uniform(-110, 110), uniform(-110, 110)};
    switch (kind) {
    case Pairs::Near:
        return {one, {one.L + uniform(-2, 2), one.a + uniform(-2, 2), one.b + uniform(-2, 2)}};
    case Pairs::Far:
        return {one, {uniform(0, 100), uniform(-110, 110), uniform(-110, 110)}};
    case Pairs::Greyish: {
        // Some exactly grey, some within a hair of it.
        const double a = random.bounded(3) == 0 ? 0.0 : uniform(-1e-3, 1e-3);
        return {{one.L, a, random.bounded(2) ? 0.0 : uniform(-1, 1)}, {uniform(0, 100), 0, uniform(-1e-3, 1e-3)}};
    }
    case Pairs::Opposite: {
        const double h = uniform(0, 360);
        return {polar(one.L, uniform(0, 80), h), polar(uniform(0, 100), uniform(0, 80), h + 180)};
    }
    case Pairs::Around275:
        return {polar(one.L, uniform(0, 80), uniform(150, 400)), polar(uniform(0, 100), uniform(0, 80), uniform(150, 400))};
    case Pairs::AcrossZero:
        return {polar(one.L, uniform(5, 80), uniform(-20, 0)), polar(one.L, uniform(5, 80), uniform(0, 20))};
    case Pairs::EightBit: // made by the test itself
        break;
    }
    return {one, one};
}

} // namespace

class tst_Census : public QObject
{
    Q_OBJECT

private slots:
    void ciede2000_data();
    void ciede2000();
    void labOfSrgb();
    void batchAgreesWithTextbook_data();
    void batchAgreesWithTextbook();
    void measuresOfAHandMadePair();
    void measuresAgreeWithEveryPixel_data();
    void measuresAgreeWithEveryPixel();
    void findSheet_data();
    void findSheet();
    void noPlacement();
    void censusOfAPictureHeld_data();
    void censusOfAPictureHeld();
    void bandThatThrowsLeavesNoThreadRunning();
};

void tst_Census::ciede2000_data()
{
    QTest::addColumn<Ciede2000::Lab>("one");
    QTest::addColumn<Ciede2000::Lab>("two");
    QTest::addColumn<double>("expected");

    // Sharma, Wu and Dalal's published test pairs (the file names its source).
    const QString fileName = QStringLiteral(TINTWELL_TEST_DATA "/ciede2000-pairs.csv");
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        QFAIL(qPrintable(QStringLiteral("The CIEDE2000 test pairs %1 cannot be read: %2")
                             .arg(fileName, file.errorString())));
    int pair = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('L')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        QCOMPARE(fields.size(), 7);
        std::array<double, 7> v {};
        for (int i = 0; i < 7; ++i) {
            bool ok = false;
            v[std::size_t(i)] = fields[i].toDouble(&ok);
            QVERIFY2(ok, qPrintable(line));
        }
        ++pair;
        QTest::addRow("pair %d", pair) << Ciede2000::Lab {v[0], v[1], v[2]} << Ciede2000::Lab {v[3], v[4], v[5]}
                                       << v[6];
    }
    QCOMPARE(pair, 34);
}

void tst_Census::ciede2000()
{
    QFETCH(Ciede2000::Lab, one);
    QFETCH(Ciede2000::Lab, two);
    QFETCH(double, expected);
    // To the four decimals published, either way round.
    QCOMPARE(std::round(Ciede2000::Difference(one, two) * 10000) / 10000, expected);
    QCOMPARE(std::round(Ciede2000::Difference(two, one) * 10000) / 10000, expected);
}

void tst_Census::labOfSrgb()
{
    // sRGB primaries and greys in CIELAB (D65), as colour references give them.
    const struct
    {
        QRgb rgb;
        Ciede2000::Lab lab;
    } colours[] = {{0xFF0000, {53.2408, 80.0925, 67.2032}}, {0x00FF00, {87.7347, -86.1827, 83.1793}},
                   {0x0000FF, {32.2970, 79.1875, -107.8602}}, {0xFFFFFF, {100, 0, 0}},
                   {0x808080, {53.5850, 0, 0}}, {0x010101, {0.2742, 0, 0}}};
    for (const auto &colour : colours) {
        const Ciede2000::Lab lab =
            Ciede2000::FromSrgb(qRed(colour.rgb) / 255.0, qGreen(colour.rgb) / 255.0, qBlue(colour.rgb) / 255.0);
        const QString text = QStringLiteral("%1: %2 %3 %4").arg(colour.rgb, 6, 16).arg(lab.L).arg(lab.a).arg(lab.b);
        QVERIFY2(std::abs(lab.L - colour.lab.L) < 0.005 && std::abs(lab.a - colour.lab.a) < 0.005
                     && std::abs(lab.b - colour.lab.b) < 0.005,
                 qPrintable(text));
    }
}

void tst_Census::batchAgreesWithTextbook_data()
{
    QTest::addColumn<Pairs>("kind");
    QTest::newRow("near each other") << Pairs::Near;
    QTest::newRow("anywhere") << Pairs::Far;
    QTest::newRow("greys and nearly greys") << Pairs::Greyish;
    QTest::newRow("opposite hues") << Pairs::Opposite;
    QTest::newRow("mean hue around 275 degrees") << Pairs::Around275;
    QTest::newRow("hues either side of 0 degrees") << Pairs::AcrossZero;
    QTest::newRow("8-bit sRGB colours converted in a batch") << Pairs::EightBit;
}

void tst_Census::batchAgreesWithTextbook()
{
    QFETCH(Pairs, kind);
    // Not a multiple of any vector width or chunk, so that the ends are used too.
    constexpr std::size_t Count = 20011;
    QRandomGenerator random(quint32(kind) + 11);
    std::vector<double> columns(6 * Count);
    double *L1 = &columns[0], *a1 = &columns[Count], *b1 = &columns[2 * Count];
    double *L2 = &columns[3 * Count], *a2 = &columns[4 * Count], *b2 = &columns[5 * Count];
    std::vector<Ciede2000::Lab> ones(Count), twos(Count);
    for (std::size_t i = 0; i < Count; ++i) {
        std::tie(ones[i], twos[i]) = pairOf(kind, random);
        L1[i] = ones[i].L, a1[i] = ones[i].a, b1[i] = ones[i].b, L2[i] = twos[i].L, a2[i] = twos[i].a, b2[i] = twos[i].b;
    }
    if (kind == Pairs::EightBit) {
        // The same colours again from linear light by the batch conversion.
        std::vector<double> red(Count), green(Count), blue(Count);
        for (double *L : {L1, L2}) {
            for (std::size_t i = 0; i < Count; ++i) {
                const QRgb rgb = random.generate();
                red[i] = Ciede2000::Linear(qRed(rgb) / 255.0);
                green[i] = Ciede2000::Linear(qGreen(rgb) / 255.0);
                blue[i] = Ciede2000::Linear(qBlue(rgb) / 255.0);
                (L == L1 ? ones : twos)[i] = Ciede2000::FromSrgb(qRed(rgb) / 255.0, qGreen(rgb) / 255.0, qBlue(rgb) / 255.0);
            }
            Ciede2000::FromLinear(red.data(), green.data(), blue.data(), Count, L, L + Count, L + 2 * Count);
        }
    }
    std::vector<double> differences(Count);
    Ciede2000::Differences({L1, a1, b1}, {L2, a2, b2}, Count, differences.data());
    for (std::size_t i = 0; i < Count; ++i) {
        const double textbook = Ciede2000::TextbookDifference(ones[i], twos[i]);
        if (!(std::abs(differences[i] - textbook) <= 1e-5))
            QFAIL(qPrintable(QStringLiteral("pair %1: (%2 %3 %4) (%5 %6 %7): %8, textbook %9")
                                 .arg(i)
                                 .arg(ones[i].L)
                                 .arg(ones[i].a)
                                 .arg(ones[i].b)
                                 .arg(twos[i].L)
                                 .arg(twos[i].a)
                                 .arg(twos[i].b)
                                 .arg(differences[i], 0, 'g', 12)
                                 .arg(textbook, 0, 'g', 12)));
    }
}

void tst_Census::measuresOfAHandMadePair()
{
    // The sheet black, white, 0A141E, 646464; the picture has red 5 and 3
    // off in two pixels, blue 10 off in the last: 3 pixels of 4 differ.
    QImage sheet(2, 2, QImage::Format_RGB32);
    sheet.setPixel(0, 0, 0xFF000000);
    sheet.setPixel(1, 0, 0xFFFFFFFF);
    sheet.setPixel(0, 1, 0xFF0A141E);
    sheet.setPixel(1, 1, 0xFF646464);
    QImage copy = sheet;
    copy.setPixel(1, 0, 0xFFFAFFFF);
    copy.setPixel(0, 1, 0xFF0D141E);
    copy.setPixel(1, 1, 0xFF64646E);
    // Channel differences 5, 3 and 10 among 12 channels: mean 18 / 12,
    // squares 25 + 9 + 100 = 134.
    const double psnr = 10 * std::log10(12.0 * 255 * 255 / 134);
    QCOMPARE(std::round(psnr * 100) / 100, 37.65);

    // The same pair as it is, shown at scale 3 inside a larger picture, and at 16 bits.
    QImage large(9, 8, QImage::Format_RGB32);
    large.fill(0xFF123456);
    {
        QPainter painter(&large);
        painter.drawImage(QRect(2, 1, 6, 6), copy.scaled(6, 6));
    }
    struct Case
    {
        const char *name;
        QImage picture;
        QPoint origin;
        int scale;
    };
    const Case cases[] = {{"as it is", copy, {0, 0}, 1},
                          {"at scale 3 at (2, 1)", large, {2, 1}, 3},
                          {"at 16 bits", deep(copy), {0, 0}, 1}};
    for (const Case &c : cases) {
        std::vector<std::uint16_t> worst;
        const ErrorMeasures m = ErrorMeasures::Measure(c.picture, c.origin, c.scale, sheet, &worst);
        QVERIFY2(m.differingPixels == 3 * c.scale * c.scale, c.name);
        QVERIFY2(m.maxChannelDifference == 10, c.name);
        QVERIFY2(std::abs(m.meanChannelDifference - 1.5) < 1e-12, c.name);
        QVERIFY2(std::abs(m.psnr() - psnr) < 1e-9, c.name);
        QVERIFY2(m.maxDe2000 > m.meanDe2000 && m.meanDe2000 > 0, c.name);
        QVERIFY2((worst == std::vector<std::uint16_t> {0, 5 * 257, 3 * 257, 10 * 257}), c.name);
        // Within 1 and 2 levels: the exact pixel; within 4, the one 3 off.
        const qint64 block = c.scale * c.scale;
        QVERIFY2(m.withinOneLevel == block && m.withinTwoLevels == block && m.withinFourLevels == 2 * block, c.name);
        // The worst places: picture pixels showing the three that differ, the largest first.
        const std::vector<ErrorMeasures::Place> places = ErrorMeasures::WorstPlaces(c.picture, c.origin, c.scale, sheet, 4);
        QVERIFY2(places.size() == std::size_t(std::min<qint64>(4, 3 * block)), c.name);
        // The worst list takes each pair on its own, the measures in batches: they agree within 1e-8.
        QVERIFY2(std::abs(places.front().de2000 - m.maxDe2000) < 1e-6, c.name);
        for (std::size_t i = 0; i < places.size(); ++i) {
            const QPoint offset = places[i].place - c.origin;
            const QPoint inSheet(offset.x() / c.scale, offset.y() / c.scale);
            QVERIFY2(inSheet != QPoint(0, 0) && places[i].sheet == (sheet.pixel(inSheet) & 0xFFFFFFu), c.name);
            QVERIFY2(i == 0 || places[i].de2000 <= places[i - 1].de2000, c.name);
        }
    }
    // A large picture measured against the wrong place: the block straddles the background.
    QVERIFY(ErrorMeasures::Measure(large, {1, 1}, 3, sheet).differingPixels > 3 * 9);

    // Identical: every measure zero, PSNR infinite. At 16 bits one step of
    // 65535 in a low byte is a difference of 1/257 of an 8-bit level.
    const ErrorMeasures same = ErrorMeasures::Measure(sheet, {0, 0}, 1, sheet);
    QCOMPARE(same.differingPixels, 0);
    QCOMPARE(same.meanChannelDifference, 0.0);
    QCOMPARE(same.maxDe2000, 0.0);
    QVERIFY(std::isinf(same.psnr()));
    QImage lowByte = deep(sheet);
    lowByte.setPixelColor(1, 1, QColor::fromRgba64(QRgba64::fromRgba64(100 * 257, 100 * 257, 100 * 257 + 1, 65535)));
    const ErrorMeasures low = ErrorMeasures::Measure(lowByte, {0, 0}, 1, sheet);
    QCOMPARE(low.differingPixels, 1);
    QCOMPARE(low.maxChannelDifference, 1.0 / 257);
    QVERIFY(low.maxDe2000 > 0 && low.maxDe2000 < 0.01);
}

void tst_Census::measuresAgreeWithEveryPixel_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<int>("scale");
    // Most pixels differ (rows measured whole), a few do (in batches), a
    // scaled copy (neighbours repeating their pair), a deep picture.
    QTest::addColumn<int>("mode");
    for (const char *picture : {"jpeg 85", "a few pixels off", "16 bits"})
        QTest::addRow("%s", picture) << QString::fromLatin1(picture) << 1 << 3;
    QTest::addRow("jpeg 85 at scale 3") << QStringLiteral("jpeg 85") << 3 << 3;
    // 27 pixels a row: the last pixels of each row after the groups of four.
    QTest::addRow("729, jpeg 85") << QStringLiteral("jpeg 85") << 1 << 7;
    QTest::addRow("729, a few pixels off") << QStringLiteral("a few pixels off") << 1 << 7;
}

void tst_Census::measuresAgreeWithEveryPixel()
{
    QFETCH(QString, picture);
    QFETCH(int, scale);
    QFETCH(int, mode);
    const QImage sheet = SheetPicture(mode);
    const int side = sheet.width() * scale;
    QImage shown = throughJpeg(sheet.scaled(side, side), 85);
    QRandomGenerator random(5);
    if (picture == QLatin1String("a few pixels off")) {
        shown = sheet;
        for (int i = 0; i < 300; ++i)
            shown.setPixel(random.bounded(side), random.bounded(side), random.generate());
    } else if (picture == QLatin1String("16 bits")) {
        shown = deep(shown);
        for (int y = 0; y < side; ++y)
            for (QRgba64 &pixel : std::span(reinterpret_cast<QRgba64 *>(shown.scanLine(y)), std::size_t(side)))
                pixel.setGreen(quint16(std::clamp(int(pixel.green()) + int(random.bounded(200)) - 100, 0, 65535)));
    }

    // Every pixel on its own, through the textbook formula.
    const bool deepShown = shown.depth() == 64;
    double sum = 0, largest = 0;
    // The channel differences, in 8-bit levels.
    double sumAbs = 0, sumSquares = 0, mostLevels = 0;
    qint64 differing = 0, withinTwo = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const QRgb expected = sheet.pixel(x / scale, y / scale);
            const QRgba64 found = deepShown ? shown.pixelColor(x, y).rgba64() : QRgba64::fromArgb32(shown.pixel(x, y));
            const Ciede2000::Lab one = Ciede2000::FromSrgb(qRed(expected) / 255.0, qGreen(expected) / 255.0,
                                                           qBlue(expected) / 255.0);
            const Ciede2000::Lab two =
                Ciede2000::FromSrgb(found.red() / 65535.0, found.green() / 65535.0, found.blue() / 65535.0);
            const bool same = qRed(expected) * 257 == found.red() && qGreen(expected) * 257 == found.green()
                              && qBlue(expected) * 257 == found.blue();
            const double de = same ? 0.0 : Ciede2000::TextbookDifference(one, two);
            sum += de;
            largest = std::max(largest, de);
            double most = 0;
            for (const auto &[want, got] : {std::pair(qRed(expected), found.red()), std::pair(qGreen(expected), found.green()),
                                           std::pair(qBlue(expected), found.blue())}) {
                const double levels = std::abs(want * 257.0 - got) / 257.0;
                sumAbs += levels;
                sumSquares += levels * levels;
                most = std::max(most, levels);
            }
            mostLevels = std::max(mostLevels, most);
            differing += !same;
            withinTwo += most <= 2;
        }
    const ErrorMeasures m = ErrorMeasures::Measure(shown, {0, 0}, scale, sheet);
    const double channels = 3.0 * side * side;
    QCOMPARE(m.differingPixels, differing);
    QCOMPARE(m.withinTwoLevels, withinTwo);
    QCOMPARE(m.maxChannelDifference, mostLevels);
    QVERIFY(std::abs(m.meanChannelDifference - sumAbs / channels) < 1e-9);
    QVERIFY(std::abs(m.meanSquaredError - sumSquares / channels / (255.0 * 255.0)) < 1e-12);
    QVERIFY2(std::abs(m.meanDe2000 - sum / side / side) < 1e-7,
             qPrintable(QStringLiteral("%1, each pixel %2").arg(m.meanDe2000, 0, 'g', 12).arg(sum / side / side, 0, 'g', 12)));
    QVERIFY2(std::abs(m.maxDe2000 - largest) < 1e-6,
             qPrintable(QStringLiteral("%1, each pixel %2").arg(m.maxDe2000, 0, 'g', 12).arg(largest, 0, 'g', 12)));
}

void tst_Census::findSheet_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("path"); // lossless, jpeg 85, scale N
    for (const int mode : {2, 3, 4, 6, 7})
        for (const char *path : {"lossless", "jpeg 85", "scale 2"})
            QTest::addRow("mode %d, %s", mode, path) << mode << QString::fromLatin1(path);
    // A capture of a screen zoomed to 300 % and 400 %.
    for (const int mode : {4, 7})
        for (const char *path : {"scale 3", "scale 4"})
            QTest::addRow("mode %d, %s", mode, path) << mode << QString::fromLatin1(path);
}

void tst_Census::findSheet()
{
    QFETCH(int, mode);
    QFETCH(QString, path);

    QRandomGenerator random(quint32(mode * 7919 + path.size()));
    const QImage sheet = SheetPicture(mode);
    const int scale = path.startsWith(QLatin1String("scale ")) ? path.mid(6).toInt() : 1;
    const int shown = sheet.width() * scale;
    QImage picture = background(QSize(shown + 200 + random.bounded(300), shown + 100 + random.bounded(200)), random);
    const QPoint offset(random.bounded(picture.width() - shown + 1), random.bounded(picture.height() - shown + 1));
    {
        QPainter painter(&picture);
        painter.drawImage(QRect(offset, QSize(shown, shown)), sheet.scaled(shown, shown));
    }
    if (path == QLatin1String("jpeg 85"))
        picture = throughJpeg(picture, 85);

    const SheetSearch::Placement found = SheetSearch::Find(picture, sheet);
    QVERIFY2(found.plausible, qPrintable(QStringLiteral("error %1").arg(found.error)));
    QCOMPARE(QPoint(found.x, found.y), offset);
    QCOMPARE(found.scale, scale);
    if (path != QLatin1String("jpeg 85")) {
        QCOMPARE(found.error, 0.0);
        const ErrorMeasures m = ErrorMeasures::Measure(picture, offset, scale, sheet);
        QCOMPARE(m.differingPixels, 0);
        QCOMPARE(m.maxChannelDifference, 0.0);
        QCOMPARE(m.maxDe2000, 0.0);
        QVERIFY(std::isinf(m.psnr()));
    }
}

void tst_Census::noPlacement()
{
    // The sheet flipped is no placement of it.
    QRandomGenerator random(17);
    const QImage sheet = SheetPicture(3);
    QImage picture = background(QSize(600, 400), random);
    {
        QPainter painter(&picture);
        painter.drawImage(QPoint(100, 50), sheet.mirrored(true, true));
    }
    const SheetSearch::Placement found = SheetSearch::Find(picture, sheet);
    QVERIFY(!found.plausible);
    QVERIFY(found.error > 20);
}

void tst_Census::censusOfAPictureHeld_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("changed"); // pixels of the sheet changed
    QTest::newRow("RGB32") << int(QImage::Format_RGB32) << 8 << 3;
    QTest::newRow("RGB888, a view's") << int(QImage::Format_RGB888) << 8 << 5;
    QTest::newRow("premultiplied ARGB32") << int(QImage::Format_ARGB32_Premultiplied) << 8 << 0;
    QTest::newRow("RGBA64 premultiplied, 16 bits") << int(QImage::Format_RGBA64_Premultiplied) << 16 << 7;
    QTest::newRow("nothing") << int(QImage::Format_Invalid) << 8 << 0;
}

// A picture held in memory (a frame, a view's picture) in whatever format
// it came: the census finds and measures it as the reader's own.
void tst_Census::censusOfAPictureHeld()
{
    QFETCH(int, format);
    QFETCH(int, depth);
    QFETCH(int, changed);

    const QImage sheet = SheetPicture(3);
    QImage picture(700, 500, QImage::Format_RGB32);
    picture.fill(0xFF336699);
    {
        QPainter painter(&picture);
        painter.drawImage(QPoint(123, 45), sheet);
    }
    for (int i = 0; i < changed; ++i)
        picture.setPixel(123 + 10 * i + 5, 45 + 7, picture.pixel(123 + 10 * i + 5, 45 + 7) ^ 0x000001u);
    CensusReport::Request request;
    request.sheet = sheet;
    const PictureReader::Picture held {format == QImage::Format_Invalid
                                           ? QImage()
                                           : picture.convertToFormat(QImage::Format(format)),
                                       depth};
    const CensusReport::Result result = CensusReport::Run(held, QStringLiteral("frame 7"), request);
    if (format == QImage::Format_Invalid) {
        QCOMPARE(result.outcome, CensusReport::Outcome::Failed);
        QVERIFY2(result.error.contains(QLatin1String("frame 7")), qPrintable(result.error));
        return;
    }
    QVERIFY2(result.lines.contains(QLatin1String("offset: 123 45")), qPrintable(result.lines.join('\n')));
    QVERIFY(result.lines.contains(QStringLiteral("depth: %1").arg(depth)));
    QVERIFY(result.lines.contains(QStringLiteral("differing pixels: %1").arg(changed)));
    QCOMPARE(result.outcome, changed ? CensusReport::Outcome::Differs : CensusReport::Outcome::Matches);
}

// A band that throws (out of memory, say) while others run on their own
// threads: the exception reaches the caller after every thread has ended,
// instead of ending the program with threads left joinable.
void tst_Census::bandThatThrowsLeavesNoThreadRunning()
{
    constexpr int Bands = 4;
    std::atomic<int> finished {0};
    bool caught = false;
    try {
        RowBands::Run(400, Bands, [&](int band, int, int) {
            if (band == 0)
                throw std::bad_alloc();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++finished;
        });
    } catch (const std::bad_alloc &) {
        caught = true;
    }
    QVERIFY(caught);
    QCOMPARE(finished.load(), Bands - 1);
}

QTEST_GUILESS_MAIN(tst_Census)
#include "tst_census.moc"
