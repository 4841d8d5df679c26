// The link label: what it shows and holds, and the requests its clicks make.
// The system's handler is replaced through QDesktopServices, so the test
// sees every request and no browser starts.

#include "WindowTesting.h"

#include "platform/Module1.h"
#include "window/LinkLabel.h"
#include "tintwellconfig.h"

#include <QDesktopServices>
#include <QFontInfo>
#include <QLabel>
#include <QUrl>

using namespace WindowTesting;

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> requests;

public slots:
    void open(const QUrl &url) { requests << url; }
};

class tst_Link : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void labelShowsAndHoldsTheAddress();
    void eachClickMakesOneRequest();
    void onlyALeftClickOpens();
    void emptyTagFailsQuietly();
    void shellOpenTakesFilesAndAddresses_data();
    void shellOpenTakesFilesAndAddresses();

private:
    LinkLabel *link() const { return form->findChild<LinkLabel *>(QStringLiteral("Label3")); }

    UrlCatcher catcher;
    mainform *form = nullptr;
};

void tst_Link::initTestCase()
{
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "open");
}

void tst_Link::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void tst_Link::init()
{
    catcher.requests.clear();
    form = openWindow();
    QVERIFY(form->isVisible());
}

void tst_Link::cleanup()
{
    delete form;
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
    QTest::mouseClick(link(), Qt::LeftButton);
    QCOMPARE(catcher.requests, QList<QUrl>{QUrl(QString::fromUtf8(TintwellConfig::HomePage))});
    QTest::mouseClick(link(), Qt::LeftButton);
    QCOMPARE(catcher.requests.size(), 2);
    QCOMPARE(catcher.requests.last(), QUrl(QString::fromUtf8(TintwellConfig::HomePage)));
}

void tst_Link::onlyALeftClickOpens()
{
    QTest::mouseClick(link(), Qt::RightButton);
    QTest::mouseClick(link(), Qt::MiddleButton);
    // Pressed on the label, released elsewhere: no click.
    QTest::mousePress(link(), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(link(), Qt::LeftButton, {}, QPoint(3, link()->height() + 40));
    QVERIFY(catcher.requests.isEmpty());
    // A right click on the label is no colour pick either.
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("RGBc(0)"))->text(), QStringLiteral("FF"));
}

void tst_Link::emptyTagFailsQuietly()
{
    link()->setTag(QString());
    QTest::mouseClick(link(), Qt::LeftButton);
    QVERIFY(catcher.requests.isEmpty());
    QVERIFY(form->isVisible());
    // The label's address still works once the Tag is back.
    link()->setTag(link()->text());
    QTest::mouseClick(link(), Qt::LeftButton);
    QCOMPARE(catcher.requests.size(), 1);
}

void tst_Link::shellOpenTakesFilesAndAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QUrl>("request");
    QTest::newRow("web address") << "https://example.org/a b?x=1" << QUrl("https://example.org/a%20b?x=1");
    QTest::newRow("plain http") << "http://example.org/" << QUrl("http://example.org/");
    QTest::newRow("file path") << "/tmp/some picture.bmp" << QUrl::fromLocalFile("/tmp/some picture.bmp");
}

void tst_Link::shellOpenTakesFilesAndAddresses()
{
    QFETCH(QString, text);
    QFETCH(QUrl, request);
    Module1::ShellOpen(form, text);
    QCOMPARE(catcher.requests, QList<QUrl>{request});
}

QTEST_MAIN(tst_Link)
#include "tst_link.moc"
