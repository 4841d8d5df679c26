// A second run of the same mode: between its tiles the preview shows what
// the emptied canvas holds, background where no tile is drawn yet, never
// the sheet of the run before.

#include "WindowTesting.h"

#include "SheetFormulas.h"

using namespace WindowTesting;

class tst_Rerun : public QObject
{
    Q_OBJECT

private slots:
    void previewAfterFirstTileOfSecondRun_data();
    void previewAfterFirstTileOfSecondRun();
};

void tst_Rerun::previewAfterFirstTileOfSecondRun_data()
{
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode < Sheets::Count; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode;
}

void tst_Rerun::previewAfterFirstTileOfSecondRun()
{
    QFETCH(int, mode);
    const std::unique_ptr<mainform> form(openWindow());
    runMode(*form, mode);

    QString mismatch;
    int background = -1;
    {
        const PassGuard pass = everyEventPass(this, [&] {
            if (runDepth(*form) == 0 || background >= 0)
                return;
            // After the first tile: the whole preview is the canvas as it is.
            background = 0;
            for (int py = 0; py < 256; ++py)
                for (int px = 0; px < 256; ++px) {
                    const ColorValue shown = form->Point(2 + px, 56 + py);
                    if (shown != previewSource(canvasOf(*form), px, py) && mismatch.isEmpty())
                        mismatch = QStringLiteral("preview (%1, %2)").arg(px).arg(py);
                    background += shown == canvasOf(*form).backColor();
                }
            QTest::mouseClick(button(*form, "Command3"), Qt::LeftButton);
        });
        runMode(*form, mode);
    }

    QCOMPARE(mismatch, QString());
    // The tiles not drawn yet cover most of the preview.
    QVERIFY2(background >= 256 * 256 / 2, qPrintable(QString::number(background)));
}

QTEST_MAIN(tst_Rerun)
#include "tst_rerun.moc"
