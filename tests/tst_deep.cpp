// The deep sheet as `make deep` writes it, judged by others: its PNG's
// chunks against ITU-T H.273's code points, its sweeps decoded by FFmpeg's
// zscale against the sRGB and Display P3 borders, its clips decoded by
// ffmpeg against the PNG, their tags as ffprobe shows them.

#include "FileTesting.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>

using namespace FileTesting;

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString Ffprobe = QStringLiteral("/usr/bin/ffprobe");

constexpr int Width = 3840, Height = 2160, Cell = 8;

// The chunks before a PNG's image data: type and payload.
std::map<QByteArray, QByteArray> chunksOf(const QByteArray &png)
{
    std::map<QByteArray, QByteArray> chunks;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = (quint8(png[at]) << 24) | (quint8(png[at + 1]) << 16) | (quint8(png[at + 2]) << 8)
                               | quint8(png[at + 3]);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT")
            break;
        chunks[type] = png.mid(at + 8, length);
        at += 12 + qsizetype(length);
    }
    return chunks;
}

// A 32-bit float plane of gbrpf32le output, as red, green, blue of a pixel.
struct FloatPicture
{
    QByteArray data;
    std::array<float, 3> at(int x, int y) const
    {
        const auto plane = [&](int p) {
            float v;
            std::memcpy(&v, data.constData() + (qsizetype(p) * Width * Height + qsizetype(y) * Width + x) * 4, 4);
            return v;
        };
        return {plane(2), plane(0), plane(1)};
    }
};

// The sheet's hue sweeps: 72 hues down, 6 lightnesses of 16 steps across,
// from the cell (363, 6); the step on the sRGB border is the 7th, the one on
// the Display P3 border the 12th.
constexpr int SweepColumn = 363, SweepRow = 6, Steps = 16;
constexpr std::array<double, 6> Lightness = {0.02, 0.05, 0.12, 0.25, 0.45, 0.70};

} // namespace

class tst_Deep : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString path(const QString &name) const { return dir_.filePath(name); }
    QString make(const QString &name, const QStringList &options)
    {
        const Result made = run(QStringLiteral(TINTWELL_SHEET_PROGRAM), QStringList {"make", "deep", path(name)} + options);
        return made.exitCode == 0 ? path(name) : QString();
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void pictureHoldsTheSheet_data();
    void pictureHoldsTheSheet();
    void sweepsCrossTheBorders_data();
    void sweepsCrossTheBorders();
    void clipsHoldTheSheet_data();
    void clipsHoldTheSheet();
};

void tst_Deep::pictureHoldsTheSheet_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("cicp"); // H.273: primaries, transfer, matrix, full range
    QTest::addColumn<double>("masteringPeak");
    QTest::addColumn<double>("maxCll");

    // BT.2020 is 9; PQ 16, HLG 18, BT.709 1; RGB 0.
    QTest::newRow("pq") << QStringList {} << QByteArray("\x09\x10\x00\x01", 4) << 10000.0 << 10000.0;
    QTest::newRow("pq, white 100") << QStringList {"--white", "100"} << QByteArray("\x09\x10\x00\x01", 4) << 10000.0
                                   << 10000.0;
    QTest::newRow("hlg") << QStringList {"--transfer", "hlg"} << QByteArray("\x09\x12\x00\x01", 4) << 1000.0 << 0.0;
    QTest::newRow("sdr") << QStringList {"--transfer", "sdr"} << QByteArray("\x09\x01\x00\x01", 4) << 0.0 << 0.0;
}

// Tagged as H.273 says, every cell one colour, every colour of the 33³
// lattice of 10-bit codes there twice, the 1,024 greys of 10 bits there.
void tst_Deep::pictureHoldsTheSheet()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, cicp);
    QFETCH(double, masteringPeak);
    QFETCH(double, maxCll);

    const QString file = make(QStringLiteral("deep.png"), options);
    QVERIFY(!file.isEmpty());
    const QByteArray bytes = readAll(file);
    const std::map<QByteArray, QByteArray> chunks = chunksOf(bytes);
    QVERIFY(chunks.count("cICP"));
    QCOMPARE(chunks.at("cICP"), cicp);
    const auto be32 = [](const QByteArray &b, int at) {
        return (quint32(quint8(b[at])) << 24) | (quint8(b[at + 1]) << 16) | (quint8(b[at + 2]) << 8) | quint8(b[at + 3]);
    };
    QCOMPARE(chunks.count("mDCV") == 1, masteringPeak > 0);
    if (masteringPeak > 0) {
        QCOMPARE(chunks.at("mDCV").size(), 24);
        QCOMPARE(be32(chunks.at("mDCV"), 16) / 10000.0, masteringPeak);
    }
    QCOMPARE(chunks.count("cLLI") == 1, maxCll > 0);
    if (maxCll > 0)
        QCOMPARE(be32(chunks.at("cLLI"), 0) / 10000.0, maxCll);

    QImage picture;
    QVERIFY(picture.loadFromData(bytes, "PNG"));
    QCOMPARE(picture.size(), QSize(Width, Height));
    QCOMPARE(picture.depth(), 64);
    picture = picture.convertToFormat(QImage::Format_RGBX64);
    std::map<std::array<quint16, 3>, int> cells;
    for (int row = 0; row < Height / Cell; ++row)
        for (int column = 0; column < Width / Cell; ++column) {
            const QRgba64 first = reinterpret_cast<const QRgba64 *>(picture.constScanLine(row * Cell))[column * Cell];
            for (int y = row * Cell; y < (row + 1) * Cell; ++y)
                for (int x = column * Cell; x < (column + 1) * Cell; ++x)
                    if (reinterpret_cast<const QRgba64 *>(picture.constScanLine(y))[x] != first)
                        QFAIL(qPrintable(QStringLiteral("cell %1,%2 is not one colour").arg(column).arg(row)));
            ++cells[{first.red(), first.green(), first.blue()}];
        }
    const auto sample = [](double code) { return quint16(std::lround(code / 1023 * 65535)); };
    for (int b = 0; b < 33; ++b)
        for (int g = 0; g < 33; ++g)
            for (int r = 0; r < 33; ++r) {
                const auto level = [&](int k) { return sample(std::round(k * 1023.0 / 32)); };
                const auto found = cells.find({level(r), level(g), level(b)});
                QVERIFY2(found != cells.end() && found->second >= 2,
                         qPrintable(QStringLiteral("lattice %1 %2 %3").arg(r).arg(g).arg(b)));
            }
    for (int code = 0; code < 1024; ++code)
        QVERIFY2(cells.count({sample(code), sample(code), sample(code)}), qPrintable(QString::number(code)));
}

void tst_Deep::sweepsCrossTheBorders_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("transfer"); // zscale's name
    QTest::addColumn<double>("white");

    QTest::newRow("pq") << QStringList {} << "smpte2084" << 203.0;
    QTest::newRow("pq, white 300") << QStringList {"--white", "300"} << "smpte2084" << 300.0;
    QTest::newRow("sdr") << QStringList {"--transfer", "sdr"} << "bt709" << 100.0;
}

// zscale takes the sweeps to linear BT.709 and Display P3 light: each step
// up to the sRGB border inside sRGB, the border step on it, the steps up to
// the P3 border inside P3 and that one on it; every step at its lightness.
void tst_Deep::sweepsCrossTheBorders()
{
    QFETCH(QStringList, options);
    QFETCH(QString, transfer);
    QFETCH(double, white);

    const QString file = make(QStringLiteral("sweeps.png"), options);
    QVERIFY(!file.isEmpty());
    const auto linear = [&](const char *primaries) {
        const Result out = run(Ffmpeg, {"-v", "error", "-i", file, "-vf",
                                        QStringLiteral("zscale=tin=%1:t=linear:pin=bt2020:p=%2:min=gbr:m=gbr:rin=full:"
                                                       "r=full:npl=%3,format=gbrpf32le")
                                            .arg(transfer, QLatin1String(primaries))
                                            .arg(white),
                                        "-f", "rawvideo", "-"});
        return FloatPicture {out.out};
    };
    const FloatPicture srgb = linear("bt709"), p3 = linear("smpte432");
    QCOMPARE(srgb.data.size(), qsizetype(Width) * Height * 12);
    QCOMPARE(p3.data.size(), srgb.data.size());
    // 16-bit samples and zscale's floats: a channel within this of a border is on it.
    constexpr double On = 2e-3;
    const auto range = [](const std::array<float, 3> &v) {
        return std::pair {double(std::min({v[0], v[1], v[2]})), double(std::max({v[0], v[1], v[2]}))};
    };
    for (int hue = 0; hue < 72; ++hue)
        for (int l = 0; l < 6; ++l)
            for (int step = 0; step < Steps; ++step) {
                const int x = (SweepColumn + l * Steps + step) * Cell + Cell / 2;
                const int y = (SweepRow + hue) * Cell + Cell / 2;
                const std::array<float, 3> in709 = srgb.at(x, y), inP3 = p3.at(x, y);
                const auto [low, high] = range(in709);
                const auto [lowP3, highP3] = range(inP3);
                const QString where = QStringLiteral("hue %1 lightness %2 step %3: %4 %5 %6")
                                          .arg(hue * 5)
                                          .arg(Lightness[std::size_t(l)])
                                          .arg(step)
                                          .arg(in709[0])
                                          .arg(in709[1])
                                          .arg(in709[2]);
                const double y709 = 0.2126 * in709[0] + 0.7152 * in709[1] + 0.0722 * in709[2];
                QVERIFY2(std::abs(y709 - Lightness[std::size_t(l)]) < 2e-3 * (1 + 10 * Lightness[std::size_t(l)]),
                         qPrintable(where));
                if (step < 6)
                    QVERIFY2(low > -On && high < 1 + On, qPrintable(where));
                if (step == 6)
                    QVERIFY2(low > -On && high < 1 + On && (low < On || high > 1 - On), qPrintable(where));
                if (step < 11)
                    QVERIFY2(lowP3 > -On && highP3 < 1 + On, qPrintable(where));
                if (step == 11)
                    QVERIFY2(lowP3 > -On && highP3 < 1 + On && (lowP3 < On || highP3 > 1 - On), qPrintable(where));
            }
}

void tst_Deep::clipsHoldTheSheet_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("decode"); // ffmpeg's filter to R'G'B' codes
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("tolerance"); // codes
    QTest::addColumn<QStringList>("shown"); // what ffprobe shows, KEY=VALUE (a number within 0.1 %)

    const QStringList pqStream = {"color_transfer=smpte2084", "color_primaries=bt2020",
                                  "side_data_type=Mastering display metadata", "max_luminance=10000",
                                  "side_data_type=Content light level metadata", "max_content=10000"};
    // FFV1 keeps the codes the 16 bits round to.
    QTest::newRow("mkv, 10 bits") << "deep.mkv" << QStringList {"--seconds", "0.04", "--fps", "25"}
                                  << "format=gbrp10le" << 10 << 0
                                  << (QStringList {"codec_name=ffv1", "pix_fmt=gbrp10le", "color_space=gbr",
                                                   "color_range=pc"}
                                      + pqStream);
    QTest::newRow("mkv, 12 bits, HLG") << "deep12.mkv"
                                       << QStringList {"--seconds", "0.04", "--fps", "25", "--bits", "12",
                                                       "--transfer", "hlg"}
                                       << "format=gbrp12le" << 12 << 0
                                       << QStringList {"pix_fmt=gbrp12le", "color_transfer=arib-std-b67",
                                                       "max_luminance=1000"};
    // HEVC Y'CbCr, lossless: limited-range 10-bit Y'CbCr has fewer codes than
    // 10-bit R'G'B', so a cell's middle comes back within two codes.
    QTest::newRow("mp4") << "deep.mp4" << QStringList {"--seconds", "0.04", "--fps", "25"}
                         << "zscale=min=bt2020nc:rin=limited:m=gbr:r=full,format=gbrp10le" << 10 << 2
                         << (QStringList {"codec_name=hevc", "profile=Main 10", "pix_fmt=yuv420p10le",
                                          "color_space=bt2020nc", "color_range=tv"}
                             + pqStream);
}

void tst_Deep::clipsHoldTheSheet()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(QString, decode);
    QFETCH(int, bits);
    QFETCH(int, tolerance);
    QFETCH(QStringList, shown);

    QStringList pictureOptions;
    for (qsizetype i = 0; i + 1 < options.size(); i += 2)
        if (options[i] == QLatin1String("--transfer"))
            pictureOptions << options[i] << options[i + 1];
    const QString picture = make(QStringLiteral("for-") + name + QStringLiteral(".png"), pictureOptions);
    const QString clip = make(name, options);
    QVERIFY(!picture.isEmpty() && !clip.isEmpty());

    const Result probed = run(Ffprobe, {"-v", "error", "-show_streams", "-show_frames", "-read_intervals", "%+#1", clip});
    const QStringList lines = QString::fromUtf8(probed.out).split(QLatin1Char('\n'));
    // "100000000/10000" is 10000.
    const auto value = [](const QString &text) {
        const QStringList parts = text.split(QLatin1Char('/'));
        bool ok = false, okBelow = true;
        const double above = parts[0].toDouble(&ok);
        const double below = parts.size() == 2 ? parts[1].toDouble(&okBelow) : 1;
        return ok && okBelow && below != 0 ? std::optional<double>(above / below) : std::nullopt;
    };
    for (const QString &wanted : shown) {
        const QString key = wanted.section(QLatin1Char('='), 0, 0), expected = wanted.section(QLatin1Char('='), 1);
        const bool found = std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
            if (line.section(QLatin1Char('='), 0, 0) != key)
                return false;
            const QString got = line.section(QLatin1Char('='), 1);
            const std::optional<double> number = value(got), wantedNumber = value(expected);
            return got == expected || (number && wantedNumber && std::abs(*number - *wantedNumber) <= 1e-3 * *wantedNumber);
        });
        QVERIFY2(found, qPrintable(wanted + QStringLiteral(" not in:\n") + probed.out));
    }

    const QByteArray frame =
        run(Ffmpeg, {"-v", "error", "-i", clip, "-frames:v", "1", "-vf", decode, "-f", "rawvideo", "-"}).out;
    QCOMPARE(frame.size(), qsizetype(Width) * Height * 6);
    QImage sheet;
    QVERIFY(sheet.load(picture));
    sheet = sheet.convertToFormat(QImage::Format_RGBX64);
    const auto decoded = [&](int plane, int x, int y) {
        quint16 v;
        std::memcpy(&v, frame.constData() + (qsizetype(plane) * Width * Height + qsizetype(y) * Width + x) * 2, 2);
        return int(v);
    };
    const auto code = [&](quint16 sample) { return int(std::lround(sample * ((1 << bits) - 1) / 65535.0)); };
    int worst = 0;
    for (int y = Cell / 2; y < Height; y += Cell)
        for (int x = Cell / 2; x < Width; x += Cell) {
            const QRgba64 s = reinterpret_cast<const QRgba64 *>(sheet.constScanLine(y))[x];
            worst = std::max({worst, std::abs(decoded(2, x, y) - code(s.red())),
                              std::abs(decoded(0, x, y) - code(s.green())), std::abs(decoded(1, x, y) - code(s.blue()))});
        }
    QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("off by %1 codes").arg(worst)));
}

QTEST_GUILESS_MAIN(tst_Deep)

#include "tst_deep.moc"
