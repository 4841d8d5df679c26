// Save through the real window: the size warning, the dialog's default name,
// the file written from the canvas, and failures reported to the user.

#include "WindowTesting.h"

#include "SheetFormulas.h"
#include "platform/CommonDialog.h"
#include "platform/PictureFile.h"
#include "platform/CanvasImage.h"
#include "tintwellconfig.h"
#include "window/Language.h"

#include "platform/SafeSave.h"

#include <QBuffer>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

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
    int proposedType = -1;
    bool dialogShown = false;
    QString errorText;
};

enum class WarningAnswer { Ok, CancelButton, EscapeKey, CloseBox };

// The file types the dialog offers, in its order.
enum FileType { Bmp, Png, TypeAsProposed = -1 };

// Clicks Save and answers what comes up: the warning (if any) with
// `warningAnswer`, the save dialog by choosing the file type `type` and then
// typing `name` (as the user would; cancelled when empty), a question about
// replacing a file with Yes, and an error message by closing it.
SaveSession clickSave(mainform &form, QObject *context, const QString &name,
                      WarningAnswer warningAnswer = WarningAnswer::Ok, int type = TypeAsProposed)
{
    SaveSession session;
    const auto answerDialog = [&session, name, type](QFileDialog *dialog) {
        session.dialogShown = true;
        session.proposedName = QDir(dialog->directory()).filePath(DialogTesting::nameEdit(dialog)->text());
        session.proposedType = dialog->nameFilters().indexOf(dialog->selectedNameFilter());
        if (type != TypeAsProposed)
            dialog->selectNameFilter(dialog->nameFilters().value(type));
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

    // The warning comes for a 4096 x 4096 canvas, whatever the list says.
    QObject scope;
    if (canvasOf(form).width() == 4096)
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
QString compareFileWithCanvas(const QString &fileName, const Canvas &pic, const char *format = "BMP")
{
    const QImage saved(fileName, format);
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

    void followsCanvasAndFileType_data();
    void followsCanvasAndFileType();
    void cancelInWarningEndsSave_data();
    void cancelInWarningEndsSave();
    void savedFileMatchesCanvas_data();
    void savedFileMatchesCanvas();
    void savingTwiceKeepsTheSecond();
    void failedSaveIsReported_data();
    void failedSaveIsReported();
    void saveDuringRun();
    void warningInTheUsersLanguage();

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

void tst_Save::followsCanvasAndFileType_data()
{
    QTest::addColumn<int>("listMode");
    QTest::addColumn<int>("drawnMode"); // -1: no run yet
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typed"); // empty: the dialog is cancelled
    QTest::addColumn<bool>("warns");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QByteArray>("written"); // "BMP", "PNG" or nothing

    QTest::newRow("no run: the list's name, no warning")
        << 0 << -1 << int(Bmp) << "before.bmp" << false << "16million.bmp" << QByteArray("BMP");
    QTest::newRow("no run, dialog cancelled") << 6 << -1 << int(Bmp) << "" << false << "2025.bmp" << QByteArray();
    QTest::newRow("729 drawn, 16million listed")
        << 0 << 7 << int(Bmp) << "small.bmp" << false << "729.bmp" << QByteArray("BMP");
    QTest::newRow("16million drawn, 729 listed")
        << 7 << 0 << int(Bmp) << "large.png" << true << "16million.bmp" << QByteArray("PNG");
    QTest::newRow("16million drawn, PNG chosen, no ending")
        << 0 << 0 << int(Png) << "large" << true << "16million.bmp" << QByteArray("PNG");
    QTest::newRow("BMP chosen, no ending") << 7 << 7 << int(Bmp) << "picture" << false << "729.bmp" << QByteArray("BMP");
    QTest::newRow("BMP chosen, .png typed") << 5 << 5 << int(Bmp) << "t.png" << false << "4096.bmp" << QByteArray("PNG");
    QTest::newRow("PNG chosen, .BMP typed") << 4 << 4 << int(Png) << "t.BMP" << false << "16kilo.bmp"
                                            << QByteArray("BMP");
    QTest::newRow("PNG chosen, .png typed") << 3 << 3 << int(Png) << "t.png" << false << "64kilo.bmp"
                                            << QByteArray("PNG");
    QTest::newRow("PNG chosen, another ending") << 6 << 6 << int(Png) << "t.jpg" << false << "2025.bmp"
                                                << QByteArray("PNG");
    QTest::newRow("BMP chosen, another ending") << 2 << 2 << int(Bmp) << "t.txt" << false << "256killo.bmp"
                                                << QByteArray("BMP");
}

// The warning and the proposed name follow the canvas, not the list; the
// file's format follows a typed .bmp or .png ending, else the chosen type;
// the name stays as typed. Read back, the file is the canvas.
void tst_Save::followsCanvasAndFileType()
{
    QFETCH(int, listMode);
    QFETCH(int, drawnMode);
    QFETCH(int, type);
    QFETCH(QString, typed);
    QFETCH(bool, warns);
    QFETCH(QString, proposed);
    QFETCH(QByteArray, written);

    if (drawnMode >= 0)
        runMode(*form, drawnMode);
    selectMode(*form, listMode);
    const QString name = typed.isEmpty() ? QString() : folder->filePath(typed);
    const SaveSession session = clickSave(*form, this, name, WarningAnswer::Ok, type);

    QCOMPARE(session.warned, warns);
    QVERIFY(session.dialogShown);
    QCOMPARE(session.proposedName, QDir(DefaultSaveFolder(QCoreApplication::applicationDirPath(),
                                                          QString::fromUtf8(TintwellConfig::BuildFolder)))
                                       .filePath(proposed));
    QCOMPARE(session.proposedType, int(Bmp));
    QVERIFY2(session.errorText.isEmpty(), qPrintable(session.errorText));
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files), written.isEmpty() ? QStringList() : QStringList{typed});
    if (written.isEmpty())
        return;

    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const Canvas &pic = canvasOf(*form);
    if (written == "BMP") {
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(bytes.size(), bmpSize(pic.width(), pic.height()));
    } else {
        // The 24-bit PNG tintwell-sheet writes, byte for byte.
        QBuffer sheetPng;
        QString reason;
        QVERIFY(sheetPng.open(QIODevice::WriteOnly));
        QVERIFY(PictureFile::WritePicture(CanvasImage(pic), sheetPng, PictureFile::Format::Png, reason));
        QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(bytes, sheetPng.data());
    }
    QCOMPARE(compareFileWithCanvas(name, pic, written.constData()), QString());
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
    runMode(*form, 0);
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
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode < 8; ++mode)
        QTest::newRow(Sheets::All[std::size_t(mode)].name.data()) << mode;
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

void tst_Save::failedSaveIsReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("full disk") << "full";
    QTest::newRow("the new file cannot take the old one's place") << "commit";
    QTest::newRow("the written file cannot be synced to disk") << "sync";
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
    if (kind == "commit" || kind == "sync") {
        // Written and synced, then the folder is moved away (a removable disk
        // pulled) before the new file takes the old one's place.
        QVERIFY(QDir().mkdir(pictures));
        name = pictures + "/picture.bmp";
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldContent) == oldContent.size());
        old.close();
        if (kind == "commit") {
            SafeSave::SetBeforeCommit([pictures](const QString &) { QDir().rename(pictures, pictures + ".away"); });
            reason = QStringLiteral("No such file or directory");
        } else {
            // The disk reports an error only when asked to sync.
            SafeSave::SetSync([](int) {
                errno = EIO;
                return -1;
            });
            reason = QString::fromLocal8Bit(std::strerror(EIO));
        }
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
    if (kind == "commit" || kind == "sync") {
        SafeSave::SetBeforeCommit({});
        SafeSave::SetSync({});
        if (kind == "commit")
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

// Japanese locales show the design's warning, every other one the English
// translation; the buttons speak the locale's language.
void tst_Save::warningInTheUsersLanguage()
{
    const struct
    {
        QLocale::Language language;
        QLocale::Territory territory;
        QString text;
        QString cancel;
    } locales[] = {
        {QLocale::Japanese, QLocale::Japan, Warning, QStringLiteral("キャンセル")},
        {QLocale::English, QLocale::UnitedStates, QStringLiteral("The file size for 16M colours will be 48 MB."),
         QStringLiteral("Cancel")},
        {QLocale::German, QLocale::Germany, QStringLiteral("The file size for 16M colours will be 48 MB."),
         QStringLiteral("Abbrechen")},
    };
    runMode(*form, 0);
    for (const auto &locale : locales) {
        Language::Install(QLocale(locale.language, locale.territory));
        QString text;
        QString cancel;
        QObject scope;
        whenModal<QMessageBox>(&scope, [&](QMessageBox *box) {
            text = box->text();
            cancel = box->button(QMessageBox::Cancel)->text();
            box->button(QMessageBox::Cancel)->click();
        });
        QTest::mouseClick(button(*form, "Command2"), Qt::LeftButton);
        QCOMPARE(text, locale.text);
        QCOMPARE(cancel, locale.cancel);
    }
    // The other tests read the design's texts.
    Language::Install(QLocale(QLocale::Japanese, QLocale::Japan));
}

QTEST_MAIN(tst_Save)
#include "tst_save.moc"
