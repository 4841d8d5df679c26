// What real players show of clips made as test discs make them: each clip
// (our make, exact Y'CbCr data, chosen tags) is played by the installed
// player itself (mpv --vo=image, GStreamer decodebin ! videoconvert !
// pngenc, ffmpeg, Chromium and Firefox headless screenshots of a <video>),
// and diagnosed both ways: the recording as that player shows it
// (--player), and the player's own picture. The steps expected come from the
// clip's recipe and the player's documented rules, never from our output.

#include "FileTesting.h"
#include "colour/Primaries.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Run
{
    int exitCode = -1;
    QStringList lines;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments, int timeout = 300'000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeout) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            process.readAllStandardError()};
}

Run sheet(const QStringList &arguments)
{
    return runProgram(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
}

const QString Mode = QStringLiteral("64kilo");

// The lines of the properties a player decides: range, matrix, primaries.
QStringList decided(const QStringList &lines)
{
    QStringList steps;
    for (const QString &line : lines)
        if (line.startsWith(QLatin1String("range: ")) || line.startsWith(QLatin1String("matrix: "))
            || line.startsWith(QLatin1String("primaries: ")))
            steps << line;
    steps.removeDuplicates();
    return steps;
}

// The player's executable, by path: a stand-in of the same name may come first on PATH.
QString installed(const QString &player)
{
    static const QHash<QString, QString> paths = {
        {"mpv", "/usr/bin/mpv"},           {"gstreamer", "/usr/bin/gst-launch-1.0"}, {"ffmpeg", "/usr/bin/ffmpeg"},
        {"chromium", "/usr/bin/chromium"}, {"firefox", "/usr/bin/firefox-esr"},
    };
    return paths.value(player);
}

// A page as a browser shows it in a window of `size`, saved as `png`.
void screenshot(const QString &browser, const QString &page, QSize size, const QString &png, const QString &folder)
{
    const QString profile = QDir(folder).filePath(browser + QLatin1String("-profile"));
    QDir(profile).removeRecursively();
    QDir().mkpath(profile);
    const QString window = QStringLiteral("%1,%2").arg(size.width()).arg(size.height());
    const QString url = QUrl::fromLocalFile(page).toString();
    if (browser == QLatin1String("chromium"))
        runProgram(installed(browser), {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                        "--disable-background-networking", "--disable-component-update",
                                        "--disable-sync", "--user-data-dir=" + profile, "--window-size=" + window,
                                        "--virtual-time-budget=5000", "--screenshot=" + png, url},
                   120'000);
    else
        runProgram(installed(browser), {"--headless", "--no-remote", "--profile", profile, "--window-size=" + window,
                                        "--screenshot", png, url},
                   120'000);
}

// The first frame of `clip` as `player` shows it, saved as PNG in `folder`;
// empty when the player did not show it.
QString play(const QString &player, const QString &clip, QSize size, const QString &folder)
{
    const QString png = QDir(folder).filePath(player + QLatin1String(".png"));
    QFile::remove(png);
    const QString program = installed(player);
    if (player == QLatin1String("mpv")) {
        const QString out = QDir(folder).filePath(QStringLiteral("mpv-out"));
        runProgram(program, {"--no-config", "--really-quiet", "--vo=image", "--vo-image-format=png",
                             "--vo-image-outdir=" + out, "--frames=1", clip});
        QFile::rename(QDir(out).filePath(QStringLiteral("00000001.png")), png);
    } else if (player == QLatin1String("gstreamer")) {
        runProgram(program, {"-q", "filesrc", "location=" + clip, "!", "decodebin", "!", "videoconvert", "!", "pngenc",
                             "snapshot=true", "!", "filesink", "location=" + png});
    } else if (player == QLatin1String("ffmpeg")) {
        runProgram(program, {"-v", "error", "-y", "-i", clip, "-frames:v", "1", png});
    } else {
        // A page showing the clip at its size, screenshot when it has played.
        const QString page = QDir(folder).filePath(QStringLiteral("clip.html"));
        FileTesting::writeAll(page, QStringLiteral("<!doctype html><body style=\"margin:0;background:#000\">"
                                                   "<video src=\"%1\" muted autoplay style=\"display:block\"></video>")
                                        .arg(QUrl::fromLocalFile(clip).toString())
                                        .toUtf8());
        screenshot(player, page, size, png, folder);
    }
    return QFile::exists(png) ? png : QString();
}

} // namespace

class tst_players : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QHash<QString, QString> clips_; // recipe -> clip
    struct Tally
    {
        int captures = 0;
        int right = 0;
    };
    QMap<QString, Tally> tallies_; // "player property"

    QString clip(const QString &name, const QStringList &recipe)
    {
        const QString key = name + recipe.join(QLatin1Char(' '));
        if (!clips_.contains(key)) {
            const QString file = dir_.filePath(QStringLiteral("clip%1-%2").arg(clips_.size()).arg(name));
            const Run made = sheet(QStringList {"make", Mode, file, "--seconds", "0.2", "--fps", "10"} + recipe);
            if (made.exitCode != 0)
                qWarning("make: %s", made.err.constData());
            clips_.insert(key, made.exitCode == 0 ? file : QString());
        }
        return clips_.value(key);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        for (const QString player : {"mpv", "gstreamer", "ffmpeg", "chromium", "firefox"})
            QVERIFY2(QFile::exists(installed(player)),
                     qPrintable(QStringLiteral("%1 is not installed (scripts/ensure-packages installs it)").arg(player)));
    }

    void recordingsAsPlayersShowThem_data()
    {
        QTest::addColumn<QString>("player");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("recipe");
        QTest::addColumn<QStringList>("steps");

        // The players' rules, as their documentation and sources give them:
        // mpv (csputils.c mp_csp_guess_colorspace, mp_csp_guess_primaries):
        //   untagged matrix BT.709 from 1280 wide or above 576 lines; untagged
        //   primaries BT.601-625 at 576 lines, BT.601-525 at 480, else BT.709;
        //   --vo=image converts any primaries to BT.709 (sRGB screenshots).
        // GStreamer (gst_video_colorimetry defaults, videoconvert without
        //   primaries-mode): BT.709 above 576 lines; primaries kept; qtdemux
        //   gives no range; a Matroska colour without range is full.
        // ffmpeg (swscale's default): BT.601 unless tagged; primaries kept.
        // Chromium and Firefox (media::VideoColorSpace, libyuv): BT.709 from
        //   720 lines; primaries of video kept in software compositing.
        const QStringList sd576 {"--size", "720x576"};
        const QStringList sd480 {"--size", "720x480"};
        const QStringList wsvga {"--size", "1024x600"};
        const QStringList hd {"--size", "1280x720"};
        const QStringList untagged601 {"--matrix", "bt601", "--untagged"};
        const QStringList untagged709 {"--matrix", "bt709", "--untagged"};
        const QStringList full709 {"--matrix", "bt709", "--range", "full"};
        const QStringList matrixOnly601 {"--matrix", "bt601", "--tag-range", "none", "--tag-primaries", "none",
                                         "--tag-transfer", "none"};
        const QStringList rangeOnly709 {"--matrix", "bt709", "--range", "full", "--tag-matrix", "none",
                                        "--tag-primaries", "none", "--tag-transfer", "none"};
        const QStringList pal {"--matrix", "bt601", "--tag-primaries", "bt601-625"};
        const QStringList bt2020 {"--matrix", "bt2020"};
        const QStringList none;
        const QString matrix601As709 = QStringLiteral("matrix: BT.601 read as BT.709");
        const QString matrix709As601 = QStringLiteral("matrix: BT.709 read as BT.601");
        const QString ebu = QStringLiteral("primaries: BT.601-625 converted to BT.709 (clipped)");
        const QString smpteC = QStringLiteral("primaries: BT.601-525 converted to BT.709 (clipped)");
        const QString wide = QStringLiteral("primaries: BT.2020 converted to BT.709 (clipped)");

        struct Row
        {
            const char *what;
            QString name;
            QStringList recipe;
            QStringList mpv, gstreamer, ffmpeg, browser;
        };
        const Row rows[] = {
            {"untagged BT.601, 720x576", "sd.mp4", untagged601 + sd576, {ebu}, none, none, none},
            {"untagged BT.601, 720x480", "ntsc.mp4", untagged601 + sd480, {smpteC}, none, none, none},
            {"untagged BT.601, 1024x600", "wsvga.mp4", untagged601 + wsvga, {matrix601As709}, {matrix601As709}, none, none},
            {"untagged BT.709, 1280x720", "hd.mp4", untagged709 + hd, none, none, {matrix709As601}, none},
            {"BT.709 full, tagged, MP4", "full.mp4", full709 + hd, none, {"range: full read as limited"}, none, none},
            {"BT.709 full, tagged, Matroska", "full.mkv", full709 + hd, none, none, none, {}},
            {"BT.601 tagged, range untagged, Matroska", "matrix.mkv", matrixOnly601 + hd, none,
             {"range: limited read as full"}, none, {}},
            {"BT.709 full, only the range tagged, Matroska", "range.mkv", rangeOnly709 + hd, none,
             {"range: full read as limited"}, {matrix709As601}, {}},
            {"BT.601 with EBU primaries, tagged, 720x576", "pal.mp4", pal + sd576, {ebu}, none, none, none},
            {"BT.2020, tagged", "wide.mp4", bt2020 + hd, {wide}, none, none, none},
        };
        for (const Row &row : rows) {
            const bool matroska = row.name.endsWith(QLatin1String(".mkv"));
            QTest::addRow("mpv: %s", row.what) << "mpv" << row.name << row.recipe << row.mpv;
            QTest::addRow("gstreamer: %s", row.what) << "gstreamer" << row.name << row.recipe << row.gstreamer;
            QTest::addRow("ffmpeg: %s", row.what) << "ffmpeg" << row.name << row.recipe << row.ffmpeg;
            // Browsers play no FFV1.
            if (!matroska) {
                QTest::addRow("chromium: %s", row.what) << "chromium" << row.name << row.recipe << row.browser;
                QTest::addRow("firefox: %s", row.what) << "firefox" << row.name << row.recipe << row.browser;
            }
        }
    }

    void recordingsAsPlayersShowThem()
    {
        QFETCH(QString, player);
        QFETCH(QString, name);
        QFETCH(QStringList, recipe);
        QFETCH(QStringList, steps);

        const QString file = clip(name, recipe);
        QVERIFY(!file.isEmpty());
        // The recording shown by that player's rules.
        const Run asPlayer = sheet({"diagnose", file, "--mode", Mode, "--player", player});
        QVERIFY2(asPlayer.exitCode == 0 || asPlayer.exitCode == 1, asPlayer.err.constData());
        QCOMPARE(decided(asPlayer.lines), steps);

        // The player's own picture of it.
        const qsizetype at = recipe.indexOf(QStringLiteral("--size"));
        const QStringList size = recipe.value(at + 1).split(QLatin1Char('x'));
        const QString picture = play(player, file, QSize(size.value(0).toInt(), size.value(1).toInt()), dir_.path());
        QVERIFY2(!picture.isEmpty(), qPrintable(player + QLatin1String(" showed nothing")));
        const QString fix = dir_.filePath(QStringLiteral("fix.cube"));
        const Run captured = sheet({"diagnose", picture, "--mode", Mode, "--fix", fix});
        QVERIFY2(captured.lines.contains(QStringLiteral("size: 256x256")), qPrintable(captured.lines.join('\n')));
        const QStringList found = decided(captured.lines);
        // Each property a player decides, named right or not.
        for (const QString property : {"range", "matrix", "primaries"}) {
            const auto of = [&](const QStringList &lines) {
                return lines.filter(QRegularExpression(QStringLiteral("^%1: ").arg(property)));
            };
            Tally &tally = tallies_[player + QLatin1Char(' ') + property];
            ++tally.captures;
            tally.right += of(found) == of(steps);
        }
        QCOMPARE(found, steps);

        // What --fix undoes brings the picture nearer the sheet.
        if (!steps.isEmpty()) {
            const QString fixed = dir_.filePath(QStringLiteral("fixed.png"));
            QCOMPARE(sheet({"apply", fix, picture, fixed}).exitCode, 0);
            const auto de = [](const Run &census) {
                return census.lines.filter(QRegularExpression(QStringLiteral("^mean dE2000: "))).value(0).mid(13).toDouble();
            };
            const QString at = captured.lines.filter(QRegularExpression(QStringLiteral("^offset: ")))
                                   .value(0)
                                   .mid(8)
                                   .replace(QLatin1Char(' '), QLatin1Char(','));
            const double before = de(captured);
            const double after = de(sheet({"census", fixed, "--mode", Mode, "--at", at}));
            qInfo("mean dE2000 %.4f, after --fix %.4f", before, after);
            QVERIFY(after < before);
        }
    }

    void cleanupTestCase()
    {
        for (auto i = tallies_.cbegin(); i != tallies_.cend(); ++i)
            qInfo("%s: %d of %d captures named right", qPrintable(i.key()), i.value().right, i.value().captures);
    }

    // A sheet made with a profile, shown by a browser on its sRGB screen:
    // the browser converts the numbers from the profile's primaries and curve
    // to sRGB's, clipping what falls outside, as our Primaries does (within
    // the browsers' own rounding: their curves are tables).
    void profiledPicturesInBrowsers_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("primaries");
        QTest::addColumn<QString>("step");
        for (const QString browser : {"chromium", "firefox"}) {
            QTest::addRow("%s: Display P3", qPrintable(browser))
                << browser << "p3" << int(Primaries::Set::DisplayP3) << "primaries: read as Display P3, shown as sRGB";
            QTest::addRow("%s: Adobe RGB", qPrintable(browser))
                << browser << "adobe" << int(Primaries::Set::AdobeRgb) << "primaries: read as Adobe RGB, shown as sRGB";
            QTest::addRow("%s: BT.2020", qPrintable(browser))
                << browser << "bt2020" << int(Primaries::Set::Bt2020) << "primaries: read as BT.2020, shown as sRGB";
        }
    }

    void profiledPicturesInBrowsers()
    {
        QFETCH(QString, browser);
        QFETCH(QString, profile);
        QFETCH(int, primaries);
        QFETCH(QString, step);

        const QString picture = dir_.filePath(profile + QLatin1String(".png"));
        if (!QFile::exists(picture))
            QCOMPARE(sheet({"make", Mode, picture, "--profile", profile}).exitCode, 0);
        const QString page = dir_.filePath(QStringLiteral("picture.html"));
        QVERIFY(FileTesting::writeAll(page, QStringLiteral("<!doctype html><body style=\"margin:0;background:#000\">"
                                                          "<img src=\"%1\" style=\"display:block\">")
                                                .arg(QUrl::fromLocalFile(picture).toString())
                                                .toUtf8()));
        const QString shot = dir_.filePath(browser + QLatin1String("-picture.png"));
        QFile::remove(shot);
        screenshot(browser, page, QSize(400, 300), shot, dir_.path());
        const QImage shown = QImage(shot).convertToFormat(QImage::Format_RGB32);
        const QImage made = QImage(picture).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!shown.isNull() && !made.isNull());

        const auto set = Primaries::Set(primaries);
        const Primaries::Converter expected(set, Primaries::Set::Bt709, Primaries::GamutHandling::Clip,
                                            Primaries::Of(set).transfer, Primaries::Transfer::Srgb);
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < made.height(); ++y)
            for (int x = 0; x < made.width(); ++x) {
                const QRgb numbers = made.pixel(x, y), seen = shown.pixel(x, y);
                const Primaries::Vector3 out =
                    expected({qRed(numbers) / 255.0, qGreen(numbers) / 255.0, qBlue(numbers) / 255.0});
                const int got[3] = {qRed(seen), qGreen(seen), qBlue(seen)};
                for (int c = 0; c < 3; ++c) {
                    const int difference = std::abs(got[c] - int(std::lround(out[std::size_t(c)] * 255)));
                    sum += difference;
                    worst = std::max(worst, difference);
                }
            }
        const double mean = sum / (3.0 * made.width() * made.height());
        QVERIFY2(mean < 0.1 && worst <= 3, qPrintable(QStringLiteral("mean %1, largest %2 levels").arg(mean).arg(worst)));

        // The diagnosis of the screenshot names the conversion alone; --fix
        // brings back what the sRGB screen could show.
        const QString fix = dir_.filePath(QStringLiteral("fix.cube"));
        const Run diagnosis = sheet({"diagnose", shot, "--mode", Mode, "--fix", fix});
        QCOMPARE(decided(diagnosis.lines), QStringList {step});
        const QString fixed = dir_.filePath(QStringLiteral("fixed.png"));
        QCOMPARE(sheet({"apply", fix, shot, fixed}).exitCode, 0);
        // Where the sheet's colour was inside sRGB, the fix gives it back.
        const QImage back = QImage(fixed).convertToFormat(QImage::Format_RGB32);
        double inside = 0, off = 0;
        for (int y = 0; y < made.height(); ++y)
            for (int x = 0; x < made.width(); ++x) {
                const QRgb numbers = made.pixel(x, y);
                Primaries::Vector3 linear;
                const int levels[3] = {qRed(numbers), qGreen(numbers), qBlue(numbers)};
                for (std::size_t c = 0; c < 3; ++c)
                    linear[c] = Primaries::ToLinear(Primaries::Of(set).transfer, levels[c] / 255.0);
                if (!Primaries::InGamut(expected.linear(linear), 1e-3))
                    continue;
                const QRgb got = back.pixel(x, y);
                const int difference = std::max({std::abs(qRed(got) - levels[0]), std::abs(qGreen(got) - levels[1]),
                                                 std::abs(qBlue(got) - levels[2])});
                inside += 1;
                off += difference;
            }
        // A colour next to the edge may take a level or more from the table's
        // points beyond it; on average a twentieth of a level.
        QVERIFY(inside > 0.25 * made.width() * made.height());
        QVERIFY2(off / inside < 0.25, qPrintable(QStringLiteral("%1 levels off on average").arg(off / inside)));
    }
};

QTEST_GUILESS_MAIN(tst_players)
#include "tst_players.moc"
