// The tone curves as FFmpeg's tonemap filter and libplacebo apply them,
// against what the programs themselves made of greys
// (tests/data/tonemap-references.txt, written by make-tonemap-references).

#include "colour/ToneMapping.h"
#include "colour/TransferFunctions.h"

#include <QFile>
#include <QTest>

#include <cmath>

using namespace ToneMapping;

class tst_ToneMapping : public QObject
{
    Q_OBJECT

private slots:
    void againstPrograms_data();
    void againstPrograms();
};

void tst_ToneMapping::againstPrograms_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("curve");
    QTest::addColumn<double>("param");
    QTest::addColumn<QVector<double>>("inputs"); // FFmpeg: peak, x; libplacebo: 10-bit PQ code
    QTest::addColumn<double>("expected");

    QFile file(QStringLiteral(TINTWELL_TEST_DATA "/tonemap-references.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.fileName()));
    int line = 0;
    while (!file.atEnd()) {
        const QString text = QString::fromUtf8(file.readLine()).trimmed();
        ++line;
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVector<double> inputs;
        for (qsizetype i = 3; i + 1 < f.size(); ++i)
            inputs << f[i].toDouble();
        QTest::addRow("%d %s", line, qPrintable(text)) << f[0] << f[1] << (f[2] == QLatin1String("nan") ? std::nan("") : f[2].toDouble())
                                                       << inputs << f.last().toDouble();
    }
}

// FFmpeg's floats agree to theirs; libplacebo's 16-bit output, read from a
// table on the GPU, to a sixth of an 8-bit level.
void tst_ToneMapping::againstPrograms()
{
    QFETCH(QString, program);
    QFETCH(QString, curve);
    QFETCH(double, param);
    QFETCH(QVector<double>, inputs);
    QFETCH(double, expected);

    Curve which = Curve::Clip;
    bool known = false;
    for (const Curve c : Curves)
        if (Name(c) == curve.toStdString()) {
            which = c;
            known = true;
        }
    QVERIFY2(known, qPrintable(curve));

    if (program == QLatin1String("ffmpeg")) {
        const double p = std::isnan(param) ? DefaultParam(which, Flavour::Ffmpeg) : param;
        const double got = Ffmpeg(which, inputs[1], inputs[0], p);
        QVERIFY2(std::abs(got - expected) <= 2e-6 + 2e-6 * std::abs(expected),
                 qPrintable(QStringLiteral("%1, FFmpeg %2").arg(got, 0, 'g', 9).arg(expected, 0, 'g', 9)));
        return;
    }
    // A file with no metadata onto an SDR target of 1000:1.
    const PlaceboCurve mapped(which, param, 0.005 / PlaceboWhite, TransferFunctions::PqPeak / PlaceboWhite, 0.001, 1);
    const double light = TransferFunctions::PqToNits(std::round(inputs[0] / 1023 * 65535) / 65535) / PlaceboWhite;
    const double got = mapped(light);
    QVERIFY2(std::abs(got - expected) <= 2.5e-3 / 3 + 1e-3 * expected,
             qPrintable(QStringLiteral("%1, libplacebo %2").arg(got, 0, 'g', 9).arg(expected, 0, 'g', 9)));
}

QTEST_APPLESS_MAIN(tst_ToneMapping)

#include "tst_tonemapping.moc"
