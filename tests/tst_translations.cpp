// The translations as lupdate sees them: a copy of each .ts file is brought
// up to date with the sources, so a text added to the code without its
// translation shows as unfinished here.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty
};

QList<Message> readTs(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"message")
            messages.last().context = context;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            messages << Message{};
        } else if (xml.name() == u"source" && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == u"translation" && !messages.isEmpty()) {
            messages.last().type = xml.attributes().value(QStringLiteral("type")).toString();
            messages.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

// Kana and kanji (with the full-width forms).
bool hasJapanese(const QString &text)
{
    static const QRegularExpression japanese(QStringLiteral("[\\x{3040}-\\x{30FF}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    return text.contains(japanese);
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(text))
        found << match.captured();
    return found;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void everyTextTranslated_data();
    void everyTextTranslated();
};

void tst_Translations::everyTextTranslated_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("japanese"); // the translations are Japanese; otherwise none may be
    QTest::addColumn<QString>("designContext"); // texts kept as the design has them, in any script

    // The design's captions and tooltips are the window's own words, shown
    // as they stand in the Japanese locale the design is written for.
    QTest::newRow("Japanese") << QStringLiteral("tintwell_ja.ts") << true << QStringLiteral("FormDesign");
    QTest::newRow("English") << QStringLiteral("tintwell_en.ts") << false << QString();
}

void tst_Translations::everyTextTranslated()
{
    QFETCH(QString, file);
    QFETCH(bool, japanese);
    QFETCH(QString, designContext);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString copy = work.filePath(file);
    QVERIFY(QFile::copy(QStringLiteral(TINTWELL_SOURCE_DIR "/translations/") + file, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    // The options of the build's update_translations.
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(TINTWELL_SOURCE_DIR));
    lupdate.start(QStringLiteral(TINTWELL_LUPDATE),
                  {QStringLiteral("-I"), QStringLiteral("src"), QStringLiteral("src/window"),
                   QStringLiteral("src/platform"), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                   QStringLiteral("none"), QStringLiteral("-ts"), copy});
    QVERIFY2(lupdate.waitForFinished(120'000), "lupdate did not finish");
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAllStandardError().constData());

    QString error;
    const QList<Message> messages = readTs(copy, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(messages.size() >= 20, qPrintable(QStringLiteral("lupdate found %1 texts").arg(messages.size())));

    QStringList wrong;
    for (const Message &m : messages) {
        const QString where = m.context + QStringLiteral(": \"") + m.source + QLatin1Char('"');
        if (!m.type.isEmpty() || m.translation.isEmpty())
            wrong << where + QStringLiteral(" is ") + (m.type.isEmpty() ? QStringLiteral("empty") : m.type);
        else if (placeholders(m.translation) != placeholders(m.source))
            wrong << where + QStringLiteral(" loses or adds a %N");
        else if (m.context == designContext)
            continue;
        else if (japanese && !hasJapanese(m.translation))
            wrong << where + QStringLiteral(" has no Japanese translation: \"") + m.translation + QLatin1Char('"');
        else if (!japanese && hasJapanese(m.translation))
            wrong << where + QStringLiteral(" keeps Japanese: \"") + m.translation + QLatin1Char('"');
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("\n"))));
}

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
