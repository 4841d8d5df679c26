// Captures of the deep sheet made by the programs people use (FFmpeg's
// zscale and tonemap filters, its libplacebo filter on Vulkan), each told
// exactly what to do, and what the diagnosis names: the expected answer is
// the recipe given to the program, never our own simulation. The fix it
// writes, applied by FFmpeg's lut3d, is held against zscale's own SDR
// rendering of the sheet.

#include "FileTesting.h"

#include "hdr/DeepCapture.h"
#include "hdr/HdrDiagnosis.h"
#include "lut/CubeFile.h"
#include "picture/PictureReader.h"

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

bool run(const QString &program, const QStringList &arguments, QByteArray *errors = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForStarted() && process.waitForFinished(300'000)
                          && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (errors)
        *errors = process.readAllStandardError();
    return finished;
}

// zscale's graph from the sheet's light to an SDR picture through tonemap:
// light over `npl`, BT.709 primaries, the curve, BT.709's transfer.
QString tonemapGraph(const char *transferIn, int npl, const QString &tonemap, const char *transferOut,
                     const char *format)
{
    return QStringLiteral("zscale=tin=%1:min=gbr:pin=bt2020:rin=full:t=linear:m=gbr:p=bt2020:r=full:npl=%2,"
                          "format=gbrpf32le,zscale=tin=linear:t=linear:pin=bt2020:p=bt709:min=gbr:m=gbr,%3,"
                          "zscale=tin=linear:t=%4:pin=bt709:p=bt709:min=gbr:m=gbr:r=full,format=%5")
        .arg(QLatin1String(transferIn))
        .arg(npl)
        .arg(tonemap, QLatin1String(transferOut), QLatin1String(format));
}

QString placeboGraph(const char *curve, const char *gamut, const char *transferOut)
{
    return QStringLiteral("setparams=color_trc=smpte2084:color_primaries=bt2020:colorspace=gbr:range=pc,"
                          "format=rgba64le,hwupload,libplacebo=tonemapping=%1:gamut_mode=%2:peak_detect=0:"
                          "colorspace=gbr:color_primaries=bt709:color_trc=%3:range=pc:format=rgba,hwdownload,"
                          "format=rgba,format=rgb24")
        .arg(QLatin1String(curve), QLatin1String(gamut), QLatin1String(transferOut));
}

} // namespace

class tst_Hdr : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString &name) const { return dir_.filePath(name); }

    // The deep sheet of `options`, made once.
    QString sheet(const QStringList &options)
    {
        const QString name = path(QStringLiteral("sheet%1.png").arg(options.join(QString())));
        if (!QFile::exists(name) && !run(QStringLiteral(TINTWELL_SHEET_PROGRAM), QStringList {"make", "deep", name} + options))
            return {};
        return name;
    }

    HdrDiagnosis::Result diagnose(const QString &capture)
    {
        PictureReader::Picture picture;
        QString reason;
        if (!PictureReader::ReadPicture(capture, picture, reason))
            qFatal("%s: %s", qPrintable(capture), qPrintable(reason));
        const std::optional<DeepCapture::Placement> found = DeepCapture::Find(picture.image);
        if (!found)
            qFatal("no deep sheet in %s", qPrintable(capture));
        return HdrDiagnosis::Diagnose(picture.image, *found);
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void chains_data();
    void chains();
    void mpvShows_data();
    void mpvShows();
    void fixTakesTheCaptureToTheRendering();
};

void tst_Hdr::chains_data()
{
    QTest::addColumn<QStringList>("sheetOptions");
    QTest::addColumn<QString>("graph");
    QTest::addColumn<bool>("vulkan");
    QTest::addColumn<QJsonObject>("expected"); // facts as JSON; numbers within 3 % (white) or 5 % (peak)

    const auto facts = [](const char *transfer, const char *curve, double peak, double white) {
        QJsonObject tone {{QStringLiteral("curve"), QLatin1String(curve)}};
        if (peak > 0)
            tone.insert(QStringLiteral("source_peak"), peak);
        QJsonObject o {{QStringLiteral("transfer"), QLatin1String(transfer)}, {QStringLiteral("tone_mapping"), tone}};
        if (white > 0)
            o.insert(QStringLiteral("sdr_white"), white);
        return o;
    };
    const auto withGamut = [](QJsonObject o, const char *gamut) {
        o.insert(QStringLiteral("gamut"), QLatin1String(gamut));
        return o;
    };
    QTest::newRow("FFmpeg hable, peak 1000, npl 100, BT.709, 8 bits")
        << QStringList {} << tonemapGraph("smpte2084", 100, "tonemap=tonemap=hable:desat=0:peak=10", "bt709", "rgb24")
        << false << facts("BT.1886", "hable", 1000, 100);
    QTest::newRow("FFmpeg mobius, knee 0.5, peak 2000, npl 203, sRGB, 16 bits, desaturated")
        << QStringList {}
        << tonemapGraph("smpte2084", 203, "tonemap=tonemap=mobius:param=0.5:peak=9.852", "iec61966-2-1", "rgb48le")
        << false << facts("sRGB", "mobius", 2000, 203);
    QTest::newRow("FFmpeg reinhard of an HLG sheet, peak 1000, npl 150")
        << QStringList {"--transfer", "hlg"}
        << tonemapGraph("arib-std-b67", 150, "tonemap=tonemap=reinhard:desat=0:peak=6.667", "bt709", "rgb24")
        << false << facts("BT.1886", "reinhard", 1000, 150);
    QTest::newRow("libplacebo bt.2390, desaturated into BT.709")
        << QStringList {} << placeboGraph("bt.2390", "desaturate", "bt709") << true
        << withGamut(facts("BT.1886", "bt.2390", 10000, 203), "desaturate");
    QTest::newRow("libplacebo spline, darkened, sRGB")
        << QStringList {} << placeboGraph("spline", "darken", "iec61966-2-1") << true
        << withGamut(facts("sRGB", "spline", 10000, 203), "darken");
    // PQ numbers cut to 8 bits and nothing else: what a viewer that knows
    // no PQ shows.
    QTest::newRow("the grey picture") << QStringList {} << QStringLiteral("format=rgb24") << false
                                      << QJsonObject {{QStringLiteral("mismatch"),
                                                       QStringLiteral("PQ numbers shown as SDR with no tone mapping "
                                                                      "(the grey picture)")}};
    // An SDR sheet of white 100 on an HDR desktop whose SDR white is 300.
    QTest::newRow("SDR shown in PQ at 300 cd/m²")
        << QStringList {"--transfer", "sdr"}
        << QStringLiteral("zscale=tin=bt709:min=gbr:pin=bt2020:rin=full:t=smpte2084:m=gbr:p=bt2020:r=full:npl=300,"
                          "format=rgb48le")
        << false << facts("PQ", "none", 0, 300);
}

void tst_Hdr::chains()
{
    QFETCH(QStringList, sheetOptions);
    QFETCH(QString, graph);
    QFETCH(bool, vulkan);
    QFETCH(QJsonObject, expected);

    const QString source = sheet(sheetOptions);
    QVERIFY(!source.isEmpty());
    static int made = 0;
    const QString capture = path(QStringLiteral("capture-%1.png").arg(++made));
    QStringList arguments {"-v", "error", "-y"};
    if (vulkan)
        arguments << "-init_hw_device" << "vulkan";
    arguments << "-i" << source << "-vf" << graph << "-frames:v" << "1" << capture;
    QByteArray errors;
    QVERIFY2(run(Ffmpeg, arguments, &errors), errors.constData());

    const QJsonObject found = diagnose(capture).facts().json();
    const auto near = [](double got, double want, double share) { return std::abs(got - want) <= share * want; };
    for (auto i = expected.begin(); i != expected.end(); ++i) {
        const QJsonValue got = found.value(i.key());
        const QString shown = QStringLiteral("%1: %2 in %3").arg(i.key(), QString::fromUtf8(QJsonDocument(found).toJson()));
        if (i.value().isObject()) {
            const QJsonObject want = i.value().toObject(), have = got.toObject();
            QCOMPARE(have.value(QStringLiteral("curve")).toString(), want.value(QStringLiteral("curve")).toString());
            if (want.contains(QStringLiteral("source_peak")))
                QVERIFY2(near(have.value(QStringLiteral("source_peak")).toDouble(),
                              want.value(QStringLiteral("source_peak")).toDouble(), 0.05),
                         qPrintable(shown));
        } else if (i.value().isDouble()) {
            QVERIFY2(near(got.toDouble(), i.value().toDouble(), 0.03), qPrintable(shown));
        } else {
            QVERIFY2(got == i.value(), qPrintable(shown));
        }
    }
}

void tst_Hdr::mpvShows_data()
{
    QTest::addColumn<QString>("curve");
    // mpv's default, and a curve with a knee of its own.
    QTest::newRow("bt.2390") << "bt.2390";
    QTest::newRow("mobius") << "mobius";
}

// mpv plays the deep sheet's HEVC clip (its mastering display says 10,000
// cd/m²) in software under Xvfb and takes a screenshot of the video as it
// renders it: the curve told, its peak the clip's, its white mpv's 203.
void tst_Hdr::mpvShows()
{
    QFETCH(QString, curve);
    const QString clip = path(QStringLiteral("sheet.mp4"));
    if (!QFile::exists(clip))
        QVERIFY(run(QStringLiteral(TINTWELL_SHEET_PROGRAM), {"make", "deep", clip, "--seconds", "0.2", "--fps", "10"}));
    const QString script = path(QStringLiteral("shot.lua"));
    QVERIFY(FileTesting::writeAll(script, "local out = mp.get_opt('shot-file')\n"
                                          "mp.register_event('playback-restart', function()\n"
                                          "    mp.add_timeout(0.5, function()\n"
                                          "        mp.commandv('screenshot-to-file', out, 'video')\n"
                                          "        mp.command('quit')\n"
                                          "    end)\n"
                                          "end)\n"));
    const QString shot = path(QStringLiteral("mpv-%1.png").arg(curve));
    QByteArray errors;
    QVERIFY2(run(QStringLiteral("/usr/bin/xvfb-run"),
                 {"-a", "-s", "-screen 0 1920x1080x24", "/usr/bin/mpv", "--no-config", "--vo=gpu", "--gpu-sw=yes",
                  "--gpu-api=opengl", "--hwdec=no", "--keep-open=yes", "--osd-level=0", "--hdr-compute-peak=no",
                  "--script=" + script, "--script-opts=shot-file=" + shot, "--tone-mapping=" + curve,
                  "--screenshot-format=png", clip},
                 &errors)
                 && QFile::exists(shot),
             errors.constData());

    const QJsonObject found = diagnose(shot).facts().json();
    const QJsonObject tone = found.value(QStringLiteral("tone_mapping")).toObject();
    const QString shown = QString::fromUtf8(QJsonDocument(found).toJson());
    QCOMPARE(tone.value(QStringLiteral("curve")).toString(), curve);
    QVERIFY2(std::abs(tone.value(QStringLiteral("source_peak")).toDouble() - 10000) <= 500, qPrintable(shown));
    QVERIFY2(std::abs(found.value(QStringLiteral("sdr_white")).toDouble() - 203) <= 6, qPrintable(shown));
}

// The fix of a hable capture, applied by FFmpeg's lut3d, brings the greys,
// the colour ramps and the sweeps (all within SDR's light) back to what
// zscale renders of the sheet: light up to its white, BT.709, sRGB.
void tst_Hdr::fixTakesTheCaptureToTheRendering()
{
    const QString source = sheet({});
    const QString capture = path(QStringLiteral("fix-capture.png"));
    QVERIFY(run(Ffmpeg, {"-v", "error", "-y", "-i", source, "-vf",
                         tonemapGraph("smpte2084", 100, "tonemap=tonemap=hable:desat=0:peak=10", "bt709", "rgb24"),
                         capture}));
    const QString cube = path(QStringLiteral("fix.cube"));
    {
        QFile file(cube);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QString reason;
        QVERIFY2(CubeFile::Write(diagnose(capture).fix(65), QStringLiteral("fix"), file, reason), qPrintable(reason));
    }
    const QString fixed = path(QStringLiteral("fixed.png")), rendered = path(QStringLiteral("rendered.png"));
    QVERIFY(run(Ffmpeg, {"-v", "error", "-y", "-i", capture, "-vf", "format=rgb24,lut3d=" + cube, fixed}));
    QVERIFY(run(Ffmpeg, {"-v", "error", "-y", "-i", source, "-vf",
                         "zscale=tin=smpte2084:min=gbr:pin=bt2020:rin=full:t=linear:m=gbr:p=bt2020:r=full:npl=203,"
                         "format=gbrpf32le,zscale=tin=linear:t=iec61966-2-1:pin=bt2020:p=bt709:min=gbr:m=gbr:r=full,"
                         "format=rgb24",
                         rendered}));
    const QImage a = QImage(fixed).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(rendered).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(a.size(), b.size());
    // The ramps (cells from row 204) and the sweeps (from cell 363, 6).
    for (const QRect area : {QRect(0, 204 * 8, 256 * 8, 44 * 8), QRect(363 * 8, 6 * 8, 96 * 8, 72 * 8)}) {
        double squares = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                for (const int shift : {16, 8, 0}) {
                    const double d = int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF);
                    squares += d * d;
                }
            }
        const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / (3.0 * area.width() * area.height())));
        QVERIFY2(psnr > 40, qPrintable(QStringLiteral("PSNR %1 dB over %2,%3").arg(psnr).arg(area.x()).arg(area.y())));
    }
}

QTEST_GUILESS_MAIN(tst_Hdr)

#include "tst_hdr.moc"
