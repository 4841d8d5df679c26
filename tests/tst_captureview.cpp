// Captures in the full-size view, with a washed-out capture of 64kilo made
// by ffmpeg: the three ways of opening a file, the status line's values,
// and pictures the view cannot compare.

#include "WindowTesting.h"

#include "SheetFormulas.h"
#include "WashedCapture.h"
#include "window/Capture.h"
#include "window/ResultsDock.h"
#include "window/SheetView.h"
#include "window/ToneCurvePlot.h"
#include "window/ZoomedSheet.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QFileDialog>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

using namespace WindowTesting;
using namespace SheetFormulas;

namespace {

constexpr int Mode64Kilo = 3;
constexpr QPoint Offset(300, 200);
constexpr QSize PictureSize(640, 480);

QString hex(QRgb colour)
{
    return QString::asprintf("%02X%02X%02X", qRed(colour), qGreen(colour), qBlue(colour));
}

QRgb sheetColour(QPoint pixel)
{
    const ColorValue c = Colour(Mode64Kilo, pixel.x(), pixel.y());
    return qRgb(RedOf(c), GreenOf(c), BlueOf(c));
}

// The viewport point over a sheet pixel, well inside it.
QPoint pointOver(ZoomedSheet *sheet, QPoint pixel)
{
    const QPointF at = sheet->viewportPointOf(QPointF(pixel) + QPointF(0.25, 0.25));
    return QPoint(int(std::floor(at.x())), int(std::floor(at.y())));
}

// The open view, after `open` (Ctrl+0 on the window when none is given).
SheetView *viewOf(mainform &form, const std::function<void()> &open = {})
{
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        qWarning("the window did not become active");
    open ? open() : QTest::keyClick(&form, Qt::Key_0, Qt::ControlModifier);
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *view = qobject_cast<SheetView *>(window); view && QTest::qWaitForWindowExposed(view))
            return view;
    return nullptr;
}

// The video module beside the test, where the program looks for it.
bool linkVideoModule()
{
    const QString module = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tintwell-video.so"));
    QFile::remove(module);
    return QFile::link(QStringLiteral(TINTWELL_VIDEO_MODULE), module);
}

void dropOn(SheetView *view, const QString &fileName)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(fileName)});
    const QPoint at = view->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &drop);
}

QString pointedText(SheetView *view)
{
    return view->findChild<QLabel *>(QStringLiteral("Pointed"))->text();
}

} // namespace

class tst_CaptureView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        captureFile_ = WashedCapture::make(dir_, Mode64Kilo, PictureSize, Offset);
        QVERIFY2(!captureFile_.isEmpty(), "ffmpeg could not make the capture");
        QVERIFY(captured_.load(captureFile_));
        captured_ = captured_.convertToFormat(QImage::Format_RGB32);
    }

    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    void opensTheSameWay_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("command line") << QStringLiteral("argument");
        QTest::newRow("drop on the view") << QStringLiteral("drop");
        QTest::newRow("Ctrl+O in the view") << QStringLiteral("dialog");
    }

    void opensTheSameWay()
    {
        QFETCH(QString, way);
        std::unique_ptr<mainform> form(openWindow());
        SheetView *view = nullptr;
        if (way == QLatin1String("argument")) {
            view = viewOf(*form, [&] { QVERIFY(form->OpenCapture(captureFile_)); });
        } else {
            view = viewOf(*form);
            QVERIFY(view);
            if (way == QLatin1String("drop")) {
                dropOn(view, captureFile_);
            } else {
                whenModal<QFileDialog>(view, [this](QFileDialog *dialog) {
                    QVERIFY(DialogTesting::typeName(dialog, captureFile_));
                    QTest::keyClick(DialogTesting::nameEdit(dialog), Qt::Key_Return);
                });
                QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
            }
        }
        QVERIFY(view && view->capture());
        QCOMPARE(view->mode(), std::optional<Mode>(Mode::Colours64Kilo));
        QCOMPARE(view->capture()->offset(), Offset);
        QCOMPARE(view->windowTitle(), QStringLiteral("Tintwell — capture.png — 64kilo — capture"));
        // The panel's text: the census and the diagnosis as the commands print
        // them, which take a few seconds more in the sanitizer build.
        QTRY_VERIFY_WITH_TIMEOUT(view->capture()->examined(), 120'000);
        const QString results = view->results()->text();
        for (const char *line : {"mode: 64kilo", "offset: 300 200", "size: 256x256", "range: limited read as full"})
            QVERIFY2(results.contains(QLatin1String(line)), qPrintable(results));

        // What the screen shows at a sheet pixel in each face.
        ZoomedSheet *sheet = view->sheet();
        const QPoint pixel(97, 38);
        const auto shown = [&] {
            const QImage grabbed = sheet->viewport()->grab().toImage();
            const QPointF device = sheet->viewportPointOf(QPointF(pixel) + QPointF(0.5, 0.5)) * grabbed.devicePixelRatio();
            return grabbed.pixel(int(std::floor(device.x())), int(std::floor(device.y()))) & 0xFFFFFFu;
        };
        // A right click copies the colour of the face: the sheet's in the
        // sheet, the capture's in the capture and in the difference (whose
        // grey is no colour of either).
        const auto picked = [&] {
            QTest::mouseClick(sheet->viewport(), Qt::RightButton, {}, pointOver(sheet, pixel));
            return QGuiApplication::clipboard()->text();
        };
        QCOMPARE(hex(shown()), hex(captured_.pixel(Offset + pixel)));
        QCOMPARE(picked(), hex(captured_.pixel(Offset + pixel)));
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::keyClick(sheet, Qt::Key_1);
        QCOMPARE(hex(shown()), hex(sheetColour(pixel)));
        QCOMPARE(picked(), hex(sheetColour(pixel)));
        QTest::keyClick(sheet, Qt::Key_Space);
        QCOMPARE(view->face(), SheetView::Face::Capture);
        // A run of the window leaves the capture where it is.
        runMode(*form, 5);
        QCOMPARE(hex(shown()), hex(captured_.pixel(Offset + pixel)));
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::keyClick(sheet, Qt::Key_3);
        QCOMPARE(view->face(), SheetView::Face::Difference);
        QCOMPARE(picked(), hex(captured_.pixel(Offset + pixel)));
    }

    // The density stands where its levels are on the plot's axes: a band of
    // sheet levels 32 to 95 that came back at 200 to 239 is drawn there, high
    // on the plot, not at 16 to 55.
    void densityStandsOnItsLevels()
    {
        std::array<ToneCurve, 3> curves;
        for (int sheetLevel = 32; sheetLevel < 96; ++sheetLevel)
            for (int captured = 200; captured < 240; ++captured)
                curves[0].counts[std::size_t(sheetLevel * ToneCurve::Levels + captured)] = 1;
        ToneCurvePlot plot;
        plot.showCurves(curves, QStringLiteral("band"));
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        QChartView *view = plot.chartView(0);
        const QImage shown = view->grab().toImage();
        const auto red = [&](double sheetLevel, double captured) {
            const QPointF inChart = view->chart()->mapToPosition(QPointF(sheetLevel, captured));
            const QPoint at = view->mapFromScene(view->chart()->mapToScene(inChart)) * shown.devicePixelRatio();
            const QRgb pixel = shown.pixel(at);
            return qRed(pixel) - qGreen(pixel) > 40;
        };
        QVERIFY(red(70, 215));
        QVERIFY(red(40, 235));
        QVERIFY(!red(70, 40));
        QVERIFY(!red(40, 20));
    }

    // A recording opens at its first frame that holds a sheet: a second of
    // grey, then the capture, losslessly.
    void recordingOpensAtTheSheet()
    {
        QVERIFY(linkVideoModule());
        const QString clip = dir_.filePath(QStringLiteral("capture.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                                   {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=gray:s=640x480:r=10:d=2", "-i",
                                    captureFile_, "-filter_complex", "[0][1]overlay=enable='gte(t,1)',format=bgr0",
                                    "-c:v", "ffv1", "-t", "2", clip}),
                 0);
        std::unique_ptr<mainform> form(openWindow());
        SheetView *view = viewOf(*form);
        QVERIFY(view);
        dropOn(view, clip);
        QVERIFY(view->capture());
        QCOMPARE(view->mode(), std::optional<Mode>(Mode::Colours64Kilo));
        QCOMPARE(view->capture()->offset(), Offset);
        QCOMPARE(view->windowTitle(), QStringLiteral("Tintwell — capture.mkv — 64kilo — capture"));
    }

    // P shows a recording as each player shows it. An untagged BT.601 clip
    // of 1024x600 is BT.601 by its size to ffmpeg and the browsers, BT.709
    // to mpv and GStreamer (above 576 lines): ffmpeg decoding it with each
    // matrix says what the view must show.
    void recordingAsEachPlayerShowsIt()
    {
        QVERIFY(linkVideoModule());
        const QString clip = dir_.filePath(QStringLiteral("untagged.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                                   {"-v", "error", "-y", "-i", captureFile_, "-vf",
                                    "pad=1024:600,scale=out_color_matrix=bt601:out_range=tv,format=yuv444p,"
                                    "setparams=range=unknown:colorspace=unknown:color_primaries=unknown",
                                    "-c:v", "ffv1", "-frames:v", "1", clip}),
                 0);
        const auto decoded = [&](const QString &matrix) {
            const QString png = dir_.filePath(matrix + QLatin1String(".png"));
            QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-i", clip, "-vf",
                                                         "scale=in_color_matrix=" + matrix + ":in_range=tv,format=rgb24",
                                                         "-frames:v", "1", png});
            return QImage(png).convertToFormat(QImage::Format_RGB32).copy(QRect(Offset, QSize(256, 256)));
        };
        const QImage as601 = decoded(QStringLiteral("bt601")), as709 = decoded(QStringLiteral("bt709"));
        const auto largestDifference = [](const QImage &a, const QImage &b) {
            int largest = a.size() == b.size() ? 0 : 256;
            for (int y = 0; largest < 256 && y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x) {
                    const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                    largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                        std::abs(qBlue(p) - qBlue(q))});
                }
            return largest;
        };
        QVERIFY(largestDifference(as601, as709) > 10);

        std::unique_ptr<mainform> form(openWindow());
        SheetView *view = viewOf(*form);
        QVERIFY(view);
        dropOn(view, clip);
        QVERIFY(view->capture());
        QVERIFY(largestDifference(view->capture()->captured(), as601) <= 1);
        using VideoFrames::Player;
        const struct
        {
            Player player;
            const QImage &shown;
        } presses[] = {{Player::Mpv, as709},     {Player::Gstreamer, as709}, {Player::Ffmpeg, as601},
                       {Player::Chromium, as601}, {Player::Firefox, as601},   {Player::Default, as601}};
        for (const auto &press : presses) {
            QTest::keyClick(view->sheet(), Qt::Key_P);
            QCOMPARE(view->player(), press.player);
            QVERIFY(view->capture());
            QCOMPARE(view->capture()->offset(), Offset);
            const int largest = largestDifference(view->capture()->captured(), press.shown);
            QVERIFY2(largest <= 1, qPrintable(QStringLiteral("%1 levels off").arg(largest)));
        }
        QTest::keyClick(view->sheet(), Qt::Key_P);
        QVERIFY2(view->findChild<QLabel *>(QStringLiteral("ViewMessage"))
                     ->text()
                     .startsWith(QStringLiteral("Shown as mpv shows it: BT.709 limited")),
                 qPrintable(view->findChild<QLabel *>(QStringLiteral("ViewMessage"))->text()));
    }

    void statusLine_data()
    {
        QTest::addColumn<QPoint>("pixel");
        QTest::newRow("top left") << QPoint(0, 0);
        QTest::newRow("inside the second tile") << QPoint(97, 38);
        QTest::newRow("the brightest tile's last pixel") << QPoint(255, 255);
        QTest::newRow("a tile's first pixel") << QPoint(64, 128);
    }

    void statusLine()
    {
        QFETCH(QPoint, pixel);
        std::unique_ptr<mainform> form(openWindow());
        SheetView *view = viewOf(*form, [&] { QVERIFY(form->OpenCapture(captureFile_)); });
        QVERIFY(view);
        QTest::mouseMove(view->sheet()->viewport(), pointOver(view->sheet(), pixel));
        // The washed-out colours are some CIEDE2000 units apart.
        const QStringList shown = pointedText(view).split(QStringLiteral("    dE2000 "));
        QCOMPARE(shown.value(0), QStringLiteral("%1, %2    tile (%3, %4)    sheet %5    capture %6")
                                     .arg(pixel.x())
                                     .arg(pixel.y())
                                     .arg(pixel.x() / 64)
                                     .arg(pixel.y() / 64)
                                     .arg(hex(sheetColour(pixel)), hex(captured_.pixel(Offset + pixel))));
        QVERIFY2(shown.value(1).toDouble() > 0.5 && shown.value(1).toDouble() < 10, qPrintable(shown.value(1)));
    }

    void picturesWithoutASheet_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readable");
        const auto greyPng = [](QSize size) {
            QImage grey(size, QImage::Format_RGB32);
            grey.fill(qRgb(90, 90, 90));
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            grey.save(&buffer, "PNG");
            return png;
        };
        const QByteArray png = greyPng(QSize(400, 300));
        QTest::newRow("a grey picture") << png << true;
        QTest::newRow("a picture smaller than every sheet") << greyPng(QSize(20, 20)) << true;
        QTest::newRow("a truncated PNG") << png.left(png.size() / 2) << false;
        QTest::newRow("not a picture") << QByteArray("hello, this is text\n") << false;
    }

    void picturesWithoutASheet()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        const QString fileName = dir_.filePath(QStringLiteral("%1.png").arg(QTest::currentDataTag()));
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();

        std::unique_ptr<mainform> form(openWindow());
        SheetView *view = viewOf(*form);
        QVERIFY(view);
        QString message;
        if (!readable)
            whenModal<QMessageBox>(view, [&message](QMessageBox *box) {
                message = box->text();
                box->accept();
            });
        dropOn(view, fileName);
        if (!readable) {
            QTRY_VERIFY(!message.isEmpty());
            QVERIFY2(message.contains(QFileInfo(fileName).fileName()), qPrintable(message));
            QVERIFY(!view->capture());
            return;
        }
        QVERIFY(view->capture());
        QVERIFY(!view->mode());
        QVERIFY(view->windowTitle().endsWith(QStringLiteral("no sheet")));
        QVERIFY(view->findChild<QLabel *>(QStringLiteral("ViewMessage"))->text().startsWith(QStringLiteral("No sheet")));
        QTest::mouseMove(view->sheet()->viewport(), pointOver(view->sheet(), QPoint(10, 10)));
        QCOMPARE(pointedText(view), QStringLiteral("10, 10    capture 5A5A5A"));
        // The keys of a capture with a sheet do nothing harmful here.
        for (Qt::Key key : {Qt::Key_1, Qt::Key_3, Qt::Key_Space, Qt::Key_T, Qt::Key_F9, Qt::Key_P})
            QTest::keyClick(view->sheet(), key);
        QVERIFY(!view->plots());
    }

private:
    QTemporaryDir dir_;
    QString captureFile_;
    QImage captured_;
};

QTEST_MAIN(tst_CaptureView)
#include "tst_captureview.moc"
