// `tintwell capture.png` under Xvfb and a window manager, with a washed-out
// capture of 64kilo at a known place in a 1280 x 800 picture. At 100 % the
// screen shows the capture's own pixels in face 2, the sheet's in face 1,
// grey in face 3; the plot window's red mean starts at 16, where black came
// back. TINTWELL_PROGRAM names the program; nothing here links its code. It
// starts an Xvfb of its own (RealDisplay.h).

#include "generation/ColorValue.h"
#include "RealDisplay.h"
#include "WashedCapture.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QSet>

#include <cmath>
#include <functional>
#include <optional>

namespace {

// Deadlines only keep a broken run from hanging; nothing is timed.
constexpr int Deadline = 60'000;
constexpr int Mode64Kilo = 3;
constexpr QPoint Offset(412, 233);
constexpr QSize PictureSize(1280, 800);
// Black comes back at 16.
constexpr double WashedBlack = 16;
// The red plot's middle: the left third of the plot window as it opens.
constexpr QPoint RedPlot(210, 240);

// A tool's standard output; none when it failed or hung.
std::optional<QByteArray> runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(Deadline) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(-1);
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

bool xdotool(const QStringList &arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments).has_value();
}

bool pollUntil(const char *what, const std::function<bool()> &check)
{
    return RealDisplay::WaitFor(what, check, Deadline);
}

std::optional<quint32> windowNamed(const QString &name)
{
    bool ok = false;
    const quint32 id =
        runTool(QStringLiteral("xdotool"), {"search", "--name", name}).value_or("").split('\n').value(0).toUInt(&ok);
    return ok ? std::optional<quint32>(id) : std::nullopt;
}

QImage screenshot(quint32 window)
{
    const auto png = runTool(QStringLiteral("import"), {"-silent", "-window", QString::number(window), "png:-"});
    return QImage::fromData(png.value_or(""), "PNG").convertToFormat(QImage::Format_RGB32);
}

// Whether `shot` shows `area` with its top left at `at`, pixel for pixel
// (the screenshot's colour space, which QImage's == would compare, aside).
bool shows(const QImage &shot, QPoint at, const QImage &area)
{
    if (!shot.rect().contains(QRect(at, area.size())))
        return false;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if ((shot.pixel(at.x() + x, at.y() + y) ^ area.pixel(x, y)) & 0xFFFFFFu)
                return false;
    return true;
}

// Where `area` lies in `shot`; none when nowhere.
std::optional<QPoint> find(const QImage &shot, const QImage &area)
{
    for (int y = 0; y + area.height() <= shot.height(); ++y)
        for (int x = 0; x + area.width() <= shot.width(); ++x)
            if (shows(shot, QPoint(x, y), area))
                return QPoint(x, y);
    return std::nullopt;
}

} // namespace

class tst_RealCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed");
        for (const char *tool : {"xdotool", "import", "xclip", "ffmpeg", "openbox"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
        const QString why = RealDisplay::Start(xServer_, QStringLiteral("1600x1000x24"), Deadline);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        program_ = qEnvironmentVariable("TINTWELL_PROGRAM");
        QVERIFY2(!program_.isEmpty(), "TINTWELL_PROGRAM is not set");
        QVERIFY(dir_.isValid());

        sheet_ = WashedCapture::sheet(Mode64Kilo);
        capture_ = WashedCapture::make(dir_, Mode64Kilo, PictureSize, Offset);
        QVERIFY2(!capture_.isEmpty(), "ffmpeg could not make the capture");
        captured_ = QImage(capture_).convertToFormat(QImage::Format_RGB32).copy(QRect(Offset, sheet_.size()));

        // openbox now and then never takes a busy machine's new screen: a
        // second start does.
        const auto managed = [] {
            return runTool(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}).value_or("").contains("window id");
        };
        windowManager_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        for (int start = 0; start < 2 && !managed(); ++start) {
            windowManager_.kill();
            windowManager_.waitForFinished(-1);
            windowManager_.start(QStringLiteral("openbox"), {});
            QVERIFY2(windowManager_.waitForStarted(Deadline), qPrintable(windowManager_.errorString()));
            if (RealDisplay::WaitFor("openbox to take the screen", managed, Deadline / 4))
                break;
        }
        QVERIFY2(managed(), qPrintable(QStringLiteral("openbox did not take the screen %1 (%2)")
                                           .arg(qEnvironmentVariable("DISPLAY"),
                                                windowManager_.state() == QProcess::Running
                                                    ? QStringLiteral("running")
                                                    : QStringLiteral("ended with %1").arg(windowManager_.exitCode()))));
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&running_, &windowManager_}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(-1);
        }
        RealDisplay::ReportWaits(Deadline);
        RealDisplay::Stop(xServer_);
    }

    void facesAndPlot()
    {
        // On this X server, whatever platform the test itself was given
        // (CI sets QT_QPA_PLATFORM=offscreen for every test).
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        running_.setProcessEnvironment(environment);
        running_.start(program_, {capture_});
        QVERIFY(running_.waitForStarted(Deadline));
        std::optional<quint32> view;
        QVERIFY(pollUntil("the view to appear", [&] { return (view = windowNamed(QStringLiteral("capture.png — 64kilo — capture"))).has_value(); }));
        QVERIFY(xdotool({"windowactivate", "--sync", QString::number(*view)}));

        // Face 2: the capture's pixels, where the view put them at 100 %.
        std::optional<QPoint> at;
        QVERIFY2(pollUntil("face 2 on the screen", [&] { return (at = find(screenshot(*view), captured_)).has_value(); }),
                 "the capture's pixels are not on the screen");

        // Face 1: the sheet's at the same place.
        QVERIFY(xdotool({"key", "1"}));
        QVERIFY2(pollUntil("face 1 on the screen", [&] { return shows(screenshot(*view), *at, sheet_); }),
                 "face 1 does not show the sheet where face 2 showed the capture");

        // Face 3: grey, and not one grey: the differences vary over the sheet.
        QVERIFY(xdotool({"key", "3"}));
        QImage difference;
        QVERIFY(pollUntil("face 3 on the screen", [&] {
            const QImage shot = screenshot(*view);
            difference = shot.copy(QRect(*at, sheet_.size()));
            return !shows(shot, *at, sheet_) && !shows(shot, *at, captured_);
        }));
        QSet<QRgb> greys;
        for (int y = 0; y < difference.height(); ++y)
            for (int x = 0; x < difference.width(); ++x)
                greys.insert(difference.pixel(x, y));
        for (QRgb grey : greys)
            QVERIFY2(qRed(grey) == qGreen(grey) && qGreen(grey) == qBlue(grey), "face 3 has colour");
        QVERIFY(greys.size() > 8);

        // The plot window: its red mean starts at the level black came back at.
        QVERIFY(xdotool({"key", "t"}));
        std::optional<quint32> plot;
        QVERIFY(pollUntil("the plot window to appear", [&] { return (plot = windowNamed(QStringLiteral("tone curves"))).has_value(); }));
        QVERIFY(xdotool({"windowactivate", "--sync", QString::number(*plot)}));
        // Its context menu copies the values the lines are drawn from: "c"
        // once the menu is on the screen.
        const auto visibleWindows = [&] {
            return runTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(running_.processId())})
                .value_or("")
                .count('\n');
        };
        const qsizetype before = visibleWindows();
        QVERIFY(xdotool({"mousemove", "--window", QString::number(*plot), QString::number(RedPlot.x()),
                         QString::number(RedPlot.y()), "click", "3"}));
        QVERIFY2(pollUntil("the plot's menu to open", [&] { return visibleWindows() > before; }),
                 "the plot's context menu did not open");
        QVERIFY(xdotool({"key", "c"}));
        QString table;
        QVERIFY2(pollUntil("the values on the clipboard",
                           [&] {
                               const auto copied = runTool(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
                               table = QString::fromUtf8(copied.value_or(""));
                               return table.startsWith(QStringLiteral("level"));
                           }),
                 qPrintable(QStringLiteral("the clipboard holds no values: ") + table.left(80)));
        // Every level's red mean is where ffmpeg put it (16 + 219/255 of the
        // level); black, held only at the tiles' left edges, has no sample.
        const QStringList lines = table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        const QStringList heading = lines[0].split(QLatin1Char('\t'));
        QCOMPARE(heading.mid(0, 3), QStringList({"level", "Red mean", "Red samples"}));
        QCOMPARE(lines[1].split(QLatin1Char('\t')).mid(0, 3), QStringList({"0", "", "0"}));
        int means = 0;
        for (const QString &line : lines.mid(1)) {
            const QStringList row = line.split(QLatin1Char('\t'));
            if (row.value(1).isEmpty())
                continue;
            ++means;
            const double washed = WashedBlack + row[0].toDouble() * 219 / 255;
            QVERIFY2(std::abs(row[1].toDouble() - washed) <= 1 && row[2].toInt() > 0, qPrintable(line));
        }
        QVERIFY(means >= 48);
    }

private:
    QTemporaryDir dir_;
    QString program_;
    QString capture_;
    QImage sheet_;
    QImage captured_;
    QProcess xServer_;
    QProcess windowManager_;
    QProcess running_;
};

QTEST_GUILESS_MAIN(tst_RealCapture)
#include "tst_realcapture.moc"
