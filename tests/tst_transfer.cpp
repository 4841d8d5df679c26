// The transfer curves and ICtCp against what FFmpeg's zscale (zimg) makes of
// the same values (tests/data/zscale-transfers.txt, written by
// make-zscale-transfers beside it), and ΔE_ITP's own properties.

#include "colour/DeltaEItp.h"
#include "colour/TransferFunctions.h"

#include <QFile>
#include <QTest>

#include <array>
#include <cmath>

using namespace TransferFunctions;

class tst_Transfer : public QObject
{
    Q_OBJECT

private slots:
    void againstZscale_data();
    void againstZscale();
    void roundTrips_data();
    void roundTrips();
    void hlgSystemGamma();
    void deltaEItp();
};

void tst_Transfer::againstZscale_data()
{
    QTest::addColumn<QString>("conversion");
    QTest::addColumn<Rgb>("in");
    QTest::addColumn<Rgb>("expected");

    QFile file(QStringLiteral(TINTWELL_TEST_DATA "/zscale-transfers.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.fileName()));
    int line = 0;
    while (!file.atEnd()) {
        const QString text = QString::fromUtf8(file.readLine()).trimmed();
        ++line;
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(f.size(), 7);
        const auto at = [&](int i) { return f[i].toDouble(); };
        QTest::addRow("%d %s %s %s %s", line, qPrintable(f[0]), qPrintable(f[1]), qPrintable(f[2]), qPrintable(f[3]))
            << f[0] << Rgb {at(1), at(2), at(3)} << Rgb {at(4), at(5), at(6)};
    }
}

// zimg works in 32-bit floats with approximations of its own, ICtCp comes
// back in 16-bit codes: the tolerances are theirs. Light is compared where
// its differences count alike, as PQ signals. zimg 3.0.4 applies HLG's OOTF
// to each channel of RGB alone: its colours are checked against that.
void tst_Transfer::againstZscale()
{
    QFETCH(QString, conversion);
    QFETCH(Rgb, in);
    QFETCH(Rgb, expected);

    Rgb got {};
    bool light = false;
    double tolerance = 1e-4;
    const auto each = [&](auto &&f) {
        for (std::size_t c = 0; c < 3; ++c)
            got[c] = f(in[c]);
    };
    if (conversion == QLatin1String("nits-pq")) {
        each(NitsToPq);
    } else if (conversion == QLatin1String("pq-nits")) {
        each(PqToNits);
        light = true;
    } else if (conversion == QLatin1String("nits-hlg")) {
        got = NitsToHlg(in, HlgNominalPeak, 0, HlgOotfMode::PerChannel);
    } else if (conversion == QLatin1String("hlg-nits")) {
        got = HlgToNits(in, HlgNominalPeak, 0, HlgOotfMode::PerChannel);
        light = true;
    } else if (conversion == QLatin1String("linear-bt1886")) {
        each([](double v) { return NitsToBt1886(v, 1); });
    } else if (conversion == QLatin1String("bt1886-linear")) {
        each([](double v) { return Bt1886ToNits(v, 1); });
    } else if (conversion == QLatin1String("linear-srgb")) {
        each(LinearToSrgb);
    } else if (conversion == QLatin1String("srgb-linear")) {
        each(SrgbToLinear);
    } else if (conversion == QLatin1String("nits-ictcp")) {
        const DeltaEItp::Ictcp ictcp = DeltaEItp::FromBt2020Nits(in);
        got = {ictcp.i, ictcp.ct, ictcp.cp};
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown conversion ") + conversion));
    }
    if (light)
        for (std::size_t c = 0; c < 3; ++c) {
            got[c] = NitsToPq(got[c]);
            expected[c] = NitsToPq(expected[c]);
        }
    for (std::size_t c = 0; c < 3; ++c)
        QVERIFY2(std::abs(got[c] - expected[c]) <= tolerance,
                 qPrintable(QStringLiteral("channel %1: %2, zscale %3").arg(c).arg(got[c], 0, 'g', 9).arg(expected[c], 0, 'g', 9)));
}

void tst_Transfer::roundTrips_data()
{
    QTest::addColumn<int>("curve");
    QTest::addColumn<double>("white");
    for (const Curve curve : {Curve::Pq, Curve::Hlg, Curve::Bt1886, Curve::Srgb, Curve::Gamma22, Curve::Linear})
        for (const double white : {100.0, 203.0, 1000.0, 4000.0})
            QTest::addRow("%s %g", Name(curve).data(), white) << int(curve) << white;
}

// Signal to light and back, on colours too (HLG's OOTF mixes the channels).
void tst_Transfer::roundTrips()
{
    QFETCH(int, curve);
    QFETCH(double, white);
    for (const Rgb signal : {Rgb {0, 0, 0}, Rgb {0.001, 0.001, 0.001}, Rgb {0.5, 0.5, 0.5}, Rgb {1, 1, 1},
                             Rgb {0.9, 0.1, 0.3}, Rgb {0.02, 0.6, 0.95}, Rgb {0.75, 0.0, 0.75}}) {
        const Rgb back = FromNits(Curve(curve), ToNits(Curve(curve), signal, white), white);
        for (std::size_t c = 0; c < 3; ++c)
            QVERIFY2(std::abs(back[c] - signal[c]) < 1e-9,
                     qPrintable(QStringLiteral("%1 -> %2").arg(signal[c]).arg(back[c], 0, 'g', 12)));
    }
}

// BT.2100's system gamma and its black lift: 1.2 at 1,000 cd/m², BT.2390's
// 1.0 for a 400 cd/m² display rounded; signal 0 lands on the black.
void tst_Transfer::hlgSystemGamma()
{
    QCOMPARE(HlgSystemGamma(1000), 1.2);
    QVERIFY(std::abs(HlgSystemGamma(400) - 1.0329) < 1e-4);
    QVERIFY(std::abs(HlgSystemGamma(2000) - 1.3264) < 1e-4);
    const Rgb black = HlgToNits({0, 0, 0}, 1000, 0.1);
    QVERIFY2(std::abs(black[1] - 0.1) < 1e-9, qPrintable(QString::number(black[1])));
    const Rgb white = HlgToNits({1, 1, 1}, 1000, 0.1);
    QVERIFY2(std::abs(white[1] - 1000) < 1e-3, qPrintable(QString::number(white[1], 'g', 12)));
}

// Its own scale: a grey against itself 0; each channel's share as BT.2124
// weighs it (T halved); a just-visible step near 100 cd/m² counts about 1.
void tst_Transfer::deltaEItp()
{
    using DeltaEItp::Between;
    QCOMPARE(Between(Rgb {100, 100, 100}, Rgb {100, 100, 100}), 0.0);
    const DeltaEItp::Ictcp a = DeltaEItp::FromBt2020Nits({80, 40, 10});
    const DeltaEItp::Ictcp b = DeltaEItp::FromBt2020Nits({60, 50, 30});
    const double expected = 720 * std::sqrt(std::pow(a.i - b.i, 2) + std::pow((a.ct - b.ct) / 2, 2) + std::pow(a.cp - b.cp, 2));
    QCOMPARE(Between(a, b), expected);
    const double step = Between(Rgb {100, 100, 100}, Rgb {101, 101, 101});
    QVERIFY2(step > 0.5 && step < 2, qPrintable(QString::number(step)));
}

QTEST_APPLESS_MAIN(tst_Transfer)

#include "tst_transfer.moc"
