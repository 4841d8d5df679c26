// The right-click colour pick on the real window: channels, code, clipboard
// and swatch. Also run at scale factors 1.5 and 2, where window positions
// are logical pixels and the preview is drawn at the device's resolution.

#include "WindowTesting.h"

#include "SheetFormulas.h"

#include <QClipboard>
#include <QLabel>
#include <QMimeData>

using namespace WindowTesting;

namespace {

QString code(ColorValue colour)
{
    return QStringLiteral("%1%2%3")
        .arg(RedOf(colour), 2, 16, QChar('0'))
        .arg(GreenOf(colour), 2, 16, QChar('0'))
        .arg(BlueOf(colour), 2, 16, QChar('0'))
        .toUpper();
}

} // namespace

class tst_Pick : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pickShowsCopiesAndPaints_data();
    void pickShowsCopiesAndPaints();
    void everyPreviewPixelPicksItsCanvasColour();
    void pickOfWindowBackground();
    void releaseOffTheWindowReadsNoColour();
    void otherButtonsDoNotPick_data();
    void otherButtonsDoNotPick();
    void releaseOnControlsDoesNotPick_data();
    void releaseOnControlsDoesNotPick();
    void modifiersStillPick();
    void clipboardHoldsOnlyTheLastCode();
    void pickDuringRunReadsPreviewAsPainted();

private:
    QLabel *label(const QString &name) const { return form->findChild<QLabel *>(name); }
    QStringList captions() const
    {
        return {label("RGBc(0)")->text(), label("RGBc(1)")->text(), label("RGBc(2)")->text()};
    }
    void rightClick(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(form, Qt::RightButton, modifiers, at);
    }

    mainform *form = nullptr;
};

void tst_Pick::init()
{
    form = openWindow();
    QVERIFY(form->isVisible());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
}

void tst_Pick::cleanup()
{
    delete form;
    form = nullptr;
}

void tst_Pick::pickShowsCopiesAndPaints_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QPoint>("previewPixel");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<QString>("code");

    // "64kilo" shows its canvas pixel for pixel.
    QTest::newRow("64kilo (100, 200)") << 3 << QPoint(100, 200) << QStringList{"90", "FF", "20"} << "90FF20";
    QTest::newRow("64kilo one-digit channels") << 3 << QPoint(0, 1) << QStringList{"0", "D", "4"} << "000D04";
    QTest::newRow("64kilo last pixel") << 3 << QPoint(255, 255) << QStringList{"FC", "FF", "FC"} << "FCFFFC";
    // "4096" is 64 x 64: each canvas pixel covers 4 x 4 preview pixels.
    QTest::newRow("black") << 5 << QPoint(1, 1) << QStringList{"0", "0", "0"} << "000000";
    QTest::newRow("white") << 5 << QPoint(254, 254) << QStringList{"FF", "FF", "FF"} << "FFFFFF";
    QTest::newRow("blue 17") << 5 << QPoint(0, 7) << QStringList{"0", "0", "11"} << "000011";
}

void tst_Pick::pickShowsCopiesAndPaints()
{
    QFETCH(int, mode);
    QFETCH(QPoint, previewPixel);
    QFETCH(QStringList, channels);
    QFETCH(QString, code);

    runMode(*form, mode);
    rightClick(QPoint(2, 56) + previewPixel);

    QCOMPARE(captions(), channels);
    QCOMPARE(label("Label4")->toolTip(), code);
    QCOMPARE(QGuiApplication::clipboard()->text(), code);
    QCOMPARE(label("Label4")->palette().color(QPalette::Window).name().mid(1).toUpper(), code);
    QCOMPARE(label("Label4")->text(), QStringLiteral("RGB"));
}

// The code of every picked preview pixel is the colour of the canvas pixel
// it shows, at any scale factor.
void tst_Pick::everyPreviewPixelPicksItsCanvasColour()
{
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        QCOMPARE(form->devicePixelRatioF(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    runMode(*form, 3);
    for (int py = 0; py < 256; py += 3) {
        for (int px = 0; px < 256; px += 5) {
            rightClick(QPoint(2 + px, 56 + py));
            const QString expected = code(SheetFormulas::Colour(3, px, py));
            if (QGuiApplication::clipboard()->text() != expected)
                QFAIL(qPrintable(QStringLiteral("preview (%1, %2): %3, expected %4")
                                     .arg(px).arg(py).arg(QGuiApplication::clipboard()->text(), expected)));
        }
    }
}

void tst_Pick::pickOfWindowBackground()
{
    runMode(*form, 7);
    const QString face = form->palette().color(QPalette::Window).name().mid(1).toUpper();
    rightClick(QPoint(263, 150)); // right of the preview
    QCOMPARE(QGuiApplication::clipboard()->text(), face);
    rightClick(QPoint(100, 54)); // between the lines and the preview
    QCOMPARE(QGuiApplication::clipboard()->text(), face);
}

// Pressed on the window, released off it: the position has no pixel (-1).
void tst_Pick::releaseOffTheWindowReadsNoColour()
{
    runMode(*form, 3);
    rightClick(QPoint(2 + 100, 56 + 200));
    const QColor swatchBefore = label("Label4")->palette().color(QPalette::Window);
    QCOMPARE(swatchBefore, QColor(0x90, 0xFF, 0x20));

    QTest::mousePress(form, Qt::RightButton, {}, QPoint(50, 100));
    QTest::mouseRelease(form, Qt::RightButton, {}, QPoint(-20, form->height() + 30));

    QCOMPARE(captions(), (QStringList{"FFFF", "FFFF", "FFFF"}));
    QCOMPARE(label("Label4")->toolTip(), QStringLiteral("FFFFFF"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("FFFFFF"));
    // No colour: the swatch goes back to its own background, not white.
    QCOMPARE(label("Label4")->palette().color(QPalette::Window), form->palette().color(QPalette::Window));

    // The program goes on picking.
    rightClick(QPoint(2, 56));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("000D00"));
}

void tst_Pick::otherButtonsDoNotPick_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("middle") << int(Qt::MiddleButton);
}

void tst_Pick::otherButtonsDoNotPick()
{
    QFETCH(int, button);
    runMode(*form, 3);
    QTest::mouseClick(form, Qt::MouseButton(button), {}, QPoint(2 + 100, 56 + 200));

    QCOMPARE(captions(), (QStringList{"FF", "FF", "FF"}));
    QCOMPARE(label("Label4")->toolTip(), QStringLiteral("RightClick to Copy RGBcode"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

void tst_Pick::releaseOnControlsDoesNotPick_data()
{
    QTest::addColumn<QString>("control");
    for (const char *name : {"Label4", "Label1", "RGBc(1)", "Label3", "Combo1", "Command1"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_Pick::releaseOnControlsDoesNotPick()
{
    QFETCH(QString, control);
    QWidget *widget = form->findChild<QWidget *>(control);
    QVERIFY(widget);
    QTest::mouseClick(widget, Qt::RightButton, {}, QPoint(2, 2));

    QCOMPARE(captions(), (QStringList{"FF", "FF", "FF"}));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

void tst_Pick::modifiersStillPick()
{
    runMode(*form, 3);
    rightClick(QPoint(2 + 100, 56 + 200), Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("90FF20"));
    rightClick(QPoint(2, 56), Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("000D00"));
}

// A pick empties the clipboard first: an image copied earlier is gone, and of
// two picks only the second code remains.
void tst_Pick::clipboardHoldsOnlyTheLastCode()
{
    auto *earlier = new QMimeData;
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    earlier->setImageData(picture);
    earlier->setHtml(QStringLiteral("<b>earlier</b>"));
    QGuiApplication::clipboard()->setMimeData(earlier);

    runMode(*form, 3);
    rightClick(QPoint(2 + 100, 56 + 200));
    rightClick(QPoint(2 + 255, 56 + 255));

    const QMimeData *now = QGuiApplication::clipboard()->mimeData();
    QVERIFY(!now->hasImage());
    QVERIFY(!now->hasHtml());
    QCOMPARE(now->text(), QStringLiteral("FCFFFC"));
    // Re-picking the same colour repeats every step.
    QGuiApplication::clipboard()->setText(QStringLiteral("changed"));
    rightClick(QPoint(2 + 255, 56 + 255));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("FCFFFC"));
}

// During a run the pick reads the preview as last painted: after the first
// tile of "16million" its top-left sixteenth shows the sheet, the rest the
// empty canvas.
void tst_Pick::pickDuringRunReadsPreviewAsPainted()
{
    QStringList picked;
    const PassGuard pass = everyEventPass(this, [&] {
        if (runDepth(*form) > 0 && picked.isEmpty()) {
            rightClick(QPoint(2 + 5, 56 + 9));
            picked << QGuiApplication::clipboard()->text();
            rightClick(QPoint(2 + 100, 56 + 100));
            picked << QGuiApplication::clipboard()->text();
        }
    });
    runMode(*form, 0);

    QCOMPARE(picked.size(), 2);
    QCOMPARE(picked[0], code(previewSourceOnDevice(canvasOf(*form), 2 + 5, 56 + 9, form->devicePixelRatioF())));
    QCOMPARE(picked[1], code(canvasOf(*form).backColor()));
    // The run went on to the end.
    QCOMPARE(canvasOf(*form).pixel(4095, 4095), RGB(255, 255, 255));
}

QTEST_MAIN(tst_Pick)
#include "tst_pick.moc"
