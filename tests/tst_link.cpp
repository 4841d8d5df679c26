// The link label: what it shows and holds, the requests its clicks and keys
// make, and what the user sees when no program opens the address. The
// desktop's opener (xdg-open) is a stand-in script first on PATH, which
// notes each request and answers with the exit status the test chooses.

#include "WindowTesting.h"

#include "platform/Module1.h"
#include "window/LinkLabel.h"
#include "tintwellconfig.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QUrl>

using namespace WindowTesting;

class tst_Link : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void labelShowsAndHoldsTheAddress();
    void eachClickMakesOneRequest();
    void onlyALeftClickOpens();
    void emptyTagFailsQuietly();
    void reachedWithTabOpenedWithKeys_data();
    void reachedWithTabOpenedWithKeys();
    void shellOpenTakesFilesAndAddresses_data();
    void shellOpenTakesFilesAndAddresses();
    void failedRequestIsReported_data();
    void failedRequestIsReported();

private:
    LinkLabel *link() const { return form->findChild<LinkLabel *>(QStringLiteral("Label3")); }
    // The requests the opener received so far, one address each.
    QStringList requests() const;
    // Puts an opener answering `exitStatus` first on PATH; none at all when
    // `exitStatus` is negative.
    void useOpener(int exitStatus);

    QTemporaryDir folder;
    QByteArray systemPath;
    mainform *form = nullptr;
};

void tst_Link::initTestCase()
{
    QVERIFY(folder.isValid());
    systemPath = qgetenv("PATH");
    // Without an opener Qt looks for a browser by these.
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
}

void tst_Link::init()
{
    useOpener(0);
    form = openWindow();
    QVERIFY(form->isVisible());
}

void tst_Link::cleanup()
{
    delete form;
    qputenv("PATH", systemPath);
}

QStringList tst_Link::requests() const
{
    QFile log(folder.filePath("requests"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void tst_Link::useOpener(int exitStatus)
{
    QFile::remove(folder.filePath("requests"));
    const QString bin = folder.filePath(QStringLiteral("bin%1").arg(exitStatus));
    if (exitStatus < 0) {
        // Only the folder of the shell, which holds no browser.
        QDir().mkpath(bin);
        qputenv("PATH", QFile::encodeName(bin));
        return;
    }
    QDir().mkpath(bin);
    QFile opener(bin + "/xdg-open");
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\nexit %2\n")
                     .arg(folder.filePath("requests"))
                     .arg(exitStatus)
                     .toUtf8());
    opener.close();
    QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(bin) + ':' + systemPath);
}

void tst_Link::labelShowsAndHoldsTheAddress()
{
    const QString address = QString::fromUtf8(TintwellConfig::HomePage);
    QVERIFY(QUrl(address).isValid());
    QVERIFY(!QUrl(address).isRelative());
    QCOMPARE(link()->text(), address);
    QCOMPARE(link()->Tag(), address);
    QCOMPARE(link()->toolTip(), QStringLiteral("Version Up"));
    QCOMPARE(link()->cursor().shape(), Qt::WhatsThisCursor);
    QVERIFY(link()->font().bold());
    QCOMPARE(link()->font().pointSizeF(), 9.75);
    QCOMPARE(link()->palette().color(QPalette::WindowText), form->palette().color(QPalette::Dark));
    QCOMPARE(link()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

void tst_Link::eachClickMakesOneRequest()
{
    const QString address = QString::fromUtf8(TintwellConfig::HomePage);
    QTest::mouseClick(link(), Qt::LeftButton);
    QTRY_COMPARE(requests(), QStringList{address});
    QTest::mouseClick(link(), Qt::LeftButton);
    QTRY_COMPARE(requests(), QStringList({address, address}));
}

void tst_Link::onlyALeftClickOpens()
{
    QTest::mouseClick(link(), Qt::RightButton);
    QTest::mouseClick(link(), Qt::MiddleButton);
    // Pressed on the label, released elsewhere: no click.
    QTest::mousePress(link(), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(link(), Qt::LeftButton, {}, QPoint(3, link()->height() + 40));
    // A right click on the label is no colour pick either.
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("RGBc(0)"))->text(), QStringLiteral("FF"));
    QTest::qWait(300); // an opener, had one been started, would have noted it by now
    QVERIFY(requests().isEmpty());
}

void tst_Link::emptyTagFailsQuietly()
{
    link()->setTag(QString());
    QTest::mouseClick(link(), Qt::LeftButton);
    QVERIFY(form->isVisible());
    // The label's address still works once the Tag is back.
    link()->setTag(link()->text());
    QTest::mouseClick(link(), Qt::LeftButton);
    QTRY_COMPARE(requests().size(), 1);
    QTest::qWait(100);
    QCOMPARE(requests().size(), 1);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void tst_Link::reachedWithTabOpenedWithKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
}

// The link comes after the buttons in the tab order and opens with Enter or
// Space, as a button would.
void tst_Link::reachedWithTabOpenedWithKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    button(*form, "Command3")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), link());
    QTest::keyClick(link(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_COMPARE(requests(), QStringList{QString::fromUtf8(TintwellConfig::HomePage)});
    // Tab goes round to Start.
    QTest::keyClick(link(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(*form, "Command1"));
}

void tst_Link::shellOpenTakesFilesAndAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("request");
    QTest::newRow("web address") << "https://example.org/a b?x=1" << "https://example.org/a%20b?x=1";
    QTest::newRow("plain http") << "http://example.org/" << "http://example.org/";
    QTest::newRow("file path") << "/tmp/some picture.bmp" << "file:///tmp/some%20picture.bmp";
}

void tst_Link::shellOpenTakesFilesAndAddresses()
{
    QFETCH(QString, text);
    QFETCH(QString, request);
    bool failed = false;
    Module1::ShellOpen(form, text, [&failed] { failed = true; });
    QTRY_COMPARE(requests(), QStringList{request});
    QTest::qWait(100);
    QVERIFY(!failed);
}

void tst_Link::failedRequestIsReported_data()
{
    QTest::addColumn<int>("opener");
    QTest::newRow("no program for the address") << 3;
    QTest::newRow("the program failed") << 4;
    QTest::newRow("no opener, no browser") << -1;
}

// Where nothing opens the page the user is told so, with the address, which
// is also put on the clipboard.
void tst_Link::failedRequestIsReported()
{
    QFETCH(int, opener);
    useOpener(opener);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    QString told;
    QObject scope;
    whenModal<QMessageBox>(&scope, [&told](QMessageBox *box) {
        told = box->text();
        box->accept();
    });
    QTest::mouseClick(link(), Qt::LeftButton);
    const QString address = QString::fromUtf8(TintwellConfig::HomePage);
    QTRY_VERIFY(!told.isEmpty());
    QVERIFY2(told.contains(address), qPrintable(told));
    QCOMPARE(QGuiApplication::clipboard()->text(), address);
    QVERIFY(form->isVisible());
}

QTEST_MAIN(tst_Link)
#include "tst_link.moc"
