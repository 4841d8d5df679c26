// `tintwell capture.png` in a real X server with a window manager: a
// washed-out capture of 64kilo (made by ffmpeg: limited range read as full)
// at a known place in a 1280 x 800 picture. At 100 % the screen must show the capture's own pixels in face 2, the sheet's
// (from its formulas) in face 1, and grey in face 3; the plot window's red
// mean starts at 16, the level black came back at.
//
// Run under xvfb-run with the program's path in TINTWELL_PROGRAM. Nothing
// here links the program's code.

#include "generation/ColorValue.h"
#include "SheetFormulas.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <QSet>

#include <cmath>
#include <functional>
#include <optional>

using namespace SheetFormulas;

namespace {

// Deadlines only keep a broken run from hanging; nothing is timed.
constexpr int Deadline = 60'000;
constexpr int Mode64Kilo = 3;
constexpr QPoint Offset(412, 233);
constexpr QSize PictureSize(1280, 800);
// Limited-range RGB (16 to 235) shown as full range, as a player sending
// video levels to a monitor expecting full ones shows it; black comes back
// at 16.
const QString LimitedRange = QStringLiteral("colorlevels=romin=16/255:gomin=16/255:bomin=16/255:romax=235/255:gomax=235/255:bomax=235/255,format=rgb24");
constexpr double WashedBlack = 16;

struct ToolResult
{
    bool ok = false;
    QByteArray out;
};

ToolResult runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted(Deadline) || !process.waitForFinished(Deadline)) {
        process.kill();
        process.waitForFinished(-1);
        return result;
    }
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    result.out = process.readAllStandardOutput();
    return result;
}

ToolResult xdotool(const QStringList &arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments);
}

bool pollUntil(const std::function<bool()> &check)
{
    const QDeadlineTimer deadline(Deadline);
    while (!check()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

std::optional<quint32> windowNamed(const QString &name)
{
    const ToolResult result = xdotool({QStringLiteral("search"), QStringLiteral("--name"), name});
    const QList<QByteArray> lines = result.out.trimmed().split('\n');
    bool ok = false;
    const quint32 id = lines.value(0).toUInt(&ok);
    return ok ? std::optional<quint32>(id) : std::nullopt;
}

QImage screenshot(quint32 window)
{
    const ToolResult result = runTool(QStringLiteral("import"), {QStringLiteral("-silent"), QStringLiteral("-window"),
                                                                 QString::number(window), QStringLiteral("png:-")});
    return result.ok ? QImage::fromData(result.out, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

QImage sheetPicture()
{
    const int size = CanvasSize[Mode64Kilo];
    QImage sheet(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const ColorValue c = Colour(Mode64Kilo, x, y);
            sheet.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    return sheet;
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
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no X display: run under xvfb-run");
        for (const char *tool : {"xdotool", "import", "xclip", "ffmpeg", "openbox"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
        program_ = qEnvironmentVariable("TINTWELL_PROGRAM");
        QVERIFY2(!program_.isEmpty(), "TINTWELL_PROGRAM is not set");
        QVERIFY(dir_.isValid());

        // The capture, made by ffmpeg from the sheet's formulas.
        sheet_ = sheetPicture();
        const QString sheetFile = dir_.filePath(QStringLiteral("sheet.png"));
        capture_ = dir_.filePath(QStringLiteral("capture.png"));
        QVERIFY(sheet_.save(sheetFile));
        const QString pad = QStringLiteral("pad=%1:%2:%3:%4:color=gray,")
                                .arg(PictureSize.width())
                                .arg(PictureSize.height())
                                .arg(Offset.x())
                                .arg(Offset.y());
        QVERIFY(runTool(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-i", sheetFile, "-vf", pad + LimitedRange, capture_})
                    .ok);
        QImage picture(capture_);
        QCOMPARE(picture.size(), PictureSize);
        captured_ = picture.convertToFormat(QImage::Format_RGB32).copy(QRect(Offset, sheet_.size()));
        QVERIFY2(!shows(captured_, QPoint(0, 0), sheet_), "ffmpeg left the sheet as it was");

        windowManager_.start(QStringLiteral("openbox"), {});
        QVERIFY(windowManager_.waitForStarted(Deadline));
        QVERIFY(pollUntil([] {
            return runTool(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}).out.contains("window id");
        }));
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&running_, &windowManager_}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(-1);
        }
    }

    void facesAndPlot()
    {
        running_.start(program_, {capture_});
        QVERIFY(running_.waitForStarted(Deadline));
        std::optional<quint32> view;
        QVERIFY(pollUntil([&] { return (view = windowNamed(QStringLiteral("capture.png — 64kilo — capture"))).has_value(); }));
        QVERIFY(xdotool({"windowactivate", "--sync", QString::number(*view)}).ok);

        // Face 2: the capture's pixels, where the view put them at 100 %.
        std::optional<QPoint> at;
        QVERIFY2(pollUntil([&] { return (at = find(screenshot(*view), captured_)).has_value(); }),
                 "the capture's pixels are not on the screen");

        // Face 1: the sheet's at the same place.
        QVERIFY(xdotool({"key", "1"}).ok);
        QVERIFY2(pollUntil([&] { return shows(screenshot(*view), *at, sheet_); }),
                 "face 1 does not show the sheet where face 2 showed the capture");

        // Face 3: grey, and not one grey: the differences vary over the sheet.
        QVERIFY(xdotool({"key", "3"}).ok);
        QImage difference;
        QVERIFY(pollUntil([&] {
            const QImage shot = screenshot(*view);
            difference = shot.copy(QRect(*at, sheet_.size()));
            return !shows(shot, *at, sheet_) && !shows(shot, *at, captured_);
        }));
        QSet<QRgb> greys;
        for (int y = 0; y < difference.height(); ++y)
            for (int x = 0; x < difference.width(); ++x) {
                const QRgb pixel = difference.pixel(x, y);
                QVERIFY2(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel),
                         qPrintable(QStringLiteral("face 3 has colour at %1, %2").arg(x).arg(y)));
                greys.insert(pixel);
            }
        QVERIFY(greys.size() > 8);

        // The plot window: its red mean starts at the level black came back at.
        QVERIFY(xdotool({"key", "t"}).ok);
        std::optional<quint32> plot;
        QVERIFY(pollUntil([&] { return (plot = windowNamed(QStringLiteral("tone curves"))).has_value(); }));
        QVERIFY(xdotool({"windowactivate", "--sync", QString::number(*plot)}).ok);
        const QByteArray geometry = xdotool({"getwindowgeometry", "--shell", QString::number(*plot)}).out;
        int width = 0, height = 0;
        for (const QByteArray &line : geometry.split('\n')) {
            if (line.startsWith("WIDTH="))
                width = line.mid(6).toInt();
            if (line.startsWith("HEIGHT="))
                height = line.mid(7).toInt();
        }
        QVERIFY(width > 0 && height > 0);
        // The red plot is the left third; its context menu copies the values.
        QVERIFY(xdotool({"mousemove", "--window", QString::number(*plot), QString::number(width / 6),
                         QString::number(height / 2), "click", "3"})
                    .ok);
        QThread::msleep(500);
        QVERIFY(xdotool({"key", "c"}).ok);
        QString table;
        QVERIFY(pollUntil([&] {
            table = QString::fromUtf8(runTool(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"}).out);
            return table.startsWith(QStringLiteral("level"));
        }));
        const QStringList lines = table.split(QLatin1Char('\n'));
        QVERIFY(lines.size() > 2);
        QCOMPARE(lines[0].split(QLatin1Char('\t')).value(1), QStringLiteral("Red mean"));
        const QStringList first = lines[1].split(QLatin1Char('\t'));
        QCOMPARE(first.value(0), QStringLiteral("0"));
        bool ok = false;
        const double redAtBlack = first.value(1).toDouble(&ok);
        QVERIFY(ok);
        QVERIFY2(std::abs(redAtBlack - WashedBlack) <= 1, qPrintable(lines[1]));
    }

private:
    QTemporaryDir dir_;
    QString program_;
    QString capture_;
    QImage sheet_;
    QImage captured_;
    QProcess windowManager_;
    QProcess running_;
};

QTEST_GUILESS_MAIN(tst_RealCapture)
#include "tst_realcapture.moc"
