// tintwell-sheet's lut and apply as a user runs them, against the programs
// colour-graders use: a grade ImageMagick makes of the 16million sheet must
// grade a picture exactly as ImageMagick grades it, the tables we write must
// load in ffmpeg and ImageMagick, and bad tables must be told by line.

#include "FileTesting.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace FileTesting;

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray err;
};

Result runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardError()};
}

Result sheet(const QStringList &arguments)
{
    return runProgram(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
}

// ImageMagick and ffmpeg by path: a stand-in of the same name may come first on PATH.
const QString Convert = QStringLiteral("/usr/bin/convert");
const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

// A small picture with smooth runs, hard edges and greys (where a coarse
// table errs most): every pixel a different mix.
QImage testPicture()
{
    QImage picture(123, 77, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const int grey = (x * 2 + y) & 255;
            picture.setPixel(x, y, y < 20 ? qRgb(grey, grey, grey)
                                          : qRgb((x * 37 + y * 3) & 255, (x * 5 + y * 11) & 255, (x * y + 7) & 255));
        }
    return picture;
}

// Where two pictures of the same size differ: the number of pixels and the
// largest difference of a channel.
struct Difference
{
    int pixels = 0;
    int largest = 0;
};

Difference differenceOf(const QImage &a, const QImage &b)
{
    Difference d;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
            const int largest = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                          std::abs(qBlue(p) - qBlue(q))});
            d.pixels += largest > 0;
            d.largest = std::max(d.largest, largest);
        }
    return d;
}

} // namespace

class TestSheetLut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gradesOfImageMagickExactly_data();
    void gradesOfImageMagickExactly();
    void uneditedSheetChangesNothing_data();
    void uneditedSheetChangesNothing();
    void ffmpegReadsOurCube_data();
    void ffmpegReadsOurCube();
    void imageMagickReadsOurHald();
    void malformedCubeFiles_data();
    void malformedCubeFiles();
    void deepPicturesAndAlphaKept_data();
    void deepPicturesAndAlphaKept();
    void tablesAUserMistakes_data();
    void tablesAUserMistakes();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

void TestSheetLut::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(testPicture().save(path(QStringLiteral("picture.png"))));
    QCOMPARE(sheet({QStringLiteral("make"), QStringLiteral("16million"), path(QStringLiteral("16million.png"))}).exitCode, 0);
}

// A per-pixel grade done by ImageMagick to the 16million sheet grades a
// picture exactly as ImageMagick grades the picture itself.
void TestSheetLut::gradesOfImageMagickExactly_data()
{
    QTest::addColumn<QStringList>("grade");
    QTest::newRow("modulate") << QStringList {"-modulate", "110,130,95"};
    QTest::newRow("level") << QStringList {"-level", "10%,85%"};
    QTest::newRow("gamma") << QStringList {"-gamma", "1.6"};
    QTest::newRow("sigmoidal contrast") << QStringList {"-sigmoidal-contrast", "5x50%"};
    QTest::newRow("negate") << QStringList {"-negate"};
}

void TestSheetLut::gradesOfImageMagickExactly()
{
    QFETCH(QStringList, grade);
    if (!QFile::exists(Convert))
        QSKIP("ImageMagick is not installed (scripts/ensure-packages installs it)");
    const QString graded = path(QStringLiteral("graded.png"));
    const QString expected = path(QStringLiteral("expected.png"));
    const QString out = path(QStringLiteral("out.png"));
    QCOMPARE(runProgram(Convert, QStringList {path(QStringLiteral("16million.png"))} + grade
                                     + QStringList {"-depth", "8", "PNG24:" + graded})
                 .exitCode,
             0);
    QCOMPARE(runProgram(Convert, QStringList {path(QStringLiteral("picture.png"))} + grade
                                     + QStringList {"-depth", "8", "PNG24:" + expected})
                 .exitCode,
             0);
    const QStringList arguments {"apply", graded, path(QStringLiteral("picture.png")), out, "--mode", "16million"};
    const Result result = sheet(arguments);
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const Difference d = differenceOf(QImage(out), QImage(expected));
    QVERIFY2(d.pixels == 0, qPrintable(QStringLiteral("%1 pixels differ, by up to %2").arg(d.pixels).arg(d.largest)));
}

// An unedited sheet, turned into a table and applied, changes no pixel:
// the levels short of 0 or 255 are extrapolated, the uneven ones followed.
void TestSheetLut::uneditedSheetChangesNothing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("table");
    QTest::newRow("16million, 33-point cube") << "16million" << QStringList {} << "id.cube";
    QTest::newRow("1million (blue 3 to 255), 17-point cube") << "1million" << QStringList {"--size", "17"} << "id.cube";
    QTest::newRow("256killo (uneven green), HaldCLUT 8") << "256kilo" << QStringList {} << "id.png";
    QTest::newRow("64kilo (green 255 three times), 2-point cube") << "64kilo" << QStringList {"--size", "2"}
                                                                  << "id.cube";
    QTest::newRow("729, HaldCLUT 4") << "729" << QStringList {"--format", "hald", "--size", "4"} << "id.hald";
}

void TestSheetLut::uneditedSheetChangesNothing()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, options);
    QFETCH(QString, table);
    const QString made = path(mode + QStringLiteral(".bmp"));
    QCOMPARE(sheet({"make", mode, made}).exitCode, 0);
    Result result = sheet(QStringList {"lut", made, "--mode", mode, "-o", path(table)} + options);
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QString out = path(QStringLiteral("out.bmp"));
    result = sheet({"apply", path(table), path(QStringLiteral("picture.png")), out});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const Difference d = differenceOf(QImage(out), testPicture());
    QVERIFY2(d.pixels == 0, qPrintable(QStringLiteral("%1 pixels differ, by up to %2").arg(d.pixels).arg(d.largest)));
}

// ffmpeg's lut3d, with the same interpolation, agrees with apply within a
// level (ffmpeg truncates where apply rounds).
void TestSheetLut::ffmpegReadsOurCube_data()
{
    QTest::addColumn<QString>("interpolation");
    QTest::newRow("tetrahedral") << "tetrahedral";
    QTest::newRow("trilinear") << "trilinear";
}

void TestSheetLut::ffmpegReadsOurCube()
{
    QFETCH(QString, interpolation);
    if (!QFile::exists(Convert) || !QFile::exists(Ffmpeg))
        QSKIP("ImageMagick or ffmpeg is not installed (scripts/ensure-packages installs them)");
    const QString graded = path(QStringLiteral("graded.png"));
    const QString cube = path(QStringLiteral("graded.cube"));
    QCOMPARE(runProgram(Convert, {path(QStringLiteral("16million.png")), "-modulate", "110,130,95", "-depth", "8",
                                  "PNG24:" + graded})
                 .exitCode,
             0);
    Result result = sheet({"lut", graded, "--mode", "16million", "--size", "17", "-o", cube});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QString ours = path(QStringLiteral("ours.png"));
    result = sheet({"apply", cube, path(QStringLiteral("picture.png")), ours, "--interpolation", interpolation});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QString theirs = path(QStringLiteral("theirs.png"));
    result = runProgram(Ffmpeg, {"-v", "error", "-y", "-i", path(QStringLiteral("picture.png")), "-vf",
                                 "lut3d=file=" + cube + ":interp=" + interpolation, "-pix_fmt", "rgb24", theirs});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const Difference d = differenceOf(QImage(ours), QImage(theirs));
    QVERIFY2(d.largest <= 1, qPrintable(QStringLiteral("off by up to %1").arg(d.largest)));
}

// Our HaldCLUT of an unedited sheet is an identity to ImageMagick's -hald-clut.
void TestSheetLut::imageMagickReadsOurHald()
{
    if (!QFile::exists(Convert))
        QSKIP("ImageMagick is not installed (scripts/ensure-packages installs it)");
    const QString made = path(QStringLiteral("2025.png"));
    QCOMPARE(sheet({"make", "2025", made}).exitCode, 0);
    const QString hald = path(QStringLiteral("hald.png"));
    const Result result = sheet({"lut", made, "--mode", "2025", "-o", hald});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QCOMPARE(QImage(hald).size(), QSize(512, 512));
    const QString out = path(QStringLiteral("out.png"));
    QCOMPARE(runProgram(Convert, {path(QStringLiteral("picture.png")), hald, "-hald-clut", "-depth", "8", "PNG24:" + out})
                 .exitCode,
             0);
    const Difference d = differenceOf(QImage(out), testPicture());
    QVERIFY2(d.pixels == 0, qPrintable(QStringLiteral("%1 pixels differ, by up to %2").arg(d.pixels).arg(d.largest)));
}

// A bad table stops apply with status 2 and one line naming the file and
// the line, and no output file.
void TestSheetLut::malformedCubeFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("where");
    QTest::newRow("size 257") << QByteArray("# big\nLUT_3D_SIZE 257\n") << "bad.cube: line 2: ";
    QTest::newRow("comma") << QByteArray("LUT_3D_SIZE 2\n0 0 0\n0,5 0 0\n") << "bad.cube: line 3: ";
    QTest::newRow("short") << QByteArray("TITLE \"t\"\nLUT_3D_SIZE 2\n0 0 0\n") << "bad.cube: line 3: ";
}

void TestSheetLut::malformedCubeFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, where);
    QVERIFY(writeAll(path(QStringLiteral("bad.cube")), text));
    const QString out = path(QStringLiteral("never.png"));
    const Result result = sheet({"apply", path(QStringLiteral("bad.cube")), path(QStringLiteral("picture.png")), out});
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(where.toUtf8()) && result.err.count('\n') == 1, result.err.constData());
    QVERIFY(!QFile::exists(out));
}

// A 16-bit picture with alpha comes out 16-bit in PNG and TIFF, every level
// graded (here inverted by a hand-written 1D table) and its alpha as it was.
void TestSheetLut::deepPicturesAndAlphaKept_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("PNG") << "png";
    QTest::newRow("TIFF") << "tif";
}

void TestSheetLut::deepPicturesAndAlphaKept()
{
    QFETCH(QString, extension);
    QImage picture(64, 32, QImage::Format_RGBA64);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixelColor(x, y, QColor::fromRgba64(quint16(x * 1009 + 3), quint16(y * 2003 + 1),
                                                           quint16(x * y * 31), quint16(65535 - x * 997)));
    const QString in = path(QStringLiteral("deep.png"));
    QVERIFY(picture.save(in));
    QVERIFY(writeAll(path(QStringLiteral("invert.cube")), "LUT_1D_SIZE 2\n1 1 1\n0 0 0\n"));
    const QString out = path(QStringLiteral("deep-out.") + extension);
    const Result result = sheet({"apply", path(QStringLiteral("invert.cube")), in, out});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QImage graded(out);
    QCOMPARE(graded.depth(), 64);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgba64 before = picture.pixelColor(x, y).rgba64();
            const QRgba64 after = graded.pixelColor(x, y).rgba64();
            QCOMPARE(after.red(), quint16(65535 - before.red()));
            QCOMPARE(after.blue(), quint16(65535 - before.blue()));
            QCOMPARE(after.alpha(), before.alpha());
        }
}

// The tables a user gets wrong: a picture whose size is both a sheet's and
// a HaldCLUT's taken for the one it is nearer to (and the same result as
// when told), lossy tables warned of, a sheet of the wrong size named,
// names that say another format, swapped arguments, a picture too wide for
// JPEG. The edited tables are graded by ImageMagick.
void TestSheetLut::tablesAUserMistakes_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" is the test's folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // part of the one line on stderr
    QTest::addColumn<QStringList>("told"); // options that give the same picture silently

    const QStringList graded16 {"apply", "@/graded-16million.png", "@/picture.png", "@/out.png"};
    QTest::newRow("graded 16million, no --mode")
        << graded16 << 0 << "graded-16million.png is 4096x4096: taken as an edited 16million sheet; --mode or "
                            "--format hald says which." << QStringList {"--mode", "16million"};
    QTest::newRow("graded 729, no --mode") << QStringList {"apply", "@/graded-729.png", "@/picture.png", "@/out.png"}
                                           << 0 << "taken as an edited 729 sheet" << QStringList {"--mode", "729"};
    // Its hue turned a quarter round: nearer the 729 sheet than the HaldCLUT of level 3.
    QTest::newRow("729 with its hue turned, no --mode")
        << QStringList {"apply", "@/hue-729.png", "@/picture.png", "@/out.png"} << 0 << "taken as an edited 729 sheet"
        << QStringList {"--mode", "729"};
    QTest::newRow("graded HaldCLUT of level 8, no --format")
        << QStringList {"apply", "@/graded-hald8.png", "@/picture.png", "@/out.png"} << 0
        << "graded-hald8.png is 512x512: taken as a HaldCLUT of level 8" << QStringList {"--format", "hald"};
    QTest::newRow("graded HaldCLUT of level 3, no --format")
        << QStringList {"apply", "@/graded-hald3.png", "@/picture.png", "@/out.png"} << 0
        << "taken as a HaldCLUT of level 3" << QStringList {"--format", "hald"};
    QTest::newRow("64kilo, a sheet's size only")
        << QStringList {"apply", "@/64kilo.png", "@/picture.png", "@/out.png"} << 0
        << "64kilo.png is 256x256, the 64kilo sheet's size: taken as an edited 64kilo sheet" << QStringList {"--mode", "64kilo"};
    QTest::newRow("edited sheet saved as JPEG")
        << QStringList {"apply", "@/graded-16million.jpg", "@/picture.png", "@/out.png", "--mode", "16million"} << 0
        << "graded-16million.jpg was saved with lossy compression: the result cannot be exact" << QStringList {};
    QTest::newRow("edited sheet saved as lossy WebP, lut")
        << QStringList {"lut", "@/64kilo.webp", "--mode", "64kilo", "-o", "@/out.cube"} << 0
        << "64kilo.webp was saved with lossy compression" << QStringList {};
    QTest::newRow("sheet of another mode")
        << QStringList {"apply", "@/64kilo.png", "@/picture.png", "@/out.png", "--mode", "16kilo"} << 2
        << "64kilo.png is 256x256: the 64kilo sheet's size, not the 16kilo sheet's (128x128); give --mode 64kilo"
        << QStringList {};
    QTest::newRow("resized sheet") << QStringList {"apply", "@/resized.png", "@/picture.png", "@/out.png", "--mode",
                                                   "64kilo"}
                                   << 2 << "resized.png is 300x300, the size of no sheet: it looks resized"
                                   << QStringList {};
    QTest::newRow("resized sheet, lut") << QStringList {"lut", "@/resized.png", "--mode", "64kilo", "-o",
                                                        "@/out.cube"}
                                        << 2 << "it looks resized" << QStringList {};
    QTest::newRow("HaldCLUT named .cube")
        << QStringList {"lut", "@/64kilo.png", "--mode", "64kilo", "--format", "hald", "-o", "@/out.cube"} << 2
        << "out.cube is no name for a HaldCLUT" << QStringList {};
    QTest::newRow("cube named .png")
        << QStringList {"lut", "@/64kilo.png", "--mode", "64kilo", "--format", "cube", "-o", "@/out.png"} << 2
        << "out.png is no name for a .cube file" << QStringList {};
    QTest::newRow("picture before the table")
        << QStringList {"apply", "@/picture.png", "@/identity.cube", "@/out.png"} << 2
        << "identity.cube is a look-up table, not a picture: the table comes first" << QStringList {};
    QTest::newRow("JPEG wider than libjpeg writes")
        << QStringList {"apply", "@/identity.cube", "@/wide.png", "@/out.jpg"} << 2
        << "A JPEG picture is at most 65500 pixels wide and high" << QStringList {};
}

void TestSheetLut::tablesAUserMistakes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QStringList, told);
    if (!QFile::exists(Convert))
        QSKIP("ImageMagick is not installed (scripts/ensure-packages installs it)");
    // The tables, made once.
    if (!QFile::exists(path(QStringLiteral("wide.png")))) {
        const auto convert = [this](const QStringList &arguments) {
            QStringList withPaths = arguments;
            for (QString &argument : withPaths)
                argument.replace(QLatin1Char('@'), dir_.path());
            return runProgram(Convert, withPaths).exitCode == 0;
        };
        QCOMPARE(sheet({"make", "729", path(QStringLiteral("729.png"))}).exitCode, 0);
        QCOMPARE(sheet({"make", "64kilo", path(QStringLiteral("64kilo.png"))}).exitCode, 0);
        QVERIFY(convert({"@/16million.png", "-modulate", "110,130,95", "-depth", "8", "PNG24:@/graded-16million.png"}));
        QVERIFY(convert({"@/graded-16million.png", "-quality", "92", "@/graded-16million.jpg"}));
        QVERIFY(convert({"@/729.png", "-gamma", "1.6", "-depth", "8", "PNG24:@/graded-729.png"}));
        QVERIFY(convert({"@/729.png", "-modulate", "100,100,150", "-depth", "8", "PNG24:@/hue-729.png"}));
        QVERIFY(convert({"hald:8", "-modulate", "110,130,95", "-depth", "8", "PNG24:@/graded-hald8.png"}));
        QVERIFY(convert({"hald:3", "-gamma", "1.6", "-depth", "8", "PNG24:@/graded-hald3.png"}));
        QVERIFY(convert({"@/64kilo.png", "-quality", "80", "@/64kilo.webp"}));
        QVERIFY(convert({"@/64kilo.png", "-resize", "300x300!", "@/resized.png"}));
        QVERIFY(writeAll(path(QStringLiteral("identity.cube")), "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n"));
        QImage wide(65501, 2, QImage::Format_RGB32);
        wide.fill(QColor(200, 100, 50));
        QVERIFY(wide.save(path(QStringLiteral("wide.png"))));
    }
    for (QString &argument : arguments)
        argument.replace(QLatin1Char('@'), dir_.path());
    const QString out = arguments.filter(QStringLiteral("/out.")).constFirst();
    QFile::remove(out);

    const Result result = sheet(arguments);
    QVERIFY2(result.exitCode == exitCode, result.err.constData());
    QVERIFY2(result.err.count('\n') == 1 && QString::fromUtf8(result.err).contains(said), result.err.constData());
    QCOMPARE(QFile::exists(out), exitCode == 0);
    if (told.isEmpty())
        return;
    // Told what the table is, apply grades the same, and says nothing.
    const QString toldOut = path(QStringLiteral("told.png"));
    const Result toldResult = sheet(arguments.mid(0, 3) + QStringList {toldOut} + told);
    QVERIFY2(toldResult.exitCode == 0 && toldResult.err.isEmpty(), toldResult.err.constData());
    const Difference d = differenceOf(QImage(out), QImage(toldOut));
    QVERIFY2(d.pixels == 0, qPrintable(QStringLiteral("%1 pixels differ, by up to %2").arg(d.pixels).arg(d.largest)));
}

QTEST_GUILESS_MAIN(TestSheetLut)
#include "tst_sheetlut.moc"
