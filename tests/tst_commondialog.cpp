#include "platform/CommonDialog.h"
#include "DialogTesting.h"
#include "platform/Interaction.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace DialogTesting;

namespace {

enum Dismissal { CancelButton, EscapeKey, WindowClosed };

} // namespace

class tst_CommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void opensOnDefaultAndKeepsTypedName();
    void listsEveryFile();
    void dismissingKeepsFileName_data();
    void dismissingKeepsFileName();
    void asksBeforeReplacing_data();
    void asksBeforeReplacing();
    void waitForAnotherDialogFailsFast();
};

void tst_CommonDialog::opensOnDefaultAndKeepsTypedName()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    CommonDialog CommonDialog1;
    CommonDialog1.setFileName(folder.filePath("Tintwell.bmp"));

    QString openedOn;
    QString prefilled;
    bool confirmsOverwrite = false;
    bool typed = false;
    QWidget window;
    whenModal<QFileDialog>(&window, [&](QFileDialog *dialog) {
        openedOn = dialog->directory().absolutePath();
        if (QLineEdit *edit = nameEdit(dialog))
            prefilled = edit->text();
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        typed = typeName(dialog, "my picture");
        if (typed)
            QTest::keyClick(nameEdit(dialog), Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    });
    const bool accepted = CommonDialog1.ShowSave(&window);

    QCOMPARE(openedOn, QDir(folder.path()).absolutePath());
    QCOMPARE(prefilled, QString("Tintwell.bmp"));
    QVERIFY(confirmsOverwrite);
    QVERIFY(typed);
    QVERIFY(accepted);
    // Exactly as typed: no extension added.
    QCOMPARE(CommonDialog1.FileName(), folder.filePath("my picture"));
}

// No file-type filter: the folder's files are listed whatever their names.
void tst_CommonDialog::listsEveryFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QStringList files = {"no extension", "notes.txt", "old.bmp", "photo.PNG"};
    for (const QString &name : files) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CommonDialog CommonDialog1;
    CommonDialog1.setFileName(folder.filePath("Tintwell.bmp"));

    QStringList listed;
    QWidget window;
    whenModal<QFileDialog>(&window, [&](QFileDialog *dialog) {
        const auto *view = dialog->findChild<QListView *>("listView");
        const auto names = [view] {
            QStringList names;
            for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            names.sort();
            return names;
        };
        // The folder is read in the background: wait until what it holds is in.
        (void)QTest::qWaitFor([&] { return names().size() >= files.size(); }, 5000);
        listed = names();
        dialog->reject();
    });
    CommonDialog1.ShowSave(&window);

    QCOMPARE(listed, files);
}

void tst_CommonDialog::dismissingKeepsFileName_data()
{
    QTest::addColumn<int>("dismissal");
    QTest::newRow("Cancel button") << int(CancelButton);
    QTest::newRow("Escape key") << int(EscapeKey);
    QTest::newRow("window closed") << int(WindowClosed);
}

void tst_CommonDialog::dismissingKeepsFileName()
{
    QFETCH(int, dismissal);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    CommonDialog CommonDialog1;
    const QString defaultName = folder.filePath("Tintwell.bmp");
    CommonDialog1.setFileName(defaultName);

    QWidget window;
    whenModal<QFileDialog>(&window, [dismissal](QFileDialog *dialog) {
        typeName(dialog, "another name");
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QAbstractButton *cancel = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr;
        if (dismissal == CancelButton && cancel)
            QTest::mouseClick(cancel, Qt::LeftButton);
        else if (dismissal == EscapeKey)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (dismissal == WindowClosed)
            dialog->close();
        if (dialog->isVisible())
            static_cast<QDialog *>(dialog)->done(QDialog::Accepted); // not dismissed: let the checks fail
    });
    QVERIFY(!CommonDialog1.ShowSave(&window));
    QCOMPARE(CommonDialog1.FileName(), defaultName);
}

void tst_CommonDialog::asksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("Yes replaces") << true;
    QTest::newRow("No goes back to the dialog") << false;
}

void tst_CommonDialog::asksBeforeReplacing()
{
    QFETCH(bool, replace);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString existing = folder.filePath("old.bmp");
    {
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CommonDialog CommonDialog1;
    const QString defaultName = folder.filePath("Tintwell.bmp");
    CommonDialog1.setFileName(defaultName);

    bool asked = false;
    bool stayedOpen = false;
    QWidget window;
    whenModal<QFileDialog>(&window, [&](QFileDialog *dialog) {
        typeName(dialog, "old.bmp");
        whenModal<QMessageBox>(dialog, [&](QMessageBox *question) {
            asked = true;
            question->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        static_cast<QDialog *>(dialog)->accept(); // returns once the question is answered
        stayedOpen = dialog->isVisible();
        if (stayedOpen)
            dialog->reject();
    });
    const bool accepted = CommonDialog1.ShowSave(&window);

    QVERIFY(asked);
    QCOMPARE(stayedOpen, !replace);
    QCOMPARE(accepted, replace);
    QCOMPARE(CommonDialog1.FileName(), replace ? existing : defaultName);
}

// A test waiting for the save dialog while a message box is up fails and
// closes the box, rather than hanging until the test runner gives up.
void tst_CommonDialog::waitForAnotherDialogFailsFast()
{
    QWidget window;
    bool answered = false;
    QEXPECT_FAIL("", "a message box comes up where the save dialog is awaited", Continue);
    whenModal<QFileDialog>(&window, [&](QFileDialog *) { answered = true; }, 200);
    const QMessageBox::StandardButton answer = Interaction::MsgBox(&window, QStringLiteral("Not the dialog awaited"));

    QVERIFY(!answered);
    QCOMPARE(answer, QMessageBox::Cancel);
}

QTEST_MAIN(tst_CommonDialog)

#include "tst_commondialog.moc"
