// Captures in the full-size view: a washed-out capture of 64kilo made by
// ffmpeg (limited range read as full), placed in a
// larger picture. The status line's values, the three ways of opening a
// file, and pictures the view cannot compare.

#include "WindowTesting.h"

#include "SheetFormulas.h"
#include "census/Ciede2000.h"
#include "window/Capture.h"
#include "window/ResultsDock.h"
#include "window/SheetView.h"
#include "window/ZoomedSheet.h"

#include <QBuffer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
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

// The sheet from its formulas, padded into a grey picture and washed out by
// ffmpeg; empty when ffmpeg failed.
QString makeCapture(const QTemporaryDir &dir)
{
    const int size = CanvasSize[Mode64Kilo];
    QImage sheet(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const ColorValue c = Colour(Mode64Kilo, x, y);
            sheet.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    const QString sheetFile = dir.filePath(QStringLiteral("sheet.png"));
    const QString capture = dir.filePath(QStringLiteral("capture.png"));
    if (!sheet.save(sheetFile))
        return QString();
    // Limited-range RGB (16 to 235) read as full range.
    const QString pad = QStringLiteral("pad=%1:%2:%3:%4:color=gray,")
                            .arg(PictureSize.width())
                            .arg(PictureSize.height())
                            .arg(Offset.x())
                            .arg(Offset.y());
    const QString levels = QStringLiteral("colorlevels=romin=16/255:gomin=16/255:bomin=16/255:romax=235/255:gomax=235/255:bomax=235/255,format=rgb24");
    if (QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-i", sheetFile, "-vf", pad + levels, capture}) != 0)
        return QString();
    return capture;
}

// The viewport point over a sheet pixel, well inside it.
QPoint pointOver(ZoomedSheet *sheet, QPoint pixel)
{
    const QPointF at = sheet->viewportPointOf(QPointF(pixel) + QPointF(0.25, 0.25));
    return QPoint(int(std::floor(at.x())), int(std::floor(at.y())));
}

SheetView *viewOf(mainform &form)
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *view = qobject_cast<SheetView *>(window); view && view->isVisible())
            return view;
    Q_UNUSED(form);
    return nullptr;
}

// Opens the view on the window's canvas (Ctrl+0), as a user would first.
SheetView *openEmptyView(mainform &form)
{
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        qWarning("the window did not become active");
    QTest::keyClick(&form, Qt::Key_0, Qt::ControlModifier);
    SheetView *view = viewOf(form);
    if (view && !QTest::qWaitForWindowExposed(view))
        qWarning("the view was not exposed");
    return view;
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
        captureFile_ = makeCapture(dir_);
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
            QVERIFY(form->OpenCapture(captureFile_));
            view = viewOf(*form);
        } else {
            view = openEmptyView(*form);
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
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QVERIFY(view->capture());
        QCOMPARE(view->mode(), std::optional<Mode>(Mode::Colours64Kilo));
        QCOMPARE(view->capture()->offset(), Offset);
        QCOMPARE(view->windowTitle(), QStringLiteral("Tintwell — capture.png — 64kilo — capture"));
        // The panel's text: the census and the diagnosis as the commands print them.
        QTRY_VERIFY(view->capture()->examined());
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
        QCOMPARE(hex(shown()), hex(captured_.pixel(Offset + pixel)));
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::keyClick(sheet, Qt::Key_1);
        const ColorValue drawn = Colour(Mode64Kilo, pixel.x(), pixel.y());
        QCOMPARE(hex(shown()), hex(qRgb(RedOf(drawn), GreenOf(drawn), BlueOf(drawn))));
        QTest::keyClick(sheet, Qt::Key_Space);
        QCOMPARE(view->face(), SheetView::Face::Capture);
        // A run of the window leaves the capture where it is.
        runMode(*form, 5);
        QCOMPARE(hex(shown()), hex(captured_.pixel(Offset + pixel)));
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
        QVERIFY(form->OpenCapture(captureFile_));
        SheetView *view = viewOf(*form);
        QVERIFY(view && QTest::qWaitForWindowExposed(view));
        QWidget *viewport = view->sheet()->viewport();
        QTest::mouseMove(viewport, pointOver(view->sheet(), pixel));

        const ColorValue drawn = Colour(Mode64Kilo, pixel.x(), pixel.y());
        const QRgb sheet = qRgb(RedOf(drawn), GreenOf(drawn), BlueOf(drawn));
        const QRgb captured = captured_.pixel(Offset + pixel);
        const double de = Ciede2000::Difference(
            Ciede2000::FromSrgb(qRed(sheet) / 255.0, qGreen(sheet) / 255.0, qBlue(sheet) / 255.0),
            Ciede2000::FromSrgb(qRed(captured) / 255.0, qGreen(captured) / 255.0, qBlue(captured) / 255.0));
        const QString expected = QStringLiteral("%1, %2    tile (%3, %4)    sheet %5    capture %6    dE2000 %7")
                                     .arg(pixel.x())
                                     .arg(pixel.y())
                                     .arg(pixel.x() / 64)
                                     .arg(pixel.y() / 64)
                                     .arg(hex(sheet), hex(captured))
                                     .arg(de, 0, 'f', 2);
        QCOMPARE(pointedText(view), expected);
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
        SheetView *view = openEmptyView(*form);
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
        for (Qt::Key key : {Qt::Key_1, Qt::Key_3, Qt::Key_Space, Qt::Key_T, Qt::Key_F9})
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
