// Colour-managed pictures: the profiles make embeds, read back by readers
// that are not ours (Qt's QColorSpace, ImageMagick), with the numbers
// unchanged; profiles carried by JPEG, TIFF and WebP as ImageMagick embeds
// them, and damaged ones refused with a reason while the census goes on.

#include "FileTesting.h"

#include <QColorSpace>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

using namespace FileTesting;

namespace {

struct Run
{
    int exitCode = -1;
    QStringList lines;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            process.readAllStandardError()};
}

Run sheet(const QStringList &arguments)
{
    return runProgram(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
}

// ImageMagick by path: a stand-in of the same name may come first on PATH.
const QString Convert = QStringLiteral("/usr/bin/convert");
const QString Identify = QStringLiteral("/usr/bin/identify");

QString profileLine(const Run &census)
{
    for (const QString &line : census.lines)
        if (line.startsWith(QLatin1String("profile: ")))
            return line;
    return {};
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk;
    const quint32 length = quint32(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.append(char(length >> shift));
    chunk += type + data;
    const quint32 crc = quint32(::crc32(0, reinterpret_cast<const Bytef *>(chunk.constData() + 4), uInt(chunk.size() - 4)));
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.append(char(crc >> shift));
    return chunk;
}

} // namespace

class tst_profiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString &name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // make --profile: Qt and ImageMagick read the profile back as the set
    // asked for; our census names it and finds the sheet's own numbers.
    void madeProfilesReadBack_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("qtPrimaries");
        QTest::addColumn<int>("qtTransfer");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("ours");

        using P = QColorSpace::Primaries;
        using T = QColorSpace::TransferFunction;
        QTest::newRow("srgb") << "srgb" << int(P::SRgb) << int(T::SRgb) << "sRGB"
                              << "profile: ICC \"sRGB\": primaries BT.709, white D65, transfer sRGB";
        QTest::newRow("p3") << "p3" << int(P::DciP3D65) << int(T::SRgb) << "Display P3"
                            << "profile: ICC \"Display P3\": primaries Display P3, white D65, transfer sRGB";
        QTest::newRow("adobe") << "adobe" << int(P::AdobeRgb) << int(T::Gamma) << "Adobe RGB"
                               << "profile: ICC \"Adobe RGB\": primaries Adobe RGB, white D65, transfer gamma 2.2";
        // Qt names no BT.2020, and its curve is BT.709's: custom both.
        QTest::newRow("bt2020") << "bt2020" << int(P::Custom) << int(T::Custom) << "BT.2020"
                                << "profile: ICC \"BT.2020\": primaries BT.2020, white D65, transfer BT.709";
    }

    void madeProfilesReadBack()
    {
        QFETCH(QString, profile);
        QFETCH(int, qtPrimaries);
        QFETCH(int, qtTransfer);
        QFETCH(QString, description);
        QFETCH(QString, ours);

        const QString file = path(profile + QLatin1String(".png"));
        const Run made = sheet({"make", "64kilo", file, "--profile", profile});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        const QImage read(file);
        QVERIFY(read.colorSpace().isValid());
        QCOMPARE(int(read.colorSpace().primaries()), qtPrimaries);
        QCOMPARE(int(read.colorSpace().transferFunction()), qtTransfer);
        const Run identify = runProgram(Identify, {"-format", "%[icc:description]", file});
        QCOMPARE(identify.lines.value(0), description);

        const Run census = sheet({"census", file, "--mode", "64kilo"});
        QCOMPARE(census.exitCode, 0); // the numbers are the sheet's, pixel for pixel
        QCOMPARE(profileLine(census), ours);
    }

    // The same profile as ImageMagick carries it in other files, and files
    // whose profile is damaged: refused with the reason, the census goes on.
    void embeddedProfiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString p3 = QStringLiteral("profile: ICC \"Display P3\": primaries Display P3, white D65, transfer sRGB");
        QTest::newRow("JPEG") << "p3.jpg" << p3;
        QTest::newRow("TIFF") << "p3.tif" << p3;
        QTest::newRow("WebP") << "p3.webp" << p3;
        QTest::newRow("PNG, cICP over the ICC profile")
            << "cicp.png" << "profile: cICP: primaries BT.2020, transfer PQ, full range (over ICC \"Display P3\": "
                             "primaries Display P3, white D65, transfer sRGB)";
        QTest::newRow("PNG, iCCP cut short") << "cut.png"
                                             << "profile: refused: its ICC profile is damaged (the compressed data "
                                                "ends early)";
        QTest::newRow("PNG, iCCP of no ICC profile")
            << "notprofile.png" << "profile: refused: the ICC profile is malformed";
        QTest::newRow("JPEG, one of two parts") << "half.jpg"
                                                << "profile: refused: its ICC profile is split into 2 parts, of "
                                                   "which 1 are there or numbered wrongly";
    }

    void embeddedProfiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);

        const QString p3 = path(QStringLiteral("source-p3.png"));
        if (!QFile::exists(p3))
            QCOMPARE(sheet({"make", "4096", p3, "--profile", "p3"}).exitCode, 0);
        const QByteArray png = readAll(p3);
        // After the signature and IHDR, before the rest.
        const qsizetype afterHeader = 8 + 25;
        const qsizetype iccpAt = png.indexOf("iCCP") - 4;
        QVERIFY(iccpAt == afterHeader);
        const qsizetype iccpLength = (uchar(png[iccpAt]) << 24) | (uchar(png[iccpAt + 1]) << 16)
                                     | (uchar(png[iccpAt + 2]) << 8) | uchar(png[iccpAt + 3]);
        const QByteArray iccp = png.mid(iccpAt + 8, iccpLength);
        const QByteArray rest = png.mid(iccpAt + 12 + iccpLength);
        const QByteArray header = png.left(afterHeader);

        const QString file = path(name);
        if (name.startsWith(QLatin1String("p3."))) {
            QCOMPARE(runProgram(Convert, {p3, file}).exitCode, 0);
        } else if (name == QLatin1String("cicp.png")) {
            QVERIFY(writeAll(file, header + pngChunk("cICP", QByteArray("\x09\x10\x00\x01", 4))
                                       + pngChunk("iCCP", iccp) + rest));
        } else if (name == QLatin1String("cut.png")) {
            QVERIFY(writeAll(file, header + pngChunk("iCCP", iccp.left(iccp.size() / 2)) + rest));
        } else if (name == QLatin1String("notprofile.png")) {
            const QByteArray words = QByteArray("ICC\0\0", 5) + qCompress(QByteArray(600, 'x')).mid(4);
            QVERIFY(writeAll(file, header + pngChunk("iCCP", words) + rest));
        } else {
            // ImageMagick's JPEG, its ICC_PROFILE segment marked the first of two.
            QCOMPARE(runProgram(Convert, {p3, file}).exitCode, 0);
            QByteArray jpeg = readAll(file);
            const qsizetype marker = jpeg.indexOf(QByteArray("ICC_PROFILE\0", 12));
            QVERIFY(marker > 0);
            jpeg[marker + 13] = 2;
            QVERIFY(writeAll(file, jpeg));
        }
        const Run census = sheet({"census", file});
        QVERIFY2(census.exitCode == 0, census.err.constData());
        QVERIFY2(profileLine(census).startsWith(expected), qPrintable(profileLine(census)));
        QVERIFY(census.lines.contains(QStringLiteral("size: 64x64")));
    }
};

QTEST_GUILESS_MAIN(tst_profiles)
#include "tst_profiles.moc"
