#include "platform/CommonDialog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

enum Program { Writable, ReadOnly, Missing, Installed, UsrBin, BesideBuild, LinkedBuild };
enum Pictures { PicturesFolder, NoPictures, PicturesIsFile, NamedByDesktop };
enum Proposed { ProgramFolder, PicturesProposed, HomeFolder };

} // namespace

// Save proposes the program's folder only while it runs from its build
// folder and the user may write there; an installed program (in /usr/bin,
// writable for root, or in ~/.local/bin) proposes the user's Pictures
// folder, or the home folder when there is none. The home and the desktop's
// settings are a temporary folder here, so every case is one the user can
// have.
class tst_SaveFolder : public QObject
{
    Q_OBJECT

private slots:
    void proposedFolder_data();
    void proposedFolder();
};

void tst_SaveFolder::proposedFolder_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<int>("proposed");

    QTest::newRow("build folder kept") << int(Writable) << int(PicturesFolder) << int(ProgramFolder);
    QTest::newRow("build folder kept without Pictures") << int(Writable) << int(NoPictures) << int(ProgramFolder);
    QTest::newRow("read-only folder: Pictures") << int(ReadOnly) << int(PicturesFolder) << int(PicturesProposed);
    QTest::newRow("read-only folder, no Pictures: home") << int(ReadOnly) << int(NoPictures) << int(HomeFolder);
    QTest::newRow("vanished folder: Pictures") << int(Missing) << int(PicturesFolder) << int(PicturesProposed);
    QTest::newRow("vanished folder, no Pictures: home") << int(Missing) << int(NoPictures) << int(HomeFolder);
    QTest::newRow("Pictures is a file: home") << int(Missing) << int(PicturesIsFile) << int(HomeFolder);
    QTest::newRow("Pictures as the desktop names it")
        << int(Missing) << int(NamedByDesktop) << int(PicturesProposed);
    QTest::newRow("installed in a writable folder: Pictures") << int(Installed) << int(PicturesFolder)
                                                                << int(PicturesProposed);
    QTest::newRow("installed in a writable folder, no Pictures: home") << int(Installed) << int(NoPictures)
                                                                         << int(HomeFolder);
    QTest::newRow("installed in /usr/bin: Pictures") << int(UsrBin) << int(PicturesFolder) << int(PicturesProposed);
    QTest::newRow("beside the build folder: Pictures") << int(BesideBuild) << int(PicturesFolder)
                                                         << int(PicturesProposed);
    QTest::newRow("build folder through a link kept") << int(LinkedBuild) << int(PicturesFolder)
                                                        << int(ProgramFolder);
}

void tst_SaveFolder::proposedFolder()
{
    QFETCH(int, program);
    QFETCH(int, pictures);
    QFETCH(int, proposed);

    if (program == ReadOnly && ::geteuid() == 0)
        QSKIP("root may write into any folder; the vanished-folder rows cover this way");

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir top(root.path());
    QVERIFY(top.mkpath("home") && top.mkpath("config") && top.mkpath("build/src") && top.mkpath("bin")
            && top.mkpath("build-old"));
    const QString home = top.filePath("home");
    const QString config = top.filePath("config");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));

    QString picturesPath = home + "/Pictures";
    if (pictures == PicturesFolder) {
        QVERIFY(QDir(home).mkdir("Pictures"));
    } else if (pictures == PicturesIsFile) {
        QFile file(picturesPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (pictures == NamedByDesktop) {
        // The folder the user's desktop settings name, in their language.
        picturesPath = home + "/Bilder";
        QVERIFY(QDir(home).mkdir("Bilder"));
        QFile dirs(config + "/user-dirs.dirs");
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    }

    // The program was built in build/ and runs from build/src unless it is
    // installed elsewhere.
    QString buildFolder = top.filePath("build");
    QString programFolder = top.filePath("build/src");
    if (program == ReadOnly)
        QVERIFY(QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::ExeOwner));
    else if (program == Missing)
        programFolder = top.filePath("build/gone");
    else if (program == Installed)
        programFolder = top.filePath("bin");
    else if (program == UsrBin)
        programFolder = QStringLiteral("/usr/bin");
    else if (program == BesideBuild)
        programFolder = top.filePath("build-old");
    else if (program == LinkedBuild) {
        QVERIFY(QFile::link(top.filePath("build"), top.filePath("link")));
        programFolder = top.filePath("link/src");
    }

    const QString expected = proposed == ProgramFolder ? programFolder
                             : proposed == PicturesProposed ? picturesPath
                                                            : home;
    QCOMPARE(QDir(DefaultSaveFolder(programFolder, buildFolder)).absolutePath(), QDir(expected).absolutePath());

    // Let the temporary folder be removed.
    QFile::setPermissions(top.filePath("build/src"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_GUILESS_MAIN(tst_SaveFolder)
#include "tst_savefolder.moc"
