// Save through the real window: the size warning, the dialog's default name,
// the file written from the canvas, and failures reported to the user.

#include "WindowTesting.h"

#include "SheetFormulas.h"

#include "platform/SafeSave.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace WindowTesting;

namespace {

const QString Warning = QStringLiteral("16M色のファイルサイズは48Mbyteになります。");

// What one Save click met, in order.
struct SaveSession
{
    QString warningText;
    bool warned = false;
    QString proposedName;
    bool dialogShown = false;
    QString errorText;
};

enum class WarningAnswer { Ok, CancelButton, EscapeKey, CloseBox };

// Clicks Save and answers what comes up: the warning (if any) with
// `warningAnswer`, the save dialog with `name` (typed as the user would, or
// cancelled when empty), a question about replacing a file with Yes, and an
// error message by closing it.
SaveSession clickSave(mainform &form, QObject *context, const QString &name,
                      WarningAnswer warningAnswer = WarningAnswer::Ok)
{
    SaveSession session;
    const auto answerDialog = [&session, name](QFileDialog *dialog) {
        session.dialogShown = true;
        session.proposedName = QDir(dialog->directory()).filePath(DialogTesting::nameEdit(dialog)->text());
        if (name.isEmpty() || !DialogTesting::typeName(dialog, name)) {
            dialog->reject();
            return;
        }
        whenModal<QMessageBox>(dialog, [](QMessageBox *question) { question->button(QMessageBox::Yes)->click(); });
        static_cast<QDialog *>(dialog)->accept();
    };
    const auto answerWarning = [&session, warningAnswer, context, answerDialog](QMessageBox *box) {
        if (box->text() != Warning) // not the warning: an error after the dialog
            return;
        session.warned = true;
        session.warningText = box->text();
        QVERIFY(box->icon() == QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Ok));
        QCOMPARE(box->windowTitle(), QStringLiteral("Tintwell"));
        if (warningAnswer == WarningAnswer::Ok)
            whenModal<QFileDialog>(context, answerDialog);
        switch (warningAnswer) {
        case WarningAnswer::Ok:
            QTest::keyClick(box, Qt::Key_Return); // OK is the default
            break;
        case WarningAnswer::CancelButton:
            box->button(QMessageBox::Cancel)->click();
            break;
        case WarningAnswer::EscapeKey:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case WarningAnswer::CloseBox:
            box->close();
            break;
        }
    };

    QObject scope;
    if (selectedMode(form) == 0)
        whenModal<QMessageBox>(&scope, answerWarning);
    else
        whenModal<QFileDialog>(&scope, answerDialog);
    // An error message from the window after the dialog is read and closed;
    // the warning and the dialog's own questions are answered above.
    const auto watchForError = [&session, &form](auto &&self, QObject *watchScope) -> void {
        whenModal<QMessageBox>(watchScope, [&session, &form, self, watchScope](QMessageBox *box) {
            if (box->parentWidget() != &form || box->text() == Warning) {
                self(self, watchScope);
                return;
            }
            session.errorText = box->text();
            box->close();
        });
    };
    QObject errorScope;
    watchForError(watchForError, &errorScope);

    QTest::mouseClick(button(form, "Command2"), Qt::LeftButton);
    return session;
}

// Reads a saved file and compares it with the canvas, pixel for pixel.
QString compareFileWithCanvas(const QString &fileName, const Canvas &pic)
{
    const QImage saved(fileName, "BMP");
    if (saved.isNull())
        return QStringLiteral("unreadable");
    if (saved.size() != QSize(pic.width(), pic.height()))
        return QStringLiteral("size %1x%2").arg(saved.width()).arg(saved.height());
    if (saved.depth() != 32 || saved.hasAlphaChannel())
        return QStringLiteral("read back with depth %1").arg(saved.depth());
    for (int y = 0; y < pic.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(saved.constScanLine(y));
        for (int x = 0; x < pic.width(); ++x)
            if (FromRgb32(row[x]) != pic.pixel(x, y))
                return QStringLiteral("(%1, %2)").arg(x).arg(y);
    }
    return {};
}

qint64 bmpSize(int width, int height)
{
    return 54 + qint64((width * 3 + 3) / 4 * 4) * height;
}

} // namespace

class tst_Save : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void warningAndDefaultName_data();
    void warningAndDefaultName();
    void cancelInWarningEndsSave_data();
    void cancelInWarningEndsSave();
    void savedFileMatchesCanvas_data();
    void savedFileMatchesCanvas();
    void saveBeforeAnyRun();
    void warningFollowsSelectionNotCanvas();
    void savingTwiceKeepsTheSecond();
    void typedNameKeepsNoExtension();
    void failedSaveIsReported_data();
    void failedSaveIsReported();
    void saveDuringRun();

private:
    mainform *form = nullptr;
    QTemporaryDir *folder = nullptr;
};

void tst_Save::init()
{
    folder = new QTemporaryDir;
    QVERIFY(folder->isValid());
    form = openWindow();
    QVERIFY(form->isVisible());
}

void tst_Save::cleanup()
{
    delete form;
    delete folder;
}

void tst_Save::warningAndDefaultName_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("warns");
    for (int mode = 0; mode < 8; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode << (mode == 0);
}

// The warning comes only for "16million"; the dialog proposes the entry's
// text with ".bmp" in the program's folder. Cancel in the dialog writes
// nothing.
void tst_Save::warningAndDefaultName()
{
    QFETCH(int, mode);
    QFETCH(bool, warns);

    selectMode(*form, mode);
    const QString text = QString::fromLatin1(Sheets::All[std::size_t(mode)].name.data());
    const QString proposed = QDir(QCoreApplication::applicationDirPath()).filePath(text + ".bmp");
    QFile::remove(proposed);

    const SaveSession session = clickSave(*form, this, QString());
    QCOMPARE(session.warned, warns);
    if (warns)
        QCOMPARE(session.warningText, Warning);
    QVERIFY(session.dialogShown);
    QCOMPARE(session.proposedName, proposed);
    QVERIFY(!QFile::exists(proposed));
    QVERIFY(session.errorText.isEmpty());
}

void tst_Save::cancelInWarningEndsSave_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Cancel") << int(WarningAnswer::CancelButton);
    QTest::newRow("Escape") << int(WarningAnswer::EscapeKey);
    QTest::newRow("close box") << int(WarningAnswer::CloseBox);
}

void tst_Save::cancelInWarningEndsSave()
{
    QFETCH(int, answer);
    selectMode(*form, 0);
    QObject noDialog;
    bool dialogShown = false;
    whenModal<QFileDialog>(&noDialog, [&](QFileDialog *dialog) {
        dialogShown = true;
        dialog->reject();
    });
    const SaveSession session = clickSave(*form, this, folder->filePath("x.bmp"), WarningAnswer(answer));
    QVERIFY(session.warned);
    QTest::qWait(50); // a dialog, if any, would be up by now
    QVERIFY(!dialogShown);
    QVERIFY(!session.dialogShown);
    QVERIFY(!QFile::exists(folder->filePath("x.bmp")));
}

void tst_Save::savedFileMatchesCanvas_data()
{
    warningAndDefaultName_data();
}

// The file is the whole canvas at its size, 24 bits a pixel: read back it
// equals the canvas pixel for pixel; "16million" gives the 48 MB file.
void tst_Save::savedFileMatchesCanvas()
{
    QFETCH(int, mode);
    runMode(*form, mode);
    const QString name = folder->filePath(QStringLiteral("sheet %1.bmp").arg(mode));
    const SaveSession session = clickSave(*form, this, name);

    QVERIFY2(session.errorText.isEmpty(), qPrintable(session.errorText));
    const int n = SheetFormulas::CanvasSize[mode];
    QCOMPARE(QFileInfo(name).size(), bmpSize(n, n));
    if (mode == 0)
        QCOMPARE(QFileInfo(name).size(), qint64(50'331'702));
    QCOMPARE(compareFileWithCanvas(name, canvasOf(*form)), QString());
}

void tst_Save::saveBeforeAnyRun()
{
    selectMode(*form, 6);
    const QString name = folder->filePath("empty.bmp");
    clickSave(*form, this, name);

    QCOMPARE(QFileInfo(name).size(), bmpSize(409, 417));
    const QImage saved(name);
    QCOMPARE(saved.size(), QSize(409, 417));
    const QRgb background = ToRgb32(canvasOf(*form).backColor());
    for (int y = 0; y < 417; y += 7)
        for (int x = 0; x < 409; x += 5)
            QCOMPARE(saved.pixel(x, y), background);
}

void tst_Save::warningFollowsSelectionNotCanvas()
{
    runMode(*form, 3);
    selectMode(*form, 0);
    const QString name = folder->filePath("small.bmp");
    const SaveSession session = clickSave(*form, this, name);

    QVERIFY(session.warned);
    QCOMPARE(QFileInfo(session.proposedName).fileName(), QStringLiteral("16million.bmp"));
    QCOMPARE(QImage(name).size(), QSize(256, 256));
}

void tst_Save::savingTwiceKeepsTheSecond()
{
    const QString name = folder->filePath("twice.bmp");
    runMode(*form, 7);
    clickSave(*form, this, name);
    QCOMPARE(QImage(name).size(), QSize(27, 27));

    runMode(*form, 6);
    clickSave(*form, this, name); // the dialog asks to replace; Yes
    QCOMPARE(QFileInfo(name).size(), bmpSize(45, 45));
    QCOMPARE(compareFileWithCanvas(name, canvasOf(*form)), QString());
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{"twice.bmp"});
}

void tst_Save::typedNameKeepsNoExtension()
{
    runMode(*form, 5);
    clickSave(*form, this, folder->filePath("picture"));
    QVERIFY(QFile::exists(folder->filePath("picture")));
    QVERIFY(!QFile::exists(folder->filePath("picture.bmp")));
    QCOMPARE(compareFileWithCanvas(folder->filePath("picture"), canvasOf(*form)), QString());
}

void tst_Save::failedSaveIsReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("full disk") << "full";
    QTest::newRow("the new file cannot take the old one's place") << "commit";
}

// A save that cannot be written tells the user which file and why; the
// canvas is untouched and the program goes on.
void tst_Save::failedSaveIsReported()
{
    QFETCH(QString, kind);

    QString name;
    QString reason;
    const QString pictures = folder->filePath("pictures");
    const QByteArray oldContent = "the picture saved last time";
    if (kind == "commit") {
        // Written and synced, then the folder is moved away (a removable disk
        // pulled) before the new file takes the old one's place.
        QVERIFY(QDir().mkdir(pictures));
        name = pictures + "/picture.bmp";
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldContent) == oldContent.size());
        old.close();
        SafeSave::SetBeforeCommit([pictures](const QString &) { QDir().rename(pictures, pictures + ".away"); });
        reason = QStringLiteral("No such file or directory");
    } else if (kind == "missing") {
        name = folder->filePath("no such folder/picture.bmp");
        reason = QStringLiteral("No such file or directory");
    } else {
        // A private full device, like /dev/full, in the test's own folder.
        name = folder->filePath("full");
        if (::mknod(QFile::encodeName(name).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("making a device node needs root");
        reason = QStringLiteral("No space left on device");
    }

    runMode(*form, 4);
    const ColorValue corner = canvasOf(*form).pixel(127, 127);
    const SaveSession session = clickSave(*form, this, name);
    if (kind == "commit") {
        SafeSave::SetBeforeCommit({});
        QVERIFY(QDir().rename(pictures + ".away", pictures));
        QFile old(name);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), oldContent);
        QCOMPARE(QDir(pictures).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList {"picture.bmp"});
    }

    QVERIFY2(session.errorText.contains(QDir::toNativeSeparators(name)), qPrintable(session.errorText));
    QVERIFY2(session.errorText.contains(reason), qPrintable(session.errorText));
    QCOMPARE(canvasOf(*form).pixel(127, 127), corner);
    QCOMPARE(canvasOf(*form).width(), 128);

    // The program goes on: the next save works.
    const QString good = folder->filePath("good.bmp");
    clickSave(*form, this, good);
    QCOMPARE(compareFileWithCanvas(good, canvasOf(*form)), QString());
}

// Save clicked between two tiles writes the canvas drawn so far, and the run
// then goes on to the end.
void tst_Save::saveDuringRun()
{
    const QString name = folder->filePath("partial.bmp");
    bool saved = false;
    const PassGuard pass = everyEventPass(this, [&] {
        if (!saved && runDepth(*form) > 0) {
            saved = true;
            clickSave(*form, this, name);
        }
    });
    runMode(*form, 1); // 1million: 128 x 128 tiles

    QVERIFY(saved);
    const QImage partial(name);
    QCOMPARE(partial.size(), QSize(1024, 1024));
    QCOMPARE(FromRgb32(partial.pixel(127, 127)), SheetFormulas::Colour(1, 127, 127));
    QCOMPARE(FromRgb32(partial.pixel(0, 128)), canvasOf(*form).backColor());
    QCOMPARE(FromRgb32(partial.pixel(1023, 1023)), canvasOf(*form).backColor());
    QCOMPARE(canvasOf(*form).pixel(1023, 1023), SheetFormulas::Colour(1, 1023, 1023));
}

QTEST_MAIN(tst_Save)
#include "tst_save.moc"
