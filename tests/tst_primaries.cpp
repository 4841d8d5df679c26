// The sets of primaries against matrices published by the standards and by
// W3C's CSS Color 4 (tests/data/primaries-published.txt), and whole
// conversions of encoded numbers against Qt's own colour transforms, which
// are written independently (through the ICC D50 connection space).

#include "colour/Primaries.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QFile>
#include <QTest>

#include <cmath>

using Primaries::Set;

class tst_Primaries : public QObject
{
    Q_OBJECT

private slots:
    void publishedMatrices_data();
    void publishedMatrices();
    void againstQt_data();
    void againstQt();
    void compressionKeepsLuminance();
    void fastCurvesAgree();
};

namespace {

double number(const QByteArray &text)
{
    const qsizetype slash = text.indexOf('/');
    bool ok = false, okBelow = true;
    const double value = slash < 0 ? text.toDouble(&ok) : text.left(slash).toDouble(&ok) / text.mid(slash + 1).toDouble(&okBelow);
    if (!ok || !okBelow)
        qFatal("primaries-published.txt: '%s' is no number", text.constData());
    return value;
}

Set setNamed(const QByteArray &name)
{
    const std::optional<Set> set = Primaries::Named(name.toStdString());
    if (!set)
        qFatal("primaries-published.txt: no set of primaries is called '%s'", name.constData());
    return *set;
}

} // namespace

void tst_Primaries::publishedMatrices_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QList<double>>("published");

    QFile file(QStringLiteral(TINTWELL_TEST_DATA "/primaries-published.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    int rows = 0;
    for (int line = 1; !file.atEnd(); ++line) {
        const QByteArray text = file.readLine().trimmed();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        const QList<QByteArray> fields = text.simplified().split(' ');
        QCOMPARE(fields.size(), 13);
        QList<double> values;
        for (qsizetype i = 4; i < fields.size(); ++i)
            values << number(fields[i]);
        QTest::addRow("line %d: %s %s %s", line, fields[0].constData(), fields[1].constData(), fields[2].constData())
            << fields[0] << fields[1] << fields[2] << number(fields[3]) << values;
        ++rows;
    }
    QVERIFY(rows >= 10);
}

void tst_Primaries::publishedMatrices()
{
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(double, tolerance);
    QFETCH(QList<double>, published);

    const Primaries::Matrix3 computed = kind == "rgb-xyz"   ? Primaries::RgbToXyz(setNamed(from))
                                        : kind == "xyz-rgb" ? Primaries::XyzToRgb(setNamed(from))
                                                            : Primaries::Conversion(setNamed(from), setNamed(to));
    for (int i = 0; i < 9; ++i) {
        const double value = computed[std::size_t(i / 3)][std::size_t(i % 3)];
        if (std::abs(value - published[i]) > tolerance)
            QFAIL(qPrintable(QStringLiteral("row %1, column %2: computed %3, published %4")
                                 .arg(i / 3)
                                 .arg(i % 3)
                                 .arg(value, 0, 'f', 6)
                                 .arg(published[i], 0, 'f', 6)));
    }
}

void tst_Primaries::againstQt_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QColorSpace>("fromSpace");
    QTest::addColumn<QColorSpace>("toSpace");

    const QColorSpace srgb(QColorSpace::SRgb);
    const QColorSpace p3(QColorSpace::DisplayP3);
    const QColorSpace adobe(QColorSpace::AdobeRgb);
    // BT.2020 primaries with the sRGB curve: Qt names no BT.2020 space.
    const auto &d = Primaries::Of(Set::Bt2020);
    const QColorSpace bt2020(QPointF(d.white.x, d.white.y), QPointF(d.red.x, d.red.y), QPointF(d.green.x, d.green.y),
                             QPointF(d.blue.x, d.blue.y), QColorSpace::TransferFunction::SRgb);
    QTest::newRow("sRGB to Display P3") << int(Set::Bt709) << int(Set::DisplayP3) << srgb << p3;
    QTest::newRow("Display P3 to sRGB (clipped)") << int(Set::DisplayP3) << int(Set::Bt709) << p3 << srgb;
    QTest::newRow("Adobe RGB to sRGB (clipped)") << int(Set::AdobeRgb) << int(Set::Bt709) << adobe << srgb;
    QTest::newRow("sRGB to Adobe RGB") << int(Set::Bt709) << int(Set::AdobeRgb) << srgb << adobe;
    QTest::newRow("BT.2020 to sRGB (clipped)") << int(Set::Bt2020) << int(Set::Bt709) << bt2020 << srgb;
}

// Every colour of a 17-level cube, 16 bits a channel, as Qt's transform
// converts it and as ours does: the same within a few 16-bit steps (Qt
// applies its curves through tables).
void tst_Primaries::againstQt()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QColorSpace, fromSpace);
    QFETCH(QColorSpace, toSpace);

    const auto fromSet = Set(from), toSet = Set(to);
    // Both with the curve Qt gives them: sRGB's, or Adobe RGB's power.
    const auto curve = [](Set set) {
        return set == Set::AdobeRgb ? Primaries::Transfer::AdobeRgb : Primaries::Transfer::Srgb;
    };
    const Primaries::Converter ours(fromSet, toSet, Primaries::GamutHandling::Clip, curve(fromSet), curve(toSet));
    const QColorTransform theirs = fromSpace.transformationToColorSpace(toSpace);
    double worst = 0;
    constexpr int Levels = 17;
    for (int r = 0; r < Levels; ++r)
        for (int g = 0; g < Levels; ++g)
            for (int b = 0; b < Levels; ++b) {
                const Primaries::Vector3 in {r / 16.0, g / 16.0, b / 16.0};
                const Primaries::Vector3 out = ours(in);
                const QRgba64 qt = theirs.map(QRgba64::fromRgba64(quint16(std::lround(in[0] * 65535)),
                                                                  quint16(std::lround(in[1] * 65535)),
                                                                  quint16(std::lround(in[2] * 65535)), 65535));
                worst = std::max({worst, std::abs(out[0] - qt.red() / 65535.0), std::abs(out[1] - qt.green() / 65535.0),
                                  std::abs(out[2] - qt.blue() / 65535.0)});
            }
    // Well within half an 8-bit level.
    QVERIFY2(worst < 0.5 / 255, qPrintable(QStringLiteral("largest difference %1 of full scale").arg(worst)));
}

// Out of gamut, compression desaturates towards the colour's own luminance
// just as far as it must (one channel at the edge); clipping changes it.
void tst_Primaries::compressionKeepsLuminance()
{
    const Primaries::Vector3 weights = Primaries::RgbToXyz(Set::Bt709)[1];
    const auto luminance = [&](const Primaries::Vector3 &c) { return weights[0] * c[0] + weights[1] * c[1] + weights[2] * c[2]; };
    for (const auto &[from, colour] : {std::pair {Set::DisplayP3, Primaries::Vector3 {0, 1, 0}},
                                       std::pair {Set::Bt2020, Primaries::Vector3 {0, 1, 1}},
                                       std::pair {Set::AdobeRgb, Primaries::Vector3 {0.2, 0.9, 0.1}}}) {
        const Primaries::Vector3 linear = Primaries::Apply(Primaries::Conversion(from, Set::Bt709), colour);
        QVERIFY(!Primaries::InGamut(linear));
        const auto compressed = Primaries::IntoGamut(linear, Primaries::GamutHandling::Compress, weights);
        const auto clipped = Primaries::IntoGamut(linear, Primaries::GamutHandling::Clip, weights);
        QVERIFY(std::abs(luminance(compressed) - luminance(linear)) < 1e-12);
        QVERIFY(std::abs(luminance(clipped) - luminance(linear)) > 1e-3);
        QVERIFY(std::any_of(compressed.begin(), compressed.end(), [](double c) { return c < 1e-12 || c > 1 - 1e-12; }));
    }
}

// The tables a conversion of many colours goes through give the formulas'
// values, near black (where the curves are steepest) included.
void tst_Primaries::fastCurvesAgree()
{
    using Primaries::Transfer;
    for (const Transfer transfer : {Transfer::Linear, Transfer::Srgb, Transfer::Bt709, Transfer::Gamma22,
                                    Transfer::Gamma24, Transfer::AdobeRgb}) {
        double worst = 0;
        for (int i = 0; i <= 100000; ++i) {
            const double v = i / 100000.0;
            worst = std::max({worst, std::abs(Primaries::ToLinearFast(transfer, v) - Primaries::ToLinear(transfer, v)),
                              std::abs(Primaries::FromLinearFast(transfer, v) - Primaries::FromLinear(transfer, v))});
        }
        QVERIFY2(worst < 1e-4, qPrintable(QStringLiteral("curve %1: %2 off").arg(int(transfer)).arg(worst)));
        QCOMPARE(Primaries::FromLinearFast(transfer, -0.25), Primaries::FromLinear(transfer, -0.25));
    }
}

QTEST_APPLESS_MAIN(tst_Primaries)
#include "tst_primaries.moc"
