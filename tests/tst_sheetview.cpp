// The full-size view of the sheet, opened from the real window: zoom at the
// cursor, a run drawn into an open view, finding a colour, and picks that go
// through the window's own pick. Also run at scale factor 2, where the zoom
// counts device pixels.

#include "WindowTesting.h"

#include "SheetFormulas.h"
#include "window/SheetView.h"
#include "window/ZoomedSheet.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QWheelEvent>

using namespace WindowTesting;

namespace {

constexpr int Mode16Million = 0;
constexpr int Mode64Kilo = 3;

SheetView *openView(mainform &form, Qt::Key key = Qt::Key_0)
{
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        qWarning("the window did not become active");
    QTest::keyClick(&form, key, Qt::ControlModifier);
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *view = qobject_cast<SheetView *>(window); view && view->isVisible()) {
            if (!QTest::qWaitForWindowExposed(view))
                qWarning("the view was not exposed");
            return view;
        }
    return nullptr;
}

int openViews()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        count += qobject_cast<SheetView *>(window) != nullptr;
    return count;
}

void wheelAt(QWidget *viewport, QPointF at, int notches)
{
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
}

} // namespace

class tst_SheetView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wheelZoomKeepsThePointUnderTheCursor_data();
    void wheelZoomKeepsThePointUnderTheCursor();
    void runStartedWithTheViewOpenShowsEveryTile();
    void findMarksEveryPlaceAndCentresIt_data();
    void findMarksEveryPlaceAndCentresIt();
    void colourNotHeldOffersTheNearest();
    void picksGoThroughTheWindowsPick();
    void oneViewClosedByKeysAndWithTheWindow();

private:
    mainform *form = nullptr;
};

void tst_SheetView::init()
{
    form = openWindow();
    QVERIFY(form->isVisible());
}

void tst_SheetView::cleanup()
{
    delete form;
    form = nullptr;
    QCOMPARE(openViews(), 0);
}

void tst_SheetView::wheelZoomKeepsThePointUnderTheCursor_data()
{
    QTest::addColumn<int>("notches"); // one notch steps to the next zoom
    QTest::addColumn<QPointF>("cursor"); // as a part of the viewport's size
    QTest::newRow("in from fit, top left") << 1 << QPointF(0.1, 0.15);
    QTest::newRow("in three steps, bottom right") << 3 << QPointF(0.9, 0.8);
    QTest::newRow("in to 64x and beyond, off centre") << 13 << QPointF(0.3, 0.7);
    QTest::newRow("in then out") << -2 << QPointF(0.6, 0.4);
}

void tst_SheetView::wheelZoomKeepsThePointUnderTheCursor()
{
    QFETCH(int, notches);
    QFETCH(QPointF, cursor);
    runMode(*form, Mode16Million);
    SheetView *view = openView(*form);
    QVERIFY(view);
    ZoomedSheet *sheet = view->sheet();
    QWidget *viewport = sheet->viewport();
    const QPointF at(viewport->width() * cursor.x(), viewport->height() * cursor.y());
    // Zoomed in far enough that the sheet fills the viewport around the cursor.
    sheet->setZoom(2.0 / 3);
    const QPointF before = sheet->sheetPointAt(at);
    const double zoomBefore = sheet->zoom();

    wheelAt(viewport, at, notches);
    QVERIFY(notches > 0 ? sheet->zoom() > zoomBefore : sheet->zoom() < zoomBefore);
    const QPointF after = sheet->sheetPointAt(at);
    // Within the rounding of the origin to a whole device pixel.
    const double deviceOff = QLineF(before, after).length() * sheet->zoom();
    QVERIFY2(deviceOff <= 0.75, qPrintable(QStringLiteral("(%1, %2) moved to (%3, %4) at zoom %5")
                                               .arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())
                                               .arg(sheet->zoom())));
    if (notches >= 13)
        QVERIFY(sheet->zoom() >= 64);
    // The status line names the pixel under the cursor.
    QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    const QPoint pixel = sheet->sheetPixelAt(at).value();
    const QString pointed = view->findChild<QLabel *>("Pointed")->text();
    QVERIFY2(pointed.startsWith(QStringLiteral("%1, %2 ").arg(pixel.x()).arg(pixel.y())), qPrintable(pointed));
    // Its colour, as RRGGBB and as R G B, is that pixel's, not a neighbour's.
    const ColorValue colour = SheetFormulas::Colour(Mode16Million, pixel.x(), pixel.y());
    QVERIFY(colour != SheetFormulas::Colour(Mode16Million, pixel.x() + 1, pixel.y()));
    QVERIFY2(pointed.endsWith(QString::asprintf("    %02X%02X%02X    %d %d %d", RedOf(colour), GreenOf(colour),
                                                BlueOf(colour), RedOf(colour), GreenOf(colour), BlueOf(colour))),
             qPrintable(pointed));
}

// The view opens on the empty canvas of the design's size; the run then
// gives the canvas its size and draws it tile by tile. What the view put on
// its screen (the offscreen platform's backing store), not a fresh paint,
// must show every tile.
void tst_SheetView::runStartedWithTheViewOpenShowsEveryTile()
{
    if (form->devicePixelRatioF() != 1)
        QSKIP("the offscreen platform grabs only part of a scaled window; the real-window test covers scaling");
    SheetView *view = openView(*form, Qt::Key_1);
    QVERIFY(view);
    ZoomedSheet *sheet = view->sheet();
    runMode(*form, Mode64Kilo);
    QCoreApplication::processEvents();
    QCOMPARE(sheet->zoom(), 1.0);

    const QImage shown = view->screen()->grabWindow(view->winId()).toImage();
    const double ratio = view->devicePixelRatioF();
    QStringList wrong;
    for (int y = 0; y < 256; y += 3)
        for (int x = 0; x < 256; x += 3) {
            const QPointF at = sheet->viewport()->mapTo(view, sheet->viewportPointOf(QPointF(x + 0.5, y + 0.5)));
            const QPoint device(static_cast<int>(at.x() * ratio), static_cast<int>(at.y() * ratio));
            const ColorValue expected = SheetFormulas::Colour(Mode64Kilo, x, y);
            if (FromRgb32(shown.pixel(device)) != expected && wrong.size() < 5)
                wrong << QStringLiteral("(%1, %2) shows %3").arg(x).arg(y).arg(shown.pixel(device) & 0xFFFFFF, 6, 16);
        }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
}

void tst_SheetView::findMarksEveryPlaceAndCentresIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<QPoint>>("places");
    QTest::addColumn<double>("zoom");
    const QList<QPoint> green255 = {{100, 200}, {164, 200}, {228, 200}};
    QTest::newRow("64kilo, three places, 800 %") << Mode64Kilo << "90FF20" << green255 << 8.0;
    QTest::newRow("64kilo, # and lower case, at 100 %") << Mode64Kilo << "#90ff20" << green255 << 1.0;
    QTest::newRow("16million, one place, in a corner") << Mode16Million << "ffffff" << QList<QPoint>{{4095, 4095}} << 1.0;
    QTest::newRow("16million, far inside, 350 % is no step") << Mode16Million << " 123456 "
                                                              << QList<QPoint>{{256 * 5 + 0x12, 256 * 6 + 0x34}} << 4.0;
}

void tst_SheetView::findMarksEveryPlaceAndCentresIt()
{
    QFETCH(int, mode);
    QFETCH(QString, typed);
    QFETCH(QList<QPoint>, places);
    QFETCH(double, zoom);
    runMode(*form, mode);
    SheetView *view = openView(*form);
    QVERIFY(view);
    ZoomedSheet *sheet = view->sheet();
    sheet->setZoom(zoom);
    // A sheet pixel smaller than 4 device pixels is hard to see: a find
    // zooms to 800 %.
    const double zoomSet = sheet->zoom() < 4 ? 8 : sheet->zoom();

    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto *findText = view->findChild<QLineEdit *>("FindText");
    QVERIFY(findText->hasFocus());
    QTest::keyClicks(findText, typed);
    QTest::keyClick(findText, Qt::Key_Return);

    QCOMPARE(std::vector<QPoint>(places.begin(), places.end()), sheet->marks());
    // Each step of F3 puts the next place's middle at the viewport's centre,
    // at the zoom of the find, and comes round to the first again; Shift+F3 back.
    const QPointF middle = QPointF(sheet->viewport()->width(), sheet->viewport()->height()) / 2;
    for (int step = 0; step <= places.size(); ++step) {
        const QPoint place = places[step % places.size()];
        QCOMPARE(sheet->zoom(), zoomSet);
        const QPointF off = sheet->viewportPointOf(QPointF(place) + QPointF(0.5, 0.5)) - middle;
        QVERIFY2(off.manhattanLength() <= 1.0, qPrintable(QStringLiteral("step %1: (%2, %3) off the centre")
                                                              .arg(step).arg(off.x()).arg(off.y())));
        QCOMPARE(sheet->sheetPixelAt(middle).value_or(QPoint(-1, -1)), place);
        QTest::keyClick(view, Qt::Key_F3);
    }
    QTest::keyClick(view, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(sheet->sheetPixelAt(middle).value_or(QPoint(-1, -1)), places[0]);
    // Keyboard zoom keeps the found place centred, within a device pixel.
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(sheet->zoom() > zoomSet);
    const QPointF off = sheet->viewportPointOf(QPointF(places[0]) + QPointF(0.5, 0.5)) - middle;
    QVERIFY(off.manhattanLength() * view->devicePixelRatioF() <= 1.0);
}

void tst_SheetView::colourNotHeldOffersTheNearest()
{
    runMode(*form, Mode64Kilo);
    SheetView *view = openView(*form);
    QVERIFY(view);
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto *findText = view->findChild<QLineEdit *>("FindText");
    auto *message = view->findChild<QLabel *>("FindMessage");

    QTest::keyClicks(findText, QStringLiteral("91FF21"));
    QTest::keyClick(findText, Qt::Key_Return);
    QVERIFY(view->sheet()->marks().empty());
    // Red and blue step by 4 in "64kilo".
    QVERIFY2(message->text().contains(QStringLiteral("91FF21")) && message->text().contains(QStringLiteral("90FF20")),
             qPrintable(message->text()));
    QTest::keyClick(findText, Qt::Key_Return);
    QCOMPARE(findText->text(), QStringLiteral("90FF20"));
    QCOMPARE(view->sheet()->marks().size(), std::size_t(3));

    findText->clear();
    QTest::keyClicks(findText, QStringLiteral("12345"));
    QTest::keyClick(findText, Qt::Key_Return);
    QVERIFY(message->text().contains(QStringLiteral("RRGGBB")));
    QVERIFY(view->sheet()->marks().empty());
}

// A right click at 800 % and Enter on the keyboard's cursor show and copy the
// full-resolution pixel through the window's pick: labels, swatch, clipboard.
void tst_SheetView::picksGoThroughTheWindowsPick()
{
    runMode(*form, Mode16Million);
    SheetView *view = openView(*form);
    QVERIFY(view);
    ZoomedSheet *sheet = view->sheet();
    sheet->setZoom(8);
    sheet->centreOn(QPointF(1234.5, 2345.5));

    const QPoint at = sheet->viewportPointOf(QPointF(1236.5, 2343.5)).toPoint();
    QTest::mouseClick(sheet->viewport(), Qt::RightButton, {}, at);
    // x = 256 * (blue / 16) + red, y = 256 * (blue % 16) + green
    const ColorValue expected = SheetFormulas::Colour(Mode16Million, 1236, 2343);
    QCOMPARE(expected, RGB(1236 % 256, 2343 % 256, 16 * 4 + 9));
    const QString code = QString::asprintf("%02X%02X%02X", RedOf(expected), GreenOf(expected), BlueOf(expected));
    QCOMPARE(QGuiApplication::clipboard()->text(), code);
    QCOMPARE(form->findChild<QLabel *>("RGBc(0)")->text(), QString::number(RedOf(expected), 16).toUpper());
    QCOMPARE(form->findChild<QLabel *>("Label4")->toolTip(), code);

    // Shift+arrows move a cursor from the pixel at the centre; Enter picks.
    sheet->setFocus();
    QTest::keyClick(sheet, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(sheet, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(sheet, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(sheet->pickCursor(), QPoint(1235, 2347));
    QTest::keyClick(sheet, Qt::Key_Return);
    const ColorValue underCursor = SheetFormulas::Colour(Mode16Million, 1235, 2347);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::asprintf("%02X%02X%02X", RedOf(underCursor), GreenOf(underCursor), BlueOf(underCursor)));
}

void tst_SheetView::oneViewClosedByKeysAndWithTheWindow()
{
    runMode(*form, Mode64Kilo);
    SheetView *view = openView(*form);
    QVERIFY(view);
    // A double click on the preview raises the open view, no second one.
    QTest::mouseDClick(form, Qt::LeftButton, {}, QPoint(2 + 128, 56 + 128));
    QCOMPARE(openViews(), 1);
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    QTRY_COMPARE(openViews(), 0);

    view = openView(*form);
    QVERIFY(view);
    QTest::keyClick(view, Qt::Key_F11);
    QVERIFY(view->isFullScreen());
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!view->isFullScreen());
    QCOMPARE(openViews(), 1);
    QTest::keyClick(view, Qt::Key_Escape);
    QTRY_COMPARE(openViews(), 0);

    QVERIFY(openView(*form));
    form->close();
    QTRY_COMPARE(openViews(), 0);
}

QTEST_MAIN(tst_SheetView)
#include "tst_sheetview.moc"
