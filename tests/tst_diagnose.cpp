// tintwell-sheet diagnose as a user runs it: sheets put through known faults
// by ffmpeg's scale filter and ImageMagick must be found without being named
// and their faults named step by step, in lines and in JSON; the sheet put
// through the steps must explain the capture, and the .cube that --fix writes
// must undo what can be undone, in our apply and in ffmpeg.

#include "FileTesting.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace FileTesting;

namespace {

struct Run
{
    int exitCode = -1;
    QStringList lines;
};

Run runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
}

Run sheet(const QStringList &arguments)
{
    return runProgram(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
}

// ImageMagick and ffmpeg by path: a stand-in of the same name may come first on PATH.
const QString Convert = QStringLiteral("/usr/bin/convert");
const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

const QString Gstreamer = QStringLiteral("/usr/bin/gst-launch-1.0");
const QString Mpv = QStringLiteral("/usr/bin/mpv");

const QString Flags = QStringLiteral("accurate_rnd+full_chroma_int");

// An ffmpeg filter that codes R'G'B' as Y'CbCr with one matrix and range, in
// `format`, and decodes it with another.
QString path(const QString &encoded, const QString &decoded, const QString &format = QStringLiteral("yuv444p"))
{
    const QStringList e = encoded.split(QLatin1Char(' ')), d = decoded.split(QLatin1Char(' '));
    return QStringLiteral("scale=out_color_matrix=%1:out_range=%2:flags=%5,format=%6,"
                          "scale=in_color_matrix=%3:in_range=%4:flags=%5,format=rgb24")
        .arg(e[0], e[1], d[0], d[1], Flags, format);
}

QStringList ffmpeg(const QString &filter)
{
    return {Ffmpeg,
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-y"),
            QStringLiteral("-i"),
            QStringLiteral("IN"),
            QStringLiteral("-vf"),
            filter,
            QStringLiteral("-frames:v"),
            QStringLiteral("1"),
            QStringLiteral("OUT")};
}

QStringList magick(const QStringList &operators)
{
    return QStringList {Convert, QStringLiteral("IN")} + operators + QStringList {QStringLiteral("OUT")};
}

// The figure a "name: X" line gives; NaN when there is no such line.
double figure(const QStringList &lines, const QString &name)
{
    for (const QString &line : lines)
        if (line.startsWith(name + QLatin1String(": ")))
            return line.mid(name.size() + 2).split(QLatin1Char(' ')).constFirst().toDouble();
    return qQNaN();
}

// Which lines name a step (or a place): everything diagnose prints but the census's measures and figures.
QStringList stepsOf(const QStringList &lines)
{
    static const QRegularExpression step(QStringLiteral(
        "^(offset|scale|channel order|range|matrix|chroma|bits|dither|tone curve|clipped|unexplained): "));
    return lines.filter(step);
}

// Whether `line` is what `wanted` says. A wanted line starting with ~ is a
// lossy capture's: its numbers may be off by 0.03 (below 10: a gamma) or 3
// levels, and one ending in a colon names the step only.
bool sameStep(const QString &line, QString wanted)
{
    if (!wanted.startsWith(QLatin1Char('~')))
        return line == wanted;
    wanted.remove(0, 1);
    if (wanted.endsWith(QLatin1Char(':')))
        return line.startsWith(wanted + QLatin1Char(' '));
    static const QRegularExpression separators(QStringLiteral("[ ,]+"));
    const QStringList got = line.split(separators), want = wanted.split(separators);
    if (got.size() != want.size())
        return false;
    for (qsizetype i = 0; i < got.size(); ++i) {
        bool number = false;
        const double w = want[i].toDouble(&number);
        if (!number ? got[i] != want[i] : std::abs(got[i].toDouble() - w) > (std::abs(w) < 10 ? 0.03 : 3))
            return false;
    }
    return true;
}

bool sameSteps(const QStringList &lines, const QStringList &wanted)
{
    if (lines.size() != wanted.size())
        return false;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!sameStep(lines[i], wanted[i]))
            return false;
    return true;
}

} // namespace

using Commands = QList<QStringList>;

class TestDiagnose : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void faultChains_data();
    void faultChains();
    void noiseAloneNamesNoStep_data();
    void noiseAloneNamesNoStep();

private:
    QString file(const QString &name) const { return dir_.filePath(name); }
    // Runs each command in turn, IN the last one's result (first the sheet of
    // `mode`), OUT a new file; returns the last one's.
    QString produce(const QString &mode, const Commands &commands, const QString &name);

    QTemporaryDir dir_;
};

void TestDiagnose::initTestCase()
{
    QVERIFY(dir_.isValid());
    for (const QString &mode : {QStringLiteral("64kilo"), QStringLiteral("4096"), QStringLiteral("1million")})
        QCOMPARE(sheet({QStringLiteral("make"), mode, file(mode + QStringLiteral(".png"))}).exitCode, 0);
}

QString TestDiagnose::produce(const QString &mode, const Commands &commands, const QString &name)
{
    QString in = file(mode + QStringLiteral(".png"));
    for (qsizetype i = 0; i < commands.size(); ++i) {
        QStringList command = commands[i];
        // OUT is a PNG unless the command names another kind (OUT.mp4, OUT.jpg).
        static const QRegularExpression named(QStringLiteral("(?<![A-Za-z])OUT(\\.\\w+)?$"));
        const QString kind = named.match(command.filter(named).value(0)).captured(1);
        const QString out = file(QStringLiteral("%1-%2").arg(name).arg(i) + (kind.isEmpty() ? QStringLiteral(".png") : kind));
        command.replaceInStrings(named, out);
        command.replaceInStrings(QStringLiteral("IN"), in);
        const QString program = command.takeFirst();
        if (runProgram(program, command).exitCode != 0)
            return {};
        in = out;
    }
    return in;
}

// Every row: a sheet, the faults an independent program put it through, the
// lines diagnose must print for them; with `fix`, what a path of only the
// steps --fix cannot undo (chroma, 8-bit Y'CbCr codes; crushed ends: the
// fault undone by ffmpeg itself) makes of the sheet, whose cost the fixed
// capture may keep.
void TestDiagnose::faultChains_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<Commands>("commands");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("landmark");
    QTest::addColumn<bool>("fix");
    QTest::addColumn<Commands>("cannotUndo");

    const QString full709 = QStringLiteral("bt709 full"), limited709 = QStringLiteral("bt709 limited");
    const QString full601 = QStringLiteral("bt601 full"), limited601 = QStringLiteral("bt601 limited");

    QTest::newRow("the sheet itself") << "64kilo" << Commands {} << QStringList {} << "green 00FF00" << false
                                      << Commands {};
    QTest::newRow("round trip, BT.709 full 4:4:4")
        << "64kilo" << Commands {ffmpeg(path(full709, full709))} << QStringList {} << "" << false << Commands {};
    QTest::newRow("round trip, BT.601 limited 4:4:4") << "4096" << Commands {ffmpeg(path(limited601, limited601))}
                                                      << QStringList {} << "black 000000" << false << Commands {};
    QTest::newRow("red and blue swapped")
        << "64kilo"
        << Commands {magick({QStringLiteral("-separate"), QStringLiteral("-swap"), QStringLiteral("0,2"),
                             QStringLiteral("-combine")})}
        << QStringList {QStringLiteral("channel order: BGR")} << "" << true << Commands {};
    QTest::newRow("channels rotated") << "4096"
                                      << Commands {ffmpeg(
                                             QStringLiteral("colorchannelmixer=rr=0:rg=1:gg=0:gb=1:bb=0:br=1"))}
                                      << QStringList {QStringLiteral("channel order: GBR")} << "red 0000FF" << true
                                      << Commands {};
    QTest::newRow("limited read as full") << "64kilo" << Commands {ffmpeg(path(limited709, full709))}
                                          << QStringList {QStringLiteral("range: limited read as full")} << "" << true
                                          << Commands {ffmpeg(path(limited709, limited709))};
    QTest::newRow("full read as limited")
        << "4096" << Commands {ffmpeg(path(full709, limited709))}
        << QStringList {QStringLiteral("range: full read as limited")} << "white FFFFFF" << true
        << Commands {ffmpeg(path(full709, limited709) + QLatin1Char(',') + path(limited709, full709))};
    QTest::newRow("limited read as full twice")
        << "64kilo" << Commands {ffmpeg(path(limited709, full709) + QLatin1Char(',') + path(limited709, full709))}
        << QStringList {QStringLiteral("range: limited read as full twice")} << "" << true
        << Commands {ffmpeg(path(limited709, limited709) + QLatin1Char(',') + path(limited709, limited709))};
    QTest::newRow("BT.601 read as BT.709") << "64kilo" << Commands {ffmpeg(path(full601, full709))}
                                           << QStringList {QStringLiteral("matrix: BT.601 read as BT.709")} << ""
                                           << true << Commands {ffmpeg(path(full601, full601))};
    QTest::newRow("BT.2020 read as BT.601")
        << "4096" << Commands {ffmpeg(path(QStringLiteral("bt2020 full"), full601))}
        << QStringList {QStringLiteral("matrix: BT.2020 read as BT.601")} << "" << false << Commands {};
    QTest::newRow("washed out: BT.601 limited 4:2:0 read as BT.709 full")
        << "64kilo" << Commands {ffmpeg(path(limited601, full709, QStringLiteral("yuv420p")))}
        << QStringList {QStringLiteral("range: limited read as full"), QStringLiteral("matrix: BT.601 read as BT.709"),
                        QStringLiteral("chroma: 4:2:0")}
        << "" << true << Commands {ffmpeg(path(limited601, limited601, QStringLiteral("yuv420p")))};
    QTest::newRow("4:2:2") << "64kilo" << Commands {ffmpeg(path(limited709, limited709, QStringLiteral("yuv422p")))}
                           << QStringList {QStringLiteral("chroma: 4:2:2")} << "" << false << Commands {};
    QTest::newRow("4:1:1") << "64kilo" << Commands {ffmpeg(path(full709, full709, QStringLiteral("yuv411p")))}
                           << QStringList {QStringLiteral("chroma: 4:1:1")} << "" << false << Commands {};
    QTest::newRow("4:2:0 of a large sheet")
        << "1million" << Commands {ffmpeg(path(limited709, limited709, QStringLiteral("yuv420p")))}
        << QStringList {QStringLiteral("chroma: 4:2:0")} << "" << false << Commands {};
    QTest::newRow("6 bits") << "64kilo" << Commands {magick({QStringLiteral("-posterize"), QStringLiteral("64")})}
                            << QStringList {QStringLiteral("bits: 6 6 6")} << "" << false << Commands {};
    QTest::newRow("5 6 5, dithered") << "64kilo"
                                     << Commands {magick(
                                            {QStringLiteral("-ordered-dither"), QStringLiteral("o8x8,32,64,32")})}
                                     << QStringList {QStringLiteral("bits: 5 6 5"), QStringLiteral("dither: yes")} << ""
                                     << false << Commands {};
    QTest::newRow("gamma") << "64kilo" << Commands {magick({QStringLiteral("-gamma"), QStringLiteral("0.8")})}
                           << QStringList {QStringLiteral("tone curve: gamma 1.25 1.25 1.25")} << "" << true
                           << Commands {};
    QTest::newRow("gamma per channel") << "4096"
                                       << Commands {magick({QStringLiteral("-gamma"), QStringLiteral("0.8,1,1.25")})}
                                       << QStringList {QStringLiteral("tone curve: gamma 1.25 1.00 0.80")} << "" << true
                                       << Commands {};
    QTest::newRow("no power law") << "64kilo"
                                  << Commands {magick({QStringLiteral("-sigmoidal-contrast"), QStringLiteral("6x50%")})}
                                  << QStringList {QStringLiteral("tone curve: table")} << "" << true << Commands {};
    QTest::newRow("in a screenshot, limited read as full")
        << "4096"
        << Commands {{Convert, QStringLiteral("-size"), QStringLiteral("640x480"), QStringLiteral("gradient:navy-grey"),
                      QStringLiteral("IN"), QStringLiteral("-geometry"), QStringLiteral("+101+57"),
                      QStringLiteral("-composite"), QStringLiteral("OUT")},
                     ffmpeg(path(limited709, full709))}
        << QStringList {QStringLiteral("offset: 101 57"), QStringLiteral("range: limited read as full")}
        << "black 101010" << false << Commands {};

    // Real decoders and lossy captures: the commonest recipe decoded by
    // ffmpeg's own default (each chroma sample repeated over its block), by
    // GStreamer and by mpv; chroma and curves through JPEG noise; a levels
    // edit; a capture no step explains; a picture without a sheet.
    const QStringList h264 = {Ffmpeg, QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                              QStringLiteral("-i"), QStringLiteral("IN"), QStringLiteral("-frames:v"), QStringLiteral("1"),
                              QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                              QStringLiteral("libx264"), QStringLiteral("OUT.mp4")};
    const QStringList ffmpegDecode = {Ffmpeg, QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                      QStringLiteral("-i"), QStringLiteral("IN"), QStringLiteral("-frames:v"),
                                      QStringLiteral("1"), QStringLiteral("OUT")};
    const QStringList gstreamerDecode = {Gstreamer, QStringLiteral("-q"), QStringLiteral("filesrc"),
                                         QStringLiteral("location=IN"), QStringLiteral("!"), QStringLiteral("decodebin"),
                                         QStringLiteral("!"), QStringLiteral("videoconvert"), QStringLiteral("!"),
                                         QStringLiteral("pngenc"), QStringLiteral("snapshot=true"), QStringLiteral("!"),
                                         QStringLiteral("filesink"), QStringLiteral("location=OUT")};
    const QStringList mpvDecode = {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                   Mpv + QStringLiteral(" --no-config --really-quiet --vo=image --vo-image-format=png "
                                                        "--vo-image-outdir=\"$0.d\" --frames=1 \"$1\" && "
                                                        "mv \"$0.d\"/00000001.png \"$0\""),
                                   QStringLiteral("OUT"), QStringLiteral("IN")};
    const auto jpeg = [](const QStringList &operators) {
        return QStringList {Convert, QStringLiteral("IN")} + operators
               + QStringList {QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("-sampling-factor"),
                              QStringLiteral("1x1"), QStringLiteral("OUT.jpg")};
    };
    QTest::newRow("H.264 4:2:0, ffmpeg's own decode") << "1million" << Commands {h264, ffmpegDecode}
                                                      << QStringList {QStringLiteral("chroma: 4:2:0")} << "" << false
                                                      << Commands {};
    // GStreamer's videoconvert brings mid green out about 4 levels dark.
    QTest::newRow("H.264 4:2:0 through GStreamer") << "64kilo" << Commands {h264, gstreamerDecode}
                                                   << QStringList {QStringLiteral("chroma: 4:2:0"),
                                                                   QStringLiteral("~tone curve:")}
                                                   << "" << false << Commands {};
    QTest::newRow("H.264 4:2:0 through mpv") << "64kilo" << Commands {h264, mpvDecode}
                                             << QStringList {QStringLiteral("chroma: 4:2:0")} << "" << false
                                             << Commands {};
    QTest::newRow("4:2:2, then JPEG 90") << "1million"
                                         << Commands {ffmpeg(path(limited709, limited709, QStringLiteral("yuv422p"))),
                                                      jpeg({})}
                                         << QStringList {QStringLiteral("chroma: 4:2:2")} << "" << false
                                         << Commands {};
    QTest::newRow("gamma, then JPEG 90") << "64kilo" << Commands {jpeg({QStringLiteral("-gamma"), QStringLiteral("0.8")})}
                                         << QStringList {QStringLiteral("~tone curve: gamma 1.25 1.25 1.25")} << ""
                                         << true << Commands {};
    // Red and blue step by 4 from 0; green starts at 13 and ends at 253, 255.
    QTest::newRow("levels") << "64kilo"
                            << Commands {magick({QStringLiteral("-level"), QStringLiteral("5%,95%,0.8")})}
                            << QStringList {QStringLiteral("~tone curve: gamma 1.25 1.25 1.25, black 12.75 12.75 "
                                                           "12.75, white 242.25 242.25 242.25"),
                                            QStringLiteral("clipped: below 12 0 12, above 244 253 244")}
                            << "" << false << Commands {};
    QTest::newRow("made grey: nothing explains it")
        << "64kilo"
        << Commands {magick({QStringLiteral("-colorspace"), QStringLiteral("Gray"), QStringLiteral("-colorspace"),
                             QStringLiteral("sRGB")})}
        << QStringList {QStringLiteral("~unexplained:")} << "" << false << Commands {};
    QTest::newRow("no sheet")
        << "" << Commands {{Convert, QStringLiteral("-size"), QStringLiteral("640x480"), QStringLiteral("gradient:navy-grey"), QStringLiteral("OUT")}}
        << QStringList {} << "" << false << Commands {};
}

void TestDiagnose::faultChains()
{
    QFETCH(QString, mode);
    QFETCH(Commands, commands);
    QFETCH(QStringList, expected);
    QFETCH(QString, landmark);
    QFETCH(bool, fix);
    QFETCH(Commands, cannotUndo);
    if (!QFile::exists(Convert) || !QFile::exists(Ffmpeg) || !QFile::exists(Gstreamer) || !QFile::exists(Mpv))
        QSKIP("ImageMagick, ffmpeg, GStreamer or mpv is not installed (scripts/ensure-packages installs them)");

    const QString name = QString::fromLatin1(QTest::currentDataTag())
                             .replace(QRegularExpression(QStringLiteral("\\W+")), QStringLiteral("-"));
    const QString capture = produce(mode, commands, name);
    QVERIFY2(!capture.isEmpty(), "the producer failed");
    // The sheet is found without being named.
    const QString cube = file(name + QStringLiteral(".cube"));
    const Run run = sheet({QStringLiteral("diagnose"), capture, QStringLiteral("--fix"), cube});
    if (mode.isEmpty()) {
        // No sheet: a status of its own, and no table.
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.lines.filter(QStringLiteral("sheet not found: ")).size(), 1);
        QVERIFY(!QFile::exists(cube));
        return;
    }
    // A right path (a codec's noise, colour perhaps kept at a lower
    // resolution) is a yes, a fault a no.
    const bool fault = !expected.filter(QRegularExpression(QStringLiteral("^~?(?!chroma|offset|scale)"))).isEmpty();
    QCOMPARE(run.exitCode, fault ? 1 : 0);
    QCOMPARE(run.lines.value(0), QStringLiteral("mode: ") + mode);
    QVERIFY2(sameSteps(stepsOf(run.lines), expected), qPrintable(stepsOf(run.lines).join(QLatin1Char('\n'))));

    // The same facts as JSON, the steps' names in snake_case.
    const Run json =
        sheet({QStringLiteral("diagnose"), capture, QStringLiteral("--mode"), mode, QStringLiteral("--json")});
    const QJsonObject document = QJsonDocument::fromJson(json.lines.join(QLatin1Char('\n')).toUtf8()).object();
    for (const QString &wanted : expected) {
        const QString line = wanted.startsWith(QLatin1Char('~')) ? wanted.mid(1) : wanted;
        const QString key = line.section(QStringLiteral(": "), 0, 0).replace(QLatin1Char(' '), QLatin1Char('_'))
                                .remove(QLatin1Char(':'));
        const QString text = line.section(QStringLiteral(": "), 1);
        const QJsonValue value = document.value(key);
        if (wanted.startsWith(QLatin1Char('~'))) {
            QVERIFY2(!value.isUndefined(), qPrintable(key));
            continue;
        }
        if (key == QLatin1String("offset") || key == QLatin1String("bits")) {
            QStringList numbers;
            for (const QJsonValue number : value.toArray())
                numbers << QString::number(number.toInt());
            QCOMPARE(numbers.join(QLatin1Char(' ')), text);
        } else if (key == QLatin1String("tone_curve")) {
            QCOMPARE(value[QLatin1String("table")].toArray().size(), 3);
            QVERIFY(text.startsWith(value[QLatin1String("kind")].toString()));
        } else if (key == QLatin1String("dither")) {
            QCOMPARE(value.toBool(), true);
        } else if (key == QLatin1String("clipped")) {
            QStringList numbers;
            for (const char *end : {"below", "above"})
                for (const QJsonValue number : value[QLatin1String(end)].toArray())
                    numbers << QString::number(number.toInt());
            QCOMPARE(numbers, QString(text).remove(QRegularExpression(QStringLiteral("[a-z,]"))).split(QLatin1Char(' '), Qt::SkipEmptyParts));
        } else {
            QCOMPARE(value.toString(), text);
        }
    }
    if (!landmark.isEmpty())
        QVERIFY2(run.lines.filter(QStringLiteral("landmarks: ")).join(QString()).contains(landmark),
                 qPrintable(run.lines.join(QLatin1Char('\n'))));
    if (commands.isEmpty())
        return;

    // The sheet put through the steps found explains the capture.
    const double before = figure(run.lines, QStringLiteral("mean dE2000"));
    const double after = figure(run.lines, QStringLiteral("mean dE2000 after the steps"));
    qInfo("%s: mean dE2000 %.4f, after the steps %.4f", QTest::currentDataTag(), before, after);
    // What no step explains is said to be so, and --fix never makes it worse.
    const bool unexplained = !expected.filter(QStringLiteral("unexplained:")).isEmpty();
    // A lossy codec leaves its noise: up to about 1 at H.264's default quality.
    const bool encoded = std::any_of(commands.begin(), commands.end(),
                                     [](const QStringList &c) { return c.contains(QStringLiteral("OUT.mp4")); });
    QVERIFY2((unexplained || after <= (encoded ? 1.5 : 1.0)) && after <= before,
             qPrintable(run.lines.join(QLatin1Char('\n'))));
    if (unexplained) {
        const QString fixed = run.lines.filter(QStringLiteral("fixed: mean dE2000 ")).value(0);
        QVERIFY2(QFile::exists(cube) ? fixed.section(QLatin1Char(' '), -1).toDouble() <= before : fixed.isEmpty(),
                 qPrintable(fixed));
    }

    if (!fix)
        return;
    double cost = 0;
    if (!cannotUndo.isEmpty()) {
        const QString lossy = produce(mode, cannotUndo, name + QStringLiteral("-lossy"));
        cost = figure(sheet({QStringLiteral("census"), lossy, QStringLiteral("--mode"), mode}).lines,
                      QStringLiteral("mean dE2000"));
    }
    const QString ours = file(name + QStringLiteral("-fixed.png")), theirs = file(name + QStringLiteral("-lut3d.png"));
    QCOMPARE(sheet({QStringLiteral("apply"), cube, capture, ours}).exitCode, 0);
    QCOMPARE(runProgram(Ffmpeg, {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                 QStringLiteral("-i"), capture, QStringLiteral("-vf"), QStringLiteral("lut3d=") + cube,
                                 QStringLiteral("-frames:v"), QStringLiteral("1"), theirs})
                 .exitCode,
             0);
    for (const QString &fixed : {ours, theirs}) {
        const double left = figure(sheet({QStringLiteral("census"), fixed, QStringLiteral("--mode"), mode}).lines,
                                   QStringLiteral("mean dE2000"));
        qInfo("  fixed (%s): mean dE2000 %.4f, cost of what cannot be undone %.4f", fixed == ours ? "apply" : "lut3d",
              left, cost);
        QVERIFY2(left <= after + 0.3 + cost,
                 qPrintable(QStringLiteral("%1 > %2 + 0.3 + %3").arg(left).arg(after).arg(cost)));
    }
}

// A sheet with only noise added (ImageMagick's Gaussian noise, as a noisy
// sensor or codec adds it): every chain of steps fits it about as well as
// none, and the simplest, none, is the one named.
void TestDiagnose::noiseAloneNamesNoStep_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("attenuate");
    QTest::newRow("64kilo, PSNR 27 dB") << "64kilo" << "0.6";
    QTest::newRow("64kilo, PSNR 23 dB") << "64kilo" << "1";
    QTest::newRow("4096, PSNR 27 dB") << "4096" << "0.6";
}

void TestDiagnose::noiseAloneNamesNoStep()
{
    QFETCH(QString, mode);
    QFETCH(QString, attenuate);
    if (!QFile::exists(Convert))
        QSKIP("ImageMagick is not installed (scripts/ensure-packages installs it)");
    const QString name = QStringLiteral("noise-%1-%2").arg(mode, attenuate);
    const QString capture = produce(mode,
                                    {magick({QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-attenuate"),
                                             attenuate, QStringLiteral("+noise"), QStringLiteral("Gaussian")})},
                                    name);
    QVERIFY2(!capture.isEmpty(), "the producer failed");
    const Run run = sheet({QStringLiteral("diagnose"), capture});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.lines.value(0), QStringLiteral("mode: ") + mode);
    // What is left unexplained may be said; no step may be named.
    const QStringList steps = stepsOf(run.lines).filter(QRegularExpression(QStringLiteral("^(?!unexplained: )")));
    QVERIFY2(steps.isEmpty(), qPrintable(steps.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestDiagnose)
#include "tst_diagnose.moc"
