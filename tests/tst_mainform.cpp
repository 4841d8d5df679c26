// The main window on the offscreen platform: its design, the start-up step
// and runs driven through its controls.

#include "WindowTesting.h"

#include "SheetFormulas.h"
#include "window/Design.h"
#include "window/OuterSize.h"

#include <QFileDialog>
#include <QFontInfo>
#include <QPainter>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QThread>

using namespace WindowTesting;

namespace {

// Twips per pixel of the window's screen (15 at 96 dots per inch).
double twipsPerPixelX(const QWidget &form)
{
    return 1440.0 / form.screen()->logicalDotsPerInchX();
}

double twipsPerPixelY(const QWidget &form)
{
    return 1440.0 / form.screen()->logicalDotsPerInchY();
}

} // namespace

class tst_Mainform : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpState();
    void designLayout();
    void tabOrderAndTooltips();
    void fontsAreJapaneseGothic();
    void letterMIsLegible();
    void leftClickChangesNothing();
    void runGrowsWindowToShowPreview();
    void runSizeUnderAnyFrame_data();
    void runSizeUnderAnyFrame();
    void previewShowsCanvas_data();
    void previewShowsCanvas();
    void previewIsPaintedOnScreen();
    void previewFollowsCanvasAfterEveryTile();
    void previewReachesScreenOnceAFrame();
    void timeLabelRisesDuringRun();
    void signalsFollowRuns();
    void stopClickedDuringRun();
    void startClickedDuringRun();
    void selectionChangeDuringRunAffectsNextStart();
    void canvasUnavailableIsReported();
    void closeDuringRunEndsProgram();
    void keyboard_data();
    void keyboard();
    void keysOnlyWhileWindowActive();

private:
    mainform *form = nullptr;
};

void tst_Mainform::init()
{
    form = openWindow();
    QVERIFY(form->isVisible());
}

void tst_Mainform::cleanup()
{
    delete form;
    form = nullptr;
}

void tst_Mainform::startUpState()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("Tintwell"));
    auto *combo = form->findChild<QComboBox *>(QStringLiteral("Combo1"));
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->currentText(), QStringLiteral("16million"));
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i) {
        entries << combo->itemText(i);
        QCOMPARE(combo->itemData(i).toInt(), 0);
    }
    QCOMPARE(entries, (QStringList{"16million", "1million", "256killo", "64kilo", "16kilo", "4096", "2025", "729"}));

    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("time"));
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("mSec"));
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label4"))->text(), QStringLiteral("RGB"));
    const QColor channelColours[] = {Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        auto *channel = form->findChild<QLabel *>(QStringLiteral("RGBc(%1)").arg(i));
        QVERIFY(channel);
        QCOMPARE(channel->text(), QStringLiteral("FF"));
        QCOMPARE(channel->palette().color(QPalette::Window), channelColours[i]);
    }

    // 270 pixels wide (outer), the design's 52 pixels high: no preview yet.
    QCOMPARE(form->frameGeometry().width(), 270);
    QCOMPARE(form->height(), qRound(780 / twipsPerPixelY(*form))); // 52 at 96 dpi
    QCOMPARE(form->Point(100, form->height()), -1);
    QCOMPARE(canvasOf(*form).width(), 409);
    QCOMPARE(canvasOf(*form).height(), 417);

    // A fixed border and only the close box.
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!form->windowIcon().isNull());
}

// Every control at its design place, converted through the screen's twips
// per pixel (the 120 dpi run of this test checks the conversion).
void tst_Mainform::designLayout()
{
    const double tpp = twipsPerPixelX(*form);
    if (qEnvironmentVariableIntValue("TINTWELL_TEST_DPI") == 120)
        QCOMPARE(tpp, 12.0);
    const auto px = [tpp](int twips) { return qRound(twips / tpp); };
    const struct
    {
        const char *name;
        int left, top, width, height;
    } design[] = {
        {"Command1", 120, 60, 375, 375}, {"Command3", 495, 60, 375, 375}, {"Command2", 1080, 60, 375, 375},
        {"Label1", 1521, 0, 689, 260},   {"Label2", 1680, 240, 495, 255}, {"Label3", 120, 510, 4215, 240},
        {"Label4", 2808, 351, 494, 208}, {"RGBc(0)", 3360, 0, 255, 180}, {"RGBc(1)", 3360, 180, 255, 180},
        {"RGBc(2)", 3360, 360, 255, 180},
    };
    for (const auto &control : design) {
        const QWidget *widget = form->findChild<QWidget *>(QLatin1String(control.name));
        QVERIFY2(widget, control.name);
        QCOMPARE(widget->geometry(), QRect(px(control.left), px(control.top), px(control.width), px(control.height)));
    }
    // The list keeps its design place; it may be wider than the design where
    // the style needs room for its text, but never reaches the channel labels.
    QWidget *combo = form->findChild<QWidget *>(QStringLiteral("Combo1"));
    QCOMPARE(combo->pos(), QPoint(px(2223), px(60)));
    QVERIFY(combo->width() >= px(1066));
    QVERIFY(combo->geometry().right() < form->findChild<QWidget *>(QStringLiteral("RGBc(0)"))->x());
    // The swatch's design reaches into the list's bottom row; the list lies
    // above it, its frame whole.
    QVERIFY(combo->geometry().intersects(form->findChild<QWidget *>(QStringLiteral("Label4"))->geometry()));
    QCOMPARE(form->grab(combo->geometry()).toImage().convertToFormat(QImage::Format_RGB32),
             combo->grab().toImage().convertToFormat(QImage::Format_RGB32));
    // The separator lines: 1 pixel of highlight at y 48, 2 pixels of shadow at 51.
    QCOMPARE(form->findChild<QWidget *>(QStringLiteral("Line1(1)"))->geometry(), QRect(px(60), px(720), px(3540), 1));
    QCOMPARE(form->findChild<QWidget *>(QStringLiteral("Line1(0)"))->geometry(), QRect(px(60), px(765), px(3540), 2));
    // Outer width 270 pixels at any resolution.
    QCOMPARE(form->frameGeometry().width(), 270);
}

void tst_Mainform::tabOrderAndTooltips()
{
    // The controls that take the focus, in the order Tab visits them.
    QStringList tabOrder;
    QWidget *control = button(*form, "Command1");
    do {
        if (control->focusPolicy() & Qt::TabFocus)
            tabOrder << control->objectName();
        control = control->nextInFocusChain();
    } while (control != button(*form, "Command1"));
    // The design's order, then the link, which the keyboard opens too.
    QCOMPARE(tabOrder, (QStringList{"Command1", "Combo1", "Command2", "Command3", "Label3"}));
    for (QLabel *label : form->findChildren<QLabel *>())
        if (label->objectName() != QLatin1String("Label3"))
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);

    const struct
    {
        const char *name;
        const char *tip;
        int pictureSize;
    } buttons[] = {{"Command1", "Start", 24}, {"Command3", "STOP", 24}, {"Command2", "Save Picture", 16}};
    for (const auto &b : buttons) {
        QPushButton *pushButton = button(*form, b.name);
        QCOMPARE(pushButton->toolTip(), QLatin1String(b.tip));
        QVERIFY(pushButton->text().isEmpty());
        QVERIFY(!pushButton->icon().isNull());
        QCOMPARE(pushButton->iconSize(), QSize(b.pictureSize, b.pictureSize));
        QVERIFY(pushButton->isEnabled());
    }
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label4"))->toolTip(), QStringLiteral("RightClick to Copy RGBcode"));
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label3"))->toolTip(), QStringLiteral("Version Up"));
}

void tst_Mainform::fontsAreJapaneseGothic()
{
    const struct
    {
        const char *name;
        double points;
        bool bold;
    } fonts[] = {{"Label1", 12, false}, {"Label2", 9, false}, {"Label3", 9.75, true}, {"Label4", 9, false},
                 {"RGBc(0)", 9, false}, {"Combo1", 9, false}, {"Command1", 9, false}};
    for (const auto &f : fonts) {
        const QWidget *widget = form->findChild<QWidget *>(QLatin1String(f.name));
        QCOMPARE(widget->font().family(), QStringLiteral("ＭＳ ゴシック"));
        QCOMPARE(widget->font().pointSizeF(), f.points);
        QCOMPARE(widget->font().bold(), f.bold);
        // The face resolves to an installed Japanese gothic face.
        const QFontInfo resolved(widget->font());
        QVERIFY2(resolved.family().contains(QStringLiteral("Gothic"), Qt::CaseInsensitive)
                     || resolved.family().contains(QStringLiteral("CJK JP")),
                 qPrintable(resolved.family()));
    }
}

// The letter m as the control's font draws it at the screen's resolution:
// three stems with light gaps between them, not a solid block.
void tst_Mainform::letterMIsLegible()
{
    const qreal ratio = form->devicePixelRatioF();
    for (const char *name : {"Label1", "Label2", "Label3", "Label4", "RGBc(0)", "Combo1"}) {
        const QWidget *widget = form->findChild<QWidget *>(QLatin1String(name));
        QImage glyph(QSize(64, 64) * ratio, QImage::Format_RGB32);
        glyph.setDevicePixelRatio(ratio);
        glyph.fill(Qt::white);
        QPainter painter(&glyph);
        painter.setFont(widget->font());
        painter.setPen(Qt::black);
        painter.drawText(QPointF(8, 40), QStringLiteral("m"));
        painter.end();

        // The stems cross the row halfway between the top of the arches and
        // the baseline.
        int top = -1;
        for (int y = 0; y < glyph.height() && top < 0; ++y)
            for (int x = 0; x < glyph.width(); ++x)
                if (qGray(glyph.pixel(x, y)) < 128) {
                    top = y;
                    break;
                }
        QVERIFY2(top >= 0, name);
        const int row = (top + qRound(40 * ratio)) / 2;
        int stems = 0;
        bool dark = false;
        for (int x = 0; x < glyph.width(); ++x) {
            const bool now = qGray(glyph.pixel(x, row)) < 128;
            stems += now && !dark;
            dark = now;
        }
        QVERIFY2(stems == 3, qPrintable(QStringLiteral("%1: %2 stems").arg(QLatin1String(name)).arg(stems)));
    }
}

void tst_Mainform::leftClickChangesNothing()
{
    runMode(*form, 7);
    const QImage before = form->grab().toImage();
    const QString time = form->findChild<QLabel *>(QStringLiteral("Label1"))->text();
    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(form, Qt::MiddleButton, {}, QPoint(100, 100));
    QCOMPARE(form->grab().toImage(), before);
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("Label1"))->text(), time);
}

void tst_Mainform::runGrowsWindowToShowPreview()
{
    runMode(*form, 7);
    QCOMPARE(form->frameGeometry().width(), 270);
    // 256 pixels plus 1200 twips, or more where a frame would hide the preview.
    QVERIFY(form->height() >= 56 + 256);
    QVERIFY(form->frameGeometry().height() >= qRound(256 + 1200 / twipsPerPixelY(*form)));
    QCOMPARE(form->minimumSize(), form->maximumSize());
}

void tst_Mainform::runSizeUnderAnyFrame_data()
{
    QTest::addColumn<QSize>("frame"); // the frame's extra width and height
    QTest::addColumn<QSize>("client");
    // 270 x 336 outside: the client is what the frame leaves, but never less
    // than the preview and its margins, 260 x 314.
    QTest::newRow("no window manager") << QSize(0, 0) << QSize(270, 336);
    QTest::newRow("thin frame") << QSize(2, 18) << QSize(268, 318);
    QTest::newRow("usual frame") << QSize(8, 30) << QSize(262, 314);
    QTest::newRow("large title font") << QSize(8, 64) << QSize(262, 314);
    QTest::newRow("wide borders") << QSize(24, 24) << QSize(260, 314);
}

// Under any window manager the window after Start shows the whole preview,
// and is no larger outside than asked where the frame leaves room for it.
void tst_Mainform::runSizeUnderAnyFrame()
{
    QFETCH(QSize, frame);
    QFETCH(QSize, client);
    const QSize outer(270, 336); // 256 pixels plus 1200 twips at 96 dots per inch
    const QSize least(Design::LeastRunClientWidth, Design::LeastRunClientHeight);
    const QSize sized = OuterSize::ClientFor(outer, frame, QSize(270, 52), least);
    QCOMPARE(sized, client);
    const QRect preview(Design::PreviewLeft, Design::PreviewTop, Design::PreviewSize, Design::PreviewSize);
    QVERIFY(QRect(QPoint(0, 0), sized).contains(preview));
}

void tst_Mainform::previewShowsCanvas_data()
{
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode < 8; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode;
}

// The preview shows the canvas scaled by nearest neighbour: "64kilo" pixel
// for pixel, the others the canvas pixel under each preview pixel's centre.
void tst_Mainform::previewShowsCanvas()
{
    QFETCH(int, mode);
    runMode(*form, mode);

    const Canvas &pic = canvasOf(*form);
    QCOMPARE(pic.width(), SheetFormulas::CanvasSize[mode]);
    for (int py = 0; py < 256; ++py)
        for (int px = 0; px < 256; ++px) {
            const ColorValue expected = mode == 3 ? pic.pixel(px, py) : previewSource(pic, px, py);
            if (form->Point(2 + px, 56 + py) != expected)
                QFAIL(qPrintable(QStringLiteral("preview (%1, %2)").arg(px).arg(py)));
        }
    // Around the preview: the window's own background.
    const ColorValue face = FromRgb32(form->palette().color(QPalette::Window).rgb());
    QCOMPARE(form->Point(1, 100), face);
    QCOMPARE(form->Point(258, 100), face);
    QCOMPARE(form->Point(100, 312), face);
    QVERIFY(!form->findChild<QLabel *>(QStringLiteral("Label1"))->text().isEmpty());
}

void tst_Mainform::previewIsPaintedOnScreen()
{
    runMode(*form, 3);
    QApplication::processEvents();
    const QImage shown = form->grab().toImage();
    for (int y : {0, 63, 64, 200, 255})
        for (int x : {0, 1, 100, 255})
            QCOMPARE(FromRgb32(shown.pixel(2 + x, 56 + y)), SheetFormulas::Colour(3, x, y));
}

// After every tile the preview shows the whole canvas as it is, also while a
// nested run has cleared and resized it and after the outer run resumes.
void tst_Mainform::previewFollowsCanvasAfterEveryTile()
{
    int passes = 0;
    QString mismatch;
    const PassGuard pass = everyEventPass(this, [&] {
        if (runDepth(*form) == 0 || !mismatch.isEmpty())
            return;
        if (++passes == 5) { // inside "256killo": a nested "2025" run
            selectMode(*form, 6);
            QTest::mouseClick(button(*form, "Command1"), Qt::LeftButton);
        }
        for (int py = 0; py < 256 && mismatch.isEmpty(); ++py)
            for (int px = (py + passes) % 2; px < 256; px += 2)
                if (form->Point(2 + px, 56 + py) != previewSource(canvasOf(*form), px, py)) {
                    mismatch = QStringLiteral("pass %1: preview (%2, %3)").arg(passes).arg(px).arg(py);
                    break;
                }
    });
    runMode(*form, 2);

    QCOMPARE(mismatch, QString());
    QCOMPARE(passes, 64 + 9);
}

// During a run the preview is painted on screen at most once a display frame
// (16 ms), not after every tile, and a paint shows every tile drawn since the
// one before. The tiles are timed: every event pass takes 3 ms, so frames
// fall between tiles.
void tst_Mainform::previewReachesScreenOnceAFrame()
{
    runMode(*form, 2); // the window has its run size: no paint for that below
    QApplication::processEvents();

    struct PaintWatch : QObject
    {
        bool running = false;
        int tilesDrawn = 0;
        int paints = 0;
        QRegion painted;
        QString missed;

        bool eventFilter(QObject *, QEvent *event) override
        {
            if (!running || event->type() != QEvent::Paint)
                return false;
            ++paints;
            painted += static_cast<QPaintEvent *>(event)->region();
            // "256killo": 8 x 8 tiles of 64 x 64 down each column of tiles,
            // 32 x 32 preview pixels each; the tile being shown now counts.
            for (int tile = 0; tile <= tilesDrawn && missed.isEmpty(); ++tile) {
                const QRect shown(32 * (tile / 8), 32 * (tile % 8), 32, 32);
                if (!(QRegion(shown) - painted).isEmpty())
                    missed = QStringLiteral("paint %1: tile %2 of %3 not yet painted").arg(paints).arg(tile).arg(tilesDrawn + 1);
            }
            return false;
        }
    } watch;
    auto *preview = form->findChild<QWidget *>(QStringLiteral("Preview"));
    preview->installEventFilter(&watch);
    QElapsedTimer elapsed;
    connect(form, &mainform::runStarted, this, [&] {
        watch.running = true;
        elapsed.start();
    });
    connect(form, &mainform::runEnded, this, [&] { watch.running = false; });
    const PassGuard pass = everyEventPass(this, [&] {
        if (!watch.running)
            return;
        ++watch.tilesDrawn;
        QThread::msleep(3);
    });
    runMode(*form, 2);
    const qint64 runNs = elapsed.nsecsElapsed();

    QCOMPARE(watch.tilesDrawn, 64);
    QCOMPARE(watch.missed, QString());
    const qint64 frames = runNs / (16 * 1'000'000);
    QVERIFY2(watch.paints >= 2 && watch.paints <= frames + 1,
             qPrintable(QStringLiteral("%1 paints in %2 frames").arg(watch.paints).arg(frames)));
}

void tst_Mainform::timeLabelRisesDuringRun()
{
    auto *time = form->findChild<QLabel *>(QStringLiteral("Label1"));
    QStringList seen;
    const PassGuard pass = everyEventPass(this, [&] {
        if (runDepth(*form) > 0)
            seen << time->text();
    });
    runMode(*form, 1); // 64 tiles

    // One reading per tile, each a whole number of milliseconds, never falling;
    // the total since the click is at least the last of them.
    QCOMPARE(seen.size(), 64);
    int last = 0;
    for (int i = 0; i < 64; ++i) {
        bool number = false;
        const int ms = seen[i].toInt(&number);
        QVERIFY2(number, qPrintable(seen[i]));
        QVERIFY(ms >= last);
        last = ms;
    }
    bool number = false;
    QVERIFY(time->text().toInt(&number) >= last);
    QVERIFY(number);
}

// What another view of the canvas hears: a run's start, every tile drawn
// (the whole canvas for the first, which follows the clear), the whole
// canvas at the end, the run's end; a nested run the same inside it.
void tst_Mainform::signalsFollowRuns()
{
    QStringList heard;
    connect(form, &mainform::runStarted, this, [&] { heard << QStringLiteral("started"); });
    connect(form, &mainform::runEnded, this, [&] { heard << QStringLiteral("ended"); });
    connect(form, &mainform::canvasChanged, this, [&](const QRect &area) {
        heard << QStringLiteral("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    });
    bool nested = false;
    const PassGuard pass = everyEventPass(this, [&] {
        if (!nested && runDepth(*form) == 1 && heard.size() == 3) { // after the second tile of "4096"
            nested = true;
            runMode(*form, 7);
        }
    });
    runMode(*form, 5); // 64 x 64, 4 x 4 tiles of 16 x 16 along the rows

    QStringList expected = {"started", "0,0 64x64", "16,0 16x16", "started", "0,0 27x27"};
    for (int tile = 1; tile < 9; ++tile)
        expected << QStringLiteral("%1,%2 9x9").arg(9 * (tile % 3)).arg(9 * (tile / 3));
    expected << "0,0 27x27" << "ended";
    // The "4096" run goes on in the 27 x 27 canvas: its tiles at x or y 32
    // and beyond lie outside it, the others are cut to it.
    expected << "0,16 16x11" << "16,16 11x11" << "0,0 27x27" << "ended";
    QCOMPARE(heard, expected);
}

void tst_Mainform::stopClickedDuringRun()
{
    // The click on Stop is handled after the first tile.
    postClick(button(*form, "Command3"));
    runMode(*form, 0);

    const Canvas &pic = canvasOf(*form);
    QCOMPARE(pic.width(), 4096);
    QCOMPARE(pic.pixel(255, 255), SheetFormulas::Colour(0, 255, 255));
    QCOMPARE(pic.pixel(0, 256), pic.backColor());
    QCOMPARE(pic.pixel(4095, 4095), pic.backColor());
    QCOMPARE(runDepth(*form), 0);
    // The final preview: the first tile, 1/16 of the sheet, in the top-left corner.
    QCOMPARE(form->Point(2, 56), SheetFormulas::Colour(0, 8, 8));
    QCOMPARE(form->Point(2 + 100, 56 + 100), pic.backColor());

    // The next Start runs to the end.
    runMode(*form, 7);
    QCOMPARE(canvasOf(*form).pixel(26, 26), SheetFormulas::Colour(7, 26, 26));
}

void tst_Mainform::startClickedDuringRun()
{
    int depth = 0;
    bool clicked = false;
    const PassGuard pass = everyEventPass(this, [&] {
        depth = std::max(depth, runDepth(*form));
        if (!clicked && runDepth(*form) == 1) { // after the first tile of "4096"
            clicked = true;
            selectMode(*form, 7);
            QTest::mouseClick(button(*form, "Command1"), Qt::LeftButton);
        }
    });
    runMode(*form, 5);

    QCOMPARE(depth, 2);
    // The nested "729" run left its 27 x 27 canvas; the "4096" run then went
    // on with its second tile onwards, overwriting what lies inside it.
    const Canvas &pic = canvasOf(*form);
    QCOMPARE(pic.width(), 27);
    QCOMPARE(pic.pixel(5, 5), SheetFormulas::Colour(7, 5, 5));
    QCOMPARE(pic.pixel(26, 0), SheetFormulas::Colour(5, 26, 0));
    QCOMPARE(pic.pixel(26, 26), SheetFormulas::Colour(5, 26, 26));
    QCOMPARE(pic.pixel(5, 20), SheetFormulas::Colour(5, 5, 20));
}

void tst_Mainform::selectionChangeDuringRunAffectsNextStart()
{
    bool changed = false;
    const PassGuard pass = everyEventPass(this, [&] {
        if (!changed && runDepth(*form) > 0) {
            selectMode(*form, 6);
            changed = true;
        }
    });
    runMode(*form, 4);
    QCOMPARE(canvasOf(*form).width(), 128); // the run kept its own mode
    QCOMPARE(selectedMode(*form), 6);
}

void tst_Mainform::canvasUnavailableIsReported()
{
    // The window's canvas stands in for one on a machine without the memory
    // for 4096 x 4096 (the window holds it as a plain, non-const member).
    const_cast<Canvas &>(canvasOf(*form)).setPixelLimit(1024 * 1024);
    QString message;
    whenModal<QMessageBox>(this, [&](QMessageBox *box) {
        message = box->text();
        box->close();
    });
    runMode(*form, 0);

    QVERIFY2(message.contains(QStringLiteral("4096")), qPrintable(message));
    QCOMPARE(runDepth(*form), 0);
    QCOMPARE(canvasOf(*form).width(), 409);
    bool number = false;
    form->findChild<QLabel *>(QStringLiteral("Label1"))->text().toInt(&number);
    QVERIFY(number);

    // The program goes on: another mode runs.
    runMode(*form, 2);
    QCOMPARE(canvasOf(*form).pixel(511, 511), SheetFormulas::Colour(2, 511, 511));
}

// Closing the window in the middle of a "16million" run: the run stops at its
// next tile, and the event loop ends with status 0.
void tst_Mainform::closeDuringRunEndsProgram()
{
    int tiles = 0;
    bool closed = false;
    const PassGuard pass = everyEventPass(this, [&] {
        if (runDepth(*form) > 0 && ++tiles == 3) {
            form->close();
            closed = true;
        }
    });
    QTimer::singleShot(0, this, [&] { runMode(*form, 0); });
    // Should the program fail to end, the test fails instead of hanging.
    QTimer::singleShot(120'000, qApp, [] { QCoreApplication::exit(99); });
    QApplication::setQuitOnLastWindowClosed(true);
    QCOMPARE(QApplication::exec(), 0);

    QVERIFY(closed);
    QVERIFY(!form->isVisible());
    QCOMPARE(runDepth(*form), 0);
    QCOMPARE(tiles, 3);
    QCOMPARE(canvasOf(*form).pixel(0, 3 * 256 - 1), SheetFormulas::Colour(0, 0, 3 * 256 - 1));
    QCOMPARE(canvasOf(*form).pixel(0, 3 * 256), canvasOf(*form).backColor());
}

void tst_Mainform::keyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("focus"); // the control with the focus; none: the window's shortcuts
    QTest::addColumn<QString>("does");

    const int none = Qt::NoModifier;
    QTest::newRow("F5: Start") << int(Qt::Key_F5) << none << "" << "run";
    QTest::newRow("Return on Start") << int(Qt::Key_Return) << none << "Command1" << "run";
    QTest::newRow("keypad Enter on Start") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "Command1" << "run";
    QTest::newRow("Space on Start") << int(Qt::Key_Space) << none << "Command1" << "run";
    QTest::newRow("Ctrl+S: Save") << int(Qt::Key_S) << int(Qt::ControlModifier) << "" << "save";
    QTest::newRow("Return on Save") << int(Qt::Key_Return) << none << "Command2" << "save";
    QTest::newRow("Esc: Stop") << int(Qt::Key_Escape) << none << "" << "stop";
    QTest::newRow("Return on Stop") << int(Qt::Key_Return) << none << "Command3" << "stop";
    QTest::newRow("Ctrl+W: close") << int(Qt::Key_W) << int(Qt::ControlModifier) << "" << "close";
    QTest::newRow("Ctrl+Q: close") << int(Qt::Key_Q) << int(Qt::ControlModifier) << "" << "close";
}

// Each key does what the click it stands for does.
void tst_Mainform::keyboard()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, focus);
    QFETCH(QString, does);

    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QWidget *target = form;
    if (!focus.isEmpty()) {
        target = button(*form, focus.toLatin1().constData());
        target->setFocus(Qt::TabFocusReason);
    }
    const auto press = [&] { QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers)); };

    if (does == "run") {
        selectMode(*form, 7);
        press();
        QCOMPARE(canvasOf(*form).width(), 27);
        QCOMPARE(canvasOf(*form).pixel(26, 26), SheetFormulas::Colour(7, 26, 26));
    } else if (does == "save") {
        bool dialogShown = false;
        QObject scope;
        whenModal<QFileDialog>(&scope, [&dialogShown](QFileDialog *dialog) {
            dialogShown = true;
            dialog->reject();
        });
        press();
        QTRY_VERIFY(dialogShown);
    } else if (does == "stop") {
        // Pressed after the first tile of "16million".
        bool pressed = false;
        const PassGuard pass = everyEventPass(this, [&] {
            if (!pressed && runDepth(*form) > 0) {
                pressed = true;
                press();
            }
        });
        runMode(*form, 0);
        QVERIFY(pressed);
        QCOMPARE(canvasOf(*form).pixel(0, 256), canvasOf(*form).backColor()); // the second tile was not drawn
    } else if (does == "close") {
        press();
        QVERIFY(!form->isVisible());
    }
}

// Another window of the program has the keyboard: the main window's keys do
// nothing.
void tst_Mainform::keysOnlyWhileWindowActive()
{
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    selectMode(*form, 7);
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_F5), Qt::CTRL | Qt::Key_W, Qt::CTRL | Qt::Key_S})
        QTest::keyClick(&other, key.key(), key.keyboardModifiers());
    QTest::qWait(50); // a dialog, had one opened, would be up by now
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(canvasOf(*form).width(), 409);
    QVERIFY(form->isVisible());
}

QTEST_MAIN(tst_Mainform)
#include "tst_mainform.moc"
