// tintwell-sheet's commands, called in this process for their results; the
// built program in its own process for what only a process shows (exit
// status, standard streams, standard input, a file size limit). What it
// writes is checked against the sheets' by-position formulas and a BMP file
// made by hand, not against the program's own census.

#include "FileTesting.h"
#include "MemoryHost.h"
#include "SheetFormulas.h"
#include "SheetPicture.h"

#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"
#include "platform/PictureFile.h"
#include "platform/SafeSave.h"
#include "sheet/SheetCommands.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRgba64>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <array>
#include <cerrno>
#include <csignal>
#include <set>

#include <sys/resource.h>

using namespace FileTesting;

namespace {

constexpr std::array<int, 8> DistinctColours = {16'777'216, 1'048'576, 262'144, 57'344, 16'384, 4096, 2025, 729};

// ImageMagick and ffmpeg by path: a stand-in of the same name may come first on PATH.
const QString Convert = QStringLiteral("/usr/bin/convert");
const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the command line in this process, on buffers for standard output
// and standard error.
Result runHere(const QStringList &arguments)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = SheetCommands::Run(QStringList {QStringLiteral("tintwell-sheet")} + arguments, out, err);
    return {status, out.data(), err.data()};
}

// Runs the built tintwell-sheet; `fileSizeLimit` (bytes) caps what it may
// write to any file, as a disk filling up does; `output` takes its standard
// output instead of a pipe. A run that does not end by itself, or ends by a
// signal, gives exit code -1.
Result runProcess(const QStringList &arguments, const QByteArray &input = {}, rlim_t fileSizeLimit = 0,
                  const QString &output = {})
{
    QProcess process;
    if (fileSizeLimit > 0) {
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
            rlimit limit {fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.start(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QString describe(const QStringList &arguments, const Result &result)
{
    return QStringLiteral("tintwell-sheet %1: exit %2, stderr: %3")
        .arg(arguments.join(QLatin1Char(' ')))
        .arg(result.exitCode)
        .arg(QString::fromLocal8Bit(result.err));
}

// The first pixel whose colour is not the mode's, as text; empty when all are.
QString firstWrongPixel(const QImage &picture, int mode)
{
    const int n = SheetFormulas::CanvasSize[std::size_t(mode)];
    if (picture.size() != QSize(n, n))
        return QStringLiteral("size %1x%2").arg(picture.width()).arg(picture.height());
    for (int y = 0; y < n; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < n; ++x) {
            const QRgb expected = ToRgb32(SheetFormulas::Colour(mode, x, y));
            if ((row[x] & 0xFFFFFFu) != (expected & 0xFFFFFFu))
                return QStringLiteral("(%1, %2) is %3, not %4").arg(x).arg(y).arg(row[x], 0, 16).arg(expected, 0, 16);
        }
    }
    return {};
}

// The sheet as the window's Save writes it: a run through the generator,
// then PictureFile::SavePicture of the canvas.
QByteArray savedByTheWindow(int mode, const QString &fileName)
{
    MemoryHost host;
    host.mode = mode;
    SheetGenerator generator(host);
    generator.Start(host.inputs());
    return PictureFile::SavePicture(CanvasImage(host.canvas), fileName) ? readAll(fileName)
                                                                                        : QByteArray();
}

enum Prepared {
    Nothing,
    TextFile,    // "picture.png" holds a line of text
    EmptyFile,   // "picture.png" is empty
    Folder,      // "picture.png" is a folder
    TruncatedBmp,
    TruncatedPng,
    HugePngHeader, // PNG headers claiming 100000 x 100000 pixels, and 12000 x 12000 at 16 bits
    HugeBmpHeader, // a BMP header claiming 10000 x 10000 pixels
    OldFile,     // "sheet.bmp" and "sheet.png" hold an earlier file
    Picture,     // "picture.bmp" holds the 64kilo sheet
    CommitFails, // as OldFile, and the new file's last step, taking the old one's place, fails
    SyncFails,   // as OldFile, and the written file cannot be synced to disk
};

// Where a command line runs: here, or as a process (standard input, a file
// size limit), its standard output a pipe or the full device.
enum Where { Here, AsProcess, OutputFull };

// The 54 bytes of a BMP file's headers for width x height pixels at 24 bits
// a pixel, uncompressed, 72 dpi.
QByteArray bmpHeader(int width, int height)
{
    QByteArray bytes(54, '\0');
    auto *p = reinterpret_cast<uchar *>(bytes.data());
    const quint32 imageBytes = (quint32(width) * 3 + 3) / 4 * 4 * quint32(height);
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(54 + imageBytes, p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    qToLittleEndian<quint32>(imageBytes, p + 34);
    qToLittleEndian<qint32>(2835, p + 38);
    qToLittleEndian<qint32>(2835, p + 42);
    return bytes;
}

// The BMP file of the mode's sheet, made here byte by byte: the headers,
// then the rows bottom-up as blue, green, red, padded with zeros to four bytes.
QByteArray handMadeBmp(int mode)
{
    const int n = SheetFormulas::CanvasSize[std::size_t(mode)];
    const qsizetype rowBytes = (qsizetype(n) * 3 + 3) / 4 * 4;
    QByteArray bytes = bmpHeader(n, n) + QByteArray(rowBytes * n, '\0');
    auto *pixels = reinterpret_cast<uchar *>(bytes.data()) + 54;
    for (int row = 0; row < n; ++row) {
        uchar *to = pixels + row * rowBytes;
        for (int x = 0; x < n; ++x, to += 3) {
            const ColorValue colour = SheetFormulas::Colour(mode, x, n - 1 - row);
            to[0] = uchar(BlueOf(colour));
            to[1] = uchar(GreenOf(colour));
            to[2] = uchar(RedOf(colour));
        }
    }
    return bytes;
}

// The CRC-32 of PNG chunks (and zlib), bit by bit.
quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const QByteArray body = QByteArray(type) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// For as long as it lives, a save into `folder` fails at its last steps:
// with CommitFails, once the new file is written the folder is moved away,
// so the new file can no longer take the old one's place (a removable disk
// pulled, another program moving the folder), and it comes back when this
// ends; with SyncFails, the disk reports an error when the file is synced.
class CommitFailure
{
public:
    CommitFailure(Prepared prepared, const QString &folder) : folder_(folder), away_(folder + QStringLiteral(".away"))
    {
        if (prepared == CommitFails)
            SafeSave::SetBeforeCommit([this](const QString &) { moved_ = QDir().rename(folder_, away_); });
        if (prepared == SyncFails)
            SafeSave::SetSync([](int) {
                errno = EIO;
                return -1;
            });
    }
    ~CommitFailure()
    {
        SafeSave::SetBeforeCommit({});
        SafeSave::SetSync({});
        if (moved_)
            QDir().rename(away_, folder_);
    }
    CommitFailure(const CommitFailure &) = delete;
    CommitFailure &operator=(const CommitFailure &) = delete;

private:
    QString folder_;
    QString away_;
    bool moved_ = false;
};

} // namespace

class tst_Sheet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void makeEveryModeAndCensusIt_data();
    void makeEveryModeAndCensusIt();
    void bmpIsWhatSaveWrites_data();
    void bmpIsWhatSaveWrites();
    void censusOfAChangedSheet_data();
    void censusOfAChangedSheet();
    void censusOfSeveralPictures();
    void censusDiffAndMissing();
    void censusFindsAnySheet_data();
    void censusFindsAnySheet();
    void jsonSaysWhatTheLinesSay_data();
    void jsonSaysWhatTheLinesSay();
    void locate_data();
    void locate();
    void modes();
    void badInput_data();
    void badInput();
    void completionOffersTheDeclarations_data();
    void completionOffersTheDeclarations();
    void manualNamesTheDeclaredOptions_data();
    void manualNamesTheDeclaredOptions();
    void allocationLimitIsTheLastByteAllowed_data();
    void allocationLimitIsTheLastByteAllowed();

private:
    QTemporaryDir folder_;
};

void tst_Sheet::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("tintwell-sheet"));
    QVERIFY(folder_.isValid());
    QVERIFY2(QFile::exists(QStringLiteral(TINTWELL_SHEET_PROGRAM)), TINTWELL_SHEET_PROGRAM);
}

void tst_Sheet::makeEveryModeAndCensusIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("modeArgument");
    QTest::addColumn<QString>("format");

    for (const char *format : {"bmp", "png"}) {
        for (int mode = 0; mode < Sheets::Count; ++mode) {
            // By name in one format, by index in the other.
            const QString byName = QString::fromLatin1(Sheets::All[std::size_t(mode)].name.data());
            const QString argument = QByteArray(format) == "bmp" ? byName : QString::number(mode);
            QTest::addRow("%s %s", Sheets::All[std::size_t(mode)].name.data(), format)
                << mode << argument << QString::fromLatin1(format);
        }
    }
    QTest::newRow("256kilo, the usual spelling") << 2 << QStringLiteral("256kilo") << QStringLiteral("png");
}

void tst_Sheet::makeEveryModeAndCensusIt()
{
    QFETCH(int, mode);
    QFETCH(QString, modeArgument);
    QFETCH(QString, format);

    const QString fileName = folder_.filePath(QStringLiteral("sheet%1.%2").arg(mode).arg(format));
    const QStringList make {QStringLiteral("make"), modeArgument, fileName};
    const Result made = runHere(make);
    QVERIFY2(made.exitCode == 0, qPrintable(describe(make, made)));
    QVERIFY(made.out.isEmpty());
    QVERIFY(made.err.isEmpty());

    // The file holds the sheet, pixel for pixel, read by Qt.
    const QByteArray bytes = readAll(fileName);
    QImage picture;
    QVERIFY(picture.loadFromData(bytes, qPrintable(format)));
    QCOMPARE(firstWrongPixel(picture.convertToFormat(QImage::Format_RGB32), mode), QString());
    if (format == QLatin1String("png")) {
        // IHDR: 8 bits a channel, colour type 2 (RGB, no alpha).
        QCOMPARE(bytes.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(int(uchar(bytes[24])), 8);
        QCOMPARE(int(uchar(bytes[25])), 2);
    }

    const QStringList census {QStringLiteral("census"), fileName, QStringLiteral("--mode"), modeArgument};
    const Result counted = runHere(census);
    QVERIFY2(counted.exitCode == 0, qPrintable(describe(census, counted)));
    const int n = SheetFormulas::CanvasSize[std::size_t(mode)];
    const QString expected = QStringLiteral("size: %1x%1\npixels: %2\ndistinct: %3\ndepth: 8\n"
                                            "differing pixels: 0\nmissing colours: 0\nextra colours: 0\n"
                                            "max channel difference: 0\nmean channel difference: 0.0000\n"
                                            "PSNR: inf dB\nmean dE2000: 0.0000\nmax dE2000: 0.0000\n"
                                            "within 1 level: 100.00 %\nwithin 2 levels: 100.00 %\n"
                                            "within 4 levels: 100.00 %\n")
                                 .arg(n)
                                 .arg(n * n)
                                 .arg(DistinctColours[std::size_t(mode)]);
    QCOMPARE(QString::fromLatin1(counted.out), expected);
    QVERIFY(counted.err.isEmpty());
}

void tst_Sheet::bmpIsWhatSaveWrites_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("writer");

    QTest::newRow("64kilo, replacing a file") << 3 << "make";
    QTest::newRow("2025, rows padded") << 6 << "make";
    QTest::newRow("16million") << 0 << "make";
    QTest::newRow("729 to standard output") << 7 << "make -";
    QTest::newRow("1million to standard output") << 1 << "make -";
    QTest::newRow("the window's Save, 2025") << 6 << "Save";
    QTest::newRow("the window's Save, 16million") << 0 << "Save";
}

// make and the window's Save write the same bytes, those of a BMP file made by hand.
void tst_Sheet::bmpIsWhatSaveWrites()
{
    QFETCH(int, mode);
    QFETCH(QString, writer);

    const QString fileName = folder_.filePath(QStringLiteral("made.bmp"));
    QVERIFY(writeAll(fileName, "an earlier picture"));
    QByteArray written;
    if (writer == QLatin1String("Save")) {
        written = savedByTheWindow(mode, fileName);
    } else if (writer == QLatin1String("make -")) {
        // Binary on standard output: only a process shows it.
        const QStringList arguments {QStringLiteral("make"), QString::number(mode), QStringLiteral("-")};
        const Result made = runProcess(arguments);
        QVERIFY2(made.exitCode == 0, qPrintable(describe(arguments, made)));
        written = made.out;
    } else {
        const QStringList arguments {QStringLiteral("make"), QString::number(mode), fileName};
        const Result made = runHere(arguments);
        QVERIFY2(made.exitCode == 0, qPrintable(describe(arguments, made)));
        written = readAll(fileName);
    }
    const QByteArray expected = handMadeBmp(mode);
    QCOMPARE(written.size(), expected.size());
    QCOMPARE(written.left(54).toHex(' '), expected.left(54).toHex(' '));
    QVERIFY(written == expected);
}

void tst_Sheet::censusOfAChangedSheet_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected");

    // (10, 20) of 64kilo is a colour the sheet holds once.
    QTest::newRow("one pixel a colour of no sheet") << 3 << "pixel 010203" << "png" << 1
        << "size: 256x256\npixels: 65536\ndistinct: 57344\ndepth: 8\n"
           "differing pixels: 1\nmissing colours: 1\nextra colours: 1\n";
    QTest::newRow("one pixel another colour of the sheet") << 3 << "pixel 000d00" << "bmp" << 1
        << "size: 256x256\npixels: 65536\ndistinct: 57343\ndepth: 8\n"
           "differing pixels: 1\nmissing colours: 1\nextra colours: 0\n";
    QTest::newRow("the 16million sheet with one pixel changed") << 0 << "pixel 000000" << "png" << 1
        << "size: 4096x4096\npixels: 16777216\ndistinct: 16777215\ndepth: 8\n"
           "differing pixels: 1\nmissing colours: 1\nextra colours: 0\n";
    QTest::newRow("cropped by a column") << 7 << "crop" << "bmp" << 1
        << "size: 26x27\npixels: 702\ndistinct: 702\ndepth: 8\n"
           "differing pixels: 27\nmissing colours: 27\nextra colours: 0\n";
    QTest::newRow("a screenshot with an alpha channel") << 5 << "alpha" << "png" << 0
        << "size: 64x64\npixels: 4096\ndistinct: 4096\ndepth: 8\n"
           "differing pixels: 0\nmissing colours: 0\nextra colours: 0\n";
    QTest::newRow("16 bits a channel") << 6 << "16 bits" << "png" << 0
        << "size: 45x45\npixels: 2025\ndistinct: 2025\ndepth: 16\n"
           "differing pixels: 0\nmissing colours: 0\nextra colours: 0\n";
}

void tst_Sheet::censusOfAChangedSheet()
{
    QFETCH(int, mode);
    QFETCH(QString, change);
    QFETCH(QString, format);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);

    QImage picture = SheetPicture(mode);
    if (change.startsWith(QLatin1String("pixel ")))
        picture.setPixel(10, 20, 0xFF000000u | change.mid(6).toUInt(nullptr, 16));
    else if (change == QLatin1String("crop"))
        picture = picture.copy(0, 0, picture.width() - 1, picture.height());
    else if (change == QLatin1String("alpha"))
        picture = picture.convertToFormat(QImage::Format_ARGB32);
    else if (change == QLatin1String("16 bits"))
        picture = picture.convertToFormat(QImage::Format_RGBX64);
    const QString fileName = folder_.filePath(QStringLiteral("changed.") + format);
    QVERIFY(picture.save(fileName, qPrintable(format)));
    if (change == QLatin1String("alpha"))
        QCOMPARE(int(uchar(readAll(fileName)[25])), 6); // RGBA
    if (change == QLatin1String("16 bits"))
        QCOMPARE(int(uchar(readAll(fileName)[24])), 16);

    const QStringList census {QStringLiteral("census"), fileName, QStringLiteral("--mode"), QString::number(mode)};
    const Result counted = runHere(census);
    QVERIFY2(counted.exitCode == exitCode, qPrintable(describe(census, counted)));
    // The counts, then the measures, which tst_census checks.
    const QString out = QString::fromLatin1(counted.out);
    QCOMPARE(out.section(QLatin1Char('\n'), 0, 6) + QLatin1Char('\n'), expected);
    QCOMPARE(out.count(QLatin1Char('\n')), 15);
    // Measured where the two overlap: the cropped sheet is exact there.
    QCOMPARE(out.contains(QLatin1String("\nPSNR: inf dB\n")), exitCode == 0 || change == QLatin1String("crop"));
    QVERIFY(counted.err.isEmpty());

    // Without a mode there is nothing to fail: the counts, exit 0.
    const Result plain = runHere({QStringLiteral("census"), fileName});
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(QString::fromLatin1(plain.out), expected.section(QLatin1Char('\n'), 0, 3) + QLatin1Char('\n'));
}

void tst_Sheet::censusOfSeveralPictures()
{
    const QImage sheet = SheetPicture(7);
    const QString exact = folder_.filePath(QStringLiteral("exact.png"));
    QVERIFY(sheet.save(exact));
    // At 16 bits, (1, 0) takes the colour of (0, 0) with one more in the
    // low byte of red: the same colour at 8 bits, another at 16.
    QImage deep = sheet.convertToFormat(QImage::Format_RGBX64);
    QRgba64 first = reinterpret_cast<const QRgba64 *>(deep.constScanLine(0))[0];
    first.setRed(first.red() + 1);
    reinterpret_cast<QRgba64 *>(deep.scanLine(0))[1] = first;
    const QString deepName = folder_.filePath(QStringLiteral("deep.png"));
    QVERIFY(deep.save(deepName));
    QCOMPARE(int(uchar(readAll(deepName)[24])), 16);
    // A screenshot holding the sheet at scale 2, and one without it.
    QImage shot(100, 80, QImage::Format_RGB32);
    shot.fill(QColor(40, 44, 52));
    {
        QPainter painter(&shot);
        painter.drawImage(QRect(13, 7, 54, 54), sheet.scaled(54, 54));
    }
    const QString shotName = folder_.filePath(QStringLiteral("shot.png"));
    QVERIFY(shot.save(shotName));
    shot.fill(QColor(40, 44, 52));
    const QString emptyName = folder_.filePath(QStringLiteral("empty.png"));
    QVERIFY(shot.save(emptyName));

    const QStringList census {QStringLiteral("census"), exact, deepName, shotName, emptyName, QStringLiteral("--mode"),
                              QStringLiteral("729")};
    const Result counted = runHere(census);
    QVERIFY2(counted.exitCode == 1, qPrintable(describe(census, counted)));
    const QStringList blocks = QString::fromLatin1(counted.out).split(QLatin1String("file: "), Qt::SkipEmptyParts);
    QCOMPARE(blocks.size(), 4);
    QVERIFY2(blocks[0].startsWith(exact + QLatin1Char('\n')) && blocks[0].contains(QLatin1String("\nPSNR: inf dB\n")),
             qPrintable(blocks[0]));
    QVERIFY2(blocks[1].contains(QLatin1String("\ndistinct: 729\ndepth: 16\ndiffering pixels: 1\n"))
                 && blocks[1].contains(QLatin1String("\nmissing colours: 1\nextra colours: 1\n"))
                 && blocks[1].contains(QLatin1String("\nmax channel difference: 32.0000\n")),
             qPrintable(blocks[1]));
    QVERIFY2(blocks[2].contains(QLatin1String("\noffset: 13 7\nscale: 2\nsize: 54x54\n"))
                 && blocks[2].contains(QLatin1String("\ndiffering pixels: 0\n")),
             qPrintable(blocks[2]));
    QVERIFY2(blocks[3].contains(QLatin1String("\nsheet not found: closest at offset ")), qPrintable(blocks[3]));
    // The status is that of the worst file, whichever comes last.
    const Result lastExact = runHere({QStringLiteral("census"), deepName, exact, QStringLiteral("--mode"),
                                      QStringLiteral("729")});
    QCOMPARE(lastExact.exitCode, 1);

    // Told where the sheet lies: no search; a place the sheet does not fit is an error.
    const Result told = runHere({QStringLiteral("census"), shotName, QStringLiteral("--mode"), QStringLiteral("729"),
                                 QStringLiteral("--at"), QStringLiteral("13,7,2")});
    QCOMPARE(told.exitCode, 0);
    QVERIFY(told.out.startsWith("offset: 13 7\nscale: 2\nsize: 54x54\n"));
    const Result toldAny = runHere({QStringLiteral("census"), shotName, QStringLiteral("--mode"), QStringLiteral("auto"),
                                    QStringLiteral("--at"), QStringLiteral("13,7,2")});
    QCOMPARE(toldAny.exitCode, 0);
    QVERIFY(toldAny.out.startsWith("mode: 729\noffset: 13 7\nscale: 2\nsize: 54x54\n"));
    const Result outside = runHere({QStringLiteral("census"), shotName, QStringLiteral("--mode"),
                                    QStringLiteral("729"), QStringLiteral("--at"), QStringLiteral("50,7,2")});
    QCOMPARE(outside.exitCode, 2);
    QVERIFY2(outside.err.contains("does not fit in the 100x80 picture"), outside.err.constData());

    // Without a mode the deep picture is counted at its own depth.
    const Result plain = runHere({QStringLiteral("census"), deepName});
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(QString::fromLatin1(plain.out), QStringLiteral("size: 27x27\npixels: 729\ndistinct: 729\ndepth: 16\n"));
}

// Screenshots made by ImageMagick (and a frame of an H.264 recording by
// ffmpeg): a desktop gradient, a light window just above and behind the sheet,
// the sheet 1:1 or scaled; census --mode auto names the sheet and its place.
void tst_Sheet::censusFindsAnySheet_data()
{
    QTest::addColumn<int>("mode"); // -1: no sheet at all
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QSize>("shot");
    QTest::addColumn<QString>("path"); // png, jpeg (quality 90), h264, flopped (mirrored: no sheet), beside 729

    const QSize small(640, 400);
    QTest::newRow("1million 1:1") << 1 << 1 << QPoint(400, 30) << QSize(1500, 1080) << "png";
    QTest::newRow("256killo 1:1") << 2 << 1 << QPoint(37, 21) << QSize(800, 600) << "png";
    QTest::newRow("256killo x2") << 2 << 2 << QPoint(5, 3) << QSize(1100, 1060) << "png";
    QTest::newRow("64kilo 1:1, JPEG 90") << 3 << 1 << QPoint(301, 77) << small << "jpeg";
    QTest::newRow("64kilo x3") << 3 << 3 << QPoint(100, 11) << QSize(900, 800) << "png";
    QTest::newRow("16kilo x4") << 4 << 4 << QPoint(60, 40) << QSize(600, 560) << "png";
    QTest::newRow("4096 1:1") << 5 << 1 << QPoint(2, 300) << small << "png";
    QTest::newRow("4096 x2, JPEG 90") << 5 << 2 << QPoint(333, 99) << small << "jpeg";
    QTest::newRow("2025 x3") << 6 << 3 << QPoint(17, 9) << small << "png";
    QTest::newRow("729 1:1") << 7 << 1 << QPoint(600, 370) << small << "png";
    QTest::newRow("729 x4, JPEG 90") << 7 << 4 << QPoint(211, 150) << small << "jpeg";
    // Once placed a row low: the codec smears the light frame into the
    // sheet's top row.
    QTest::newRow("64kilo, H.264 4:2:0 frame") << 3 << 1 << QPoint(813, 301) << QSize(1920, 1080) << "h264";
    // A crop a few pixels off: the sheet shifted, partly outside.
    QTest::newRow("64kilo cropped 3, 2 off") << 3 << 1 << QPoint(3, 2) << QSize(256, 256) << "cropped";
    QTest::newRow("2025 cropped -5, -4 off") << 6 << 1 << QPoint(-5, -4) << QSize(45, 45) << "cropped";
    // Colours changed a lot match a shifted smooth sheet a little better
    // than their own place: still at its own place.
    QTest::newRow("64kilo through gamma 0.8, its own size") << 3 << 1 << QPoint(0, 0) << QSize(256, 256) << "gamma";
    QTest::newRow("64kilo mirrored") << 3 << 1 << QPoint(100, 50) << small << "flopped";
    // Two sheets, both exact: the larger is the one measured.
    QTest::newRow("2025 beside 729") << 6 << 1 << QPoint(40, 200) << small << "beside 729";
    QTest::newRow("no sheet") << -1 << 1 << QPoint() << small << "png";
}

void tst_Sheet::censusFindsAnySheet()
{
    QFETCH(int, mode);
    QFETCH(int, scale);
    QFETCH(QPoint, at);
    QFETCH(QSize, shot);
    QFETCH(QString, path);
    if (!QFile::exists(Convert) || !QFile::exists(Ffmpeg))
        QSKIP("ImageMagick or ffmpeg is not installed (scripts/ensure-packages installs them)");

    const QString sheetName = folder_.filePath(QStringLiteral("any-sheet.png"));
    const QString shotName = folder_.filePath(path == QLatin1String("jpeg") ? QStringLiteral("any-shot.jpg")
                                                                            : QStringLiteral("any-shot.png"));
    QStringList convert {QStringLiteral("-size"), QStringLiteral("%1x%2").arg(shot.height()).arg(shot.width()),
                         QStringLiteral("gradient:#203040-#a0b0c0"), QStringLiteral("-rotate"), QStringLiteral("90"),
                         QStringLiteral("-fill"), QStringLiteral("#e8e8e8"), QStringLiteral("-draw"),
                         QStringLiteral("rectangle %1,%2 %3,%4").arg(at.x() - 33).arg(at.y() - 60).arg(at.x() + 366).arg(at.y() - 1),
                         QStringLiteral("-fill"), QStringLiteral("#f0f0f0"), QStringLiteral("-draw"),
                         QStringLiteral("rectangle %1,%2 %3,%4").arg(at.x() - 33).arg(at.y() - 21).arg(at.x() + 366).arg(at.y() + 278)};
    if (mode >= 0) {
        QVERIFY(SheetPicture(mode).save(sheetName));
        convert << QStringLiteral("(") << sheetName << QStringLiteral("-scale") << QStringLiteral("%1%").arg(scale * 100);
        if (path == QLatin1String("flopped"))
            convert << QStringLiteral("-flop");
        convert << QStringLiteral(")") << QStringLiteral("-geometry")
                << QStringLiteral("%1%2%3%4")
                       .arg(at.x() < 0 ? "" : "+")
                       .arg(at.x())
                       .arg(at.y() < 0 ? "" : "+")
                       .arg(at.y())
                << QStringLiteral("-composite");
    }
    if (path == QLatin1String("beside 729")) {
        const QString small = folder_.filePath(QStringLiteral("any-729.png"));
        QVERIFY(SheetPicture(7).save(small));
        convert << small << QStringLiteral("-geometry") << QStringLiteral("+%1+%2").arg(at.x() + 100).arg(at.y())
                << QStringLiteral("-composite");
    }
    if (path == QLatin1String("gamma"))
        convert << QStringLiteral("-gamma") << QStringLiteral("0.8");
    if (path == QLatin1String("jpeg"))
        convert << QStringLiteral("-quality") << QStringLiteral("90") << shotName;
    else
        convert << QStringLiteral("PNG24:") + shotName;
    QProcess process;
    process.start(Convert, convert);
    QVERIFY(process.waitForFinished(60'000) && process.exitCode() == 0);
    if (path == QLatin1String("h264")) {
        const QString video = folder_.filePath(QStringLiteral("any-shot.mp4"));
        process.start(Ffmpeg, {"-v", "error", "-y", "-i", shotName, "-vf", "scale=out_color_matrix=bt709,format=yuv420p",
                               "-c:v", "libx264", "-crf", "18", "-frames:v", "1", video});
        QVERIFY(process.waitForFinished(60'000) && process.exitCode() == 0);
        process.start(Ffmpeg, {"-v", "error", "-y", "-i", video, "-vf", "scale=in_color_matrix=bt709,format=rgb24",
                               "-frames:v", "1", shotName});
        QVERIFY(process.waitForFinished(60'000) && process.exitCode() == 0);
    }

    const QStringList census {QStringLiteral("census"), shotName, QStringLiteral("--mode"), QStringLiteral("auto")};
    const Result counted = runHere(census);
    const QString out = QString::fromLatin1(counted.out);
    if (mode < 0 || path == QLatin1String("flopped")) {
        QVERIFY2(counted.exitCode == 1 && out.contains(QLatin1String("\nsheet not found: closest "))
                     && out.contains(QLatin1String("\nsearched: 1:1 and scales 2 to 4 (nearest neighbour)"))
                     && out.contains(QLatin1String("smooth or fractional scaling is not searched\n")),
                 qPrintable(describe(census, counted) + out));
        return;
    }
    const int side = Sheets::All[std::size_t(mode)].size;
    QString expected = at.isNull() && shot == QSize(side, side)
                           ? QStringLiteral("mode: %1\nsize: ").arg(QString::fromLatin1(Sheets::All[std::size_t(mode)].name.data()))
                           : QStringLiteral("mode: %1\noffset: %2 %3\n")
                                 .arg(QString::fromLatin1(Sheets::All[std::size_t(mode)].name.data()))
                                 .arg(at.x())
                                 .arg(at.y());
    if (scale > 1)
        expected += QStringLiteral("scale: %1\n").arg(scale);
    QVERIFY2(out.startsWith(expected), qPrintable(describe(census, counted) + out));
    QCOMPARE(counted.exitCode, path == QLatin1String("png") || path == QLatin1String("beside 729") ? 0 : 1);
}

void tst_Sheet::censusDiffAndMissing()
{
    // A black square over 64kilo: the diff is black outside it, and the
    // colours listed missing lie inside it.
    QImage picture = SheetPicture(3);
    const QRect square(100, 50, 10, 10);
    for (int y = square.top(); y <= square.bottom(); ++y)
        for (int x = square.left(); x <= square.right(); ++x)
            picture.setPixel(x, y, 0xFF000000u);
    const QString fileName = folder_.filePath(QStringLiteral("square.bmp"));
    QVERIFY(picture.save(fileName));
    const QString diffName = folder_.filePath(QStringLiteral("diff.png"));
    const QStringList census {QStringLiteral("census"), fileName, QStringLiteral("--mode"), QStringLiteral("64kilo"),
                              QStringLiteral("--diff"), diffName, QStringLiteral("--missing=5")};
    const Result counted = runHere(census);
    QVERIFY2(counted.exitCode == 1, qPrintable(describe(census, counted)));
    const QStringList lines = QString::fromLatin1(counted.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(QLatin1String("differing pixels: 100")), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^diff scale: 1 level = \\d+\\.\\d{4}$"))).size() == 1);
    const QStringList missing = lines.filter(QRegularExpression(QStringLiteral("^[0-9A-F]{6} \\d+ \\d+$")));
    QCOMPARE(missing.size(), 5);
    for (const QString &line : missing) {
        const QStringList fields = line.split(QLatin1Char(' '));
        const QPoint place(fields[1].toInt(), fields[2].toInt());
        QVERIFY2(square.contains(place), qPrintable(line));
        QCOMPARE(fields[0].toUInt(nullptr, 16), ToRgb32(SheetFormulas::Colour(3, place.x(), place.y())) & 0xFFFFFFu);
    }

    // A diff that cannot be written is an error, told with its reason.
    const QString nowhere = folder_.filePath(QStringLiteral("missing/diff.png"));
    const Result unwritten = runHere({QStringLiteral("census"), fileName, QStringLiteral("--mode"),
                                      QStringLiteral("64kilo"), QStringLiteral("--diff"), nowhere});
    QCOMPARE(unwritten.exitCode, 2);
    QVERIFY2(unwritten.err.contains(QFile::encodeName(nowhere) + ": No such file or directory"),
             unwritten.err.constData());

    const QImage diff(diffName);
    QCOMPARE(diff.size(), QSize(256, 256));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            QVERIFY2((qGray(diff.pixel(x, y)) == 0) != square.contains(x, y), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
}

// --json against the text lines of the same command: every `name: value`
// line is a key in snake_case ("PSNR: 25.73 dB" is psnr_db) holding the
// same value as a number, [x, y] or text; rows are an array.
void tst_Sheet::jsonSaysWhatTheLinesSay_data()
{
    QTest::addColumn<QStringList>("arguments"); // @/ is the test folder

    QTest::newRow("census of a JPEG, --missing")
        << QStringList {"census", "@/json.jpg", "--mode", "64kilo", "--missing=3", "--diff", "@/json-diff.png",
                        "--worst", "4"};
    QTest::newRow("census --mode auto, scale 2") << QStringList {"census", "@/json-shot.png", "--mode", "auto"};
    QTest::newRow("census finding nothing") << QStringList {"census", "@/json-flat.png", "--mode", "auto"};
    QTest::newRow("census, only counted") << QStringList {"census", "@/json.jpg"};
    QTest::newRow("census of two files")
        << QStringList {"census", "@/json-shot.png", "@/json.jpg", "--mode", "4096"};
    QTest::newRow("census of a file that is not there")
        << QStringList {"census", "@/json-shot.png", "@/nothing.png", "--mode", "auto"};
    QTest::newRow("locate") << QStringList {"locate", "64kilo", "90FF20"};
    QTest::newRow("locate, not held") << QStringList {"locate", "4096", "FF0102"};
    QTest::newRow("modes") << QStringList {"modes"};
}

void tst_Sheet::jsonSaysWhatTheLinesSay()
{
    QFETCH(QStringList, arguments);
    if (!QFile::exists(Convert))
        QSKIP("ImageMagick is not installed (scripts/ensure-packages installs it)");
    const QString sheetName = folder_.filePath(QStringLiteral("json-sheet.png"));
    if (!QFile::exists(sheetName)) {
        QVERIFY(SheetPicture(3).save(sheetName));
        QVERIFY(SheetPicture(5).save(folder_.filePath(QStringLiteral("json-4096.png"))));
        const QList<QStringList> pictures {
            {sheetName, "-quality", "80", folder_.filePath(QStringLiteral("json.jpg"))},
            {"-size", "300x200", "xc:#4060a0", "(", folder_.filePath(QStringLiteral("json-4096.png")), "-scale",
             "200%", ")", "-geometry", "+31+17", "-composite", "PNG24:" + folder_.filePath(QStringLiteral("json-shot.png"))},
            {"-size", "300x200", "xc:#4060a0", "PNG24:" + folder_.filePath(QStringLiteral("json-flat.png"))}};
        for (const QStringList &convert : pictures) {
            QProcess process;
            process.start(Convert, convert);
            QVERIFY(process.waitForFinished(60'000) && process.exitCode() == 0);
        }
    }
    arguments.replaceInStrings(QStringLiteral("@/"), folder_.path() + QLatin1Char('/'));

    const Result text = runHere(arguments);
    const Result json = runHere(arguments + QStringList {QStringLiteral("--json")});
    QCOMPARE(json.exitCode, text.exitCode);
    QCOMPARE(json.err, text.err);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString() + json.out));
    const QStringList lines = QString::fromLatin1(text.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

    if (arguments[0] == QLatin1String("modes")) {
        QCOMPARE(document.array().size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject mode = document.array()[i].toObject();
            const QStringList fields = lines[i].split(QLatin1Char(' '));
            if (mode["index"].isNull()) {
                const QJsonArray size = mode["size"].toArray();
                QCOMPARE(QStringList({QStringLiteral("-"), mode["name"].toString(),
                                      QStringLiteral("%1x%2").arg(size[0].toInt()).arg(size[1].toInt())}),
                         fields.mid(0, 3));
                continue;
            }
            QCOMPARE(QStringList({QString::number(mode["index"].toInt()), mode["name"].toString(),
                                  QStringLiteral("%1x%1").arg(mode["size"].toInt()),
                                  QStringLiteral("%1x%1").arg(mode["tile"].toInt()),
                                  QString::number(mode["colours"].toInteger())}),
                     fields.mid(0, 5));
            for (const char *channel : {"red", "green", "blue"})
                QVERIFY(lines[i].contains(QStringLiteral("(%1)").arg(mode[channel].toArray().size())));
        }
        return;
    }
    if (arguments[0] == QLatin1String("locate")) {
        QStringList places;
        for (const QJsonValue place : document.object()["places"].toArray())
            places << QStringLiteral("%1 %2").arg(place[0].toInt()).arg(place[1].toInt());
        QCOMPARE(places, lines);
        if (text.exitCode == 1)
            QVERIFY(text.err.contains(document.object()["nearest_held"].toString().toLatin1()));
        return;
    }

    // census: one object, or one for each file after its file: line.
    QList<QJsonObject> objects;
    if (document.isArray()) {
        for (const QJsonValue value : document.array())
            objects << value.toObject();
    } else {
        objects << document.object();
    }
    qsizetype next = -1;
    qsizetype rows = 0;
    qsizetype worst = 0;
    QList<QSet<QString>> seen(objects.size());
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        if (line.startsWith(QLatin1String("file: "))) {
            ++next;
            QCOMPARE(objects[next]["file"].toString(), line.mid(6));
            continue;
        }
        const QJsonObject &object = objects[std::max<qsizetype>(next, 0)];
        if (colon < 0 && line.count(QLatin1Char(' ')) == 2) { // RRGGBB X Y, a colour missing
            const QJsonObject row = object["missing"].toArray()[rows++].toObject();
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(row["colour"].toString()).arg(row["x"].toInt()).arg(row["y"].toInt()),
                     line);
            continue;
        }
        if (colon < 0) { // X Y SHEET CAPTURED dE, a worst place
            const QJsonObject row = object["worst"].toArray()[worst++].toObject();
            QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(row["x"].toInt())
                         .arg(row["y"].toInt())
                         .arg(row["sheet"].toString(), row["captured"].toString())
                         .arg(row["de2000"].toDouble(), 0, 'f', 4),
                     line);
            continue;
        }
        QString name = line.left(colon);
        QString value = line.mid(colon + 2);
        if (value.endsWith(QLatin1String(" dB"))) {
            name += QLatin1String(" dB");
            value.chop(3);
        } else if (value.endsWith(QLatin1String(" %"))) {
            name += QLatin1String(" percent");
            value.chop(2);
        }
        const QString key = name.toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
        QVERIFY2(object.contains(key), qPrintable(key));
        seen[std::max<qsizetype>(next, 0)].insert(key);
        const QJsonValue held = object[key];
        QString shown;
        if (held.isArray())
            shown = QStringLiteral("%1%2%3")
                        .arg(held[0].toInt())
                        .arg(key == QLatin1String("size") ? QLatin1Char('x') : QLatin1Char(' '))
                        .arg(held[1].toInt());
        else if (held.isNull())
            shown = QStringLiteral("inf");
        else if (held.isString())
            shown = held.toString();
        else if (held.isObject()) // sheet not found: closest MODE at offset X Y scale S, ...
            shown = QStringLiteral("closest %1at offset %2 %3 scale %4, mean channel difference %5")
                        .arg(held["mode"].isString() ? held["mode"].toString() + QLatin1Char(' ') : QString())
                        .arg(held["offset"][0].toInt())
                        .arg(held["offset"][1].toInt())
                        .arg(held["scale"].toInt())
                        .arg(held["mean_channel_difference"].toDouble(), 0, 'f', 4);
        else {
            const qsizetype point = value.lastIndexOf(QLatin1Char('.'));
            shown = QString::number(held.toDouble(), 'f', point < 0 ? 0 : int(value.size() - point - 1));
            if (key == QLatin1String("diff_scale"))
                shown.prepend(QStringLiteral("1 level = "));
        }
        QCOMPARE(shown, value);
    }
    // Nothing more in JSON than in the lines.
    for (qsizetype i = 0; i < objects.size(); ++i) {
        QStringList keys = objects[i].keys();
        keys.removeAll(QStringLiteral("file"));
        keys.removeAll(QStringLiteral("error"));
        if (rows > 0 || objects[i].contains(QLatin1String("missing")))
            keys.removeAll(QStringLiteral("missing"));
        if (worst > 0)
            keys.removeAll(QStringLiteral("worst"));
        QCOMPARE(keys.size(), seen[i].size());
    }
}

void tst_Sheet::locate_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("places");
    QTest::addColumn<QString>("nearest"); // the nearest colour held, for one not held

    // Green 255 in the three bottom-right tiles of 64kilo.
    QTest::newRow("64kilo, three places") << "64kilo" << "90ff20" << 0 << "100 200\n164 200\n228 200\n" << "";
    QTest::newRow("# and capitals") << "3" << "#90FF20" << 0 << "100 200\n164 200\n228 200\n" << "";
    QTest::newRow("16million, once") << "16million" << "2ca01f" << 0 << "300 4000\n" << "";
    QTest::newRow("729, the top-left corner") << "729" << "000000" << 0 << "0 0\n" << "";
    // Levels in steps of 17; green of 16kilo four apart up to 252.
    QTest::newRow("4096 holds no colour off its levels") << "4096" << "010209" << 1 << "" << "000011";
    QTest::newRow("16kilo never has green 255") << "16kilo" << "00ff00" << 1 << "" << "00FC00";
    QTest::newRow("64kilo, one blue level off") << "64kilo" << "90ff21" << 1 << "" << "90FF20";
}

void tst_Sheet::locate()
{
    QFETCH(QString, mode);
    QFETCH(QString, colour);
    QFETCH(int, exitCode);
    QFETCH(QString, places);
    QFETCH(QString, nearest);

    const QStringList arguments {QStringLiteral("locate"), mode, colour};
    const Result found = runHere(arguments);
    QVERIFY2(found.exitCode == exitCode, qPrintable(describe(arguments, found)));
    QCOMPARE(QString::fromLatin1(found.out), places);
    // Not found: one line on stderr says so, naming the nearest colour held.
    QCOMPARE(found.err.count('\n'), exitCode == 0 ? 0 : 1);
    if (!nearest.isEmpty())
        QVERIFY2(found.err.contains(("the nearest colour it holds is " + nearest).toLatin1()), found.err.constData());
}

// The levels a "modes" line gives for a channel: "0..254 step 2 (128)" or
// "0,2,4,6,9 (5)"; empty when the text is neither or the count is not theirs.
std::set<int> parsedLevels(const QString &range, const QString &count)
{
    std::set<int> levels;
    const QStringList ends = range.split(QStringLiteral(".."));
    if (ends.size() == 2) {
        const QStringList lastAndStep = ends[1].split(QStringLiteral(" step "));
        if (lastAndStep.size() != 2 || lastAndStep[1].toInt() <= 0)
            return {};
        for (int level = ends[0].toInt(); level <= lastAndStep[0].toInt(); level += lastAndStep[1].toInt())
            levels.insert(level);
    } else {
        for (const QString &level : range.split(QLatin1Char(',')))
            levels.insert(level.toInt());
    }
    if (count != QStringLiteral("(%1)").arg(levels.size()))
        return {};
    return levels;
}

void tst_Sheet::modes()
{
    const Result listed = runHere({QStringLiteral("modes")});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY(listed.err.isEmpty());
    const QStringList lines = QString::fromLatin1(listed.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), Sheets::Count + 1);
    QCOMPARE(lines.last(), QStringLiteral("- deep 3840x2160 8x8 16-bit BT.2020 pq|hlg|sdr lattice 33^3 ramps 1024 fine 4096"));
    // index name NxN WxW colours r LEVELS g LEVELS b LEVELS
    static const QRegularExpression line(QStringLiteral(
        "^(\\d) (\\w+) (\\d+x\\d+) (\\d+x\\d+) (\\d+) r ([^ ]+(?: step \\d+)?) (\\(\\d+\\)) "
        "g ([^ ]+(?: step \\d+)?) (\\(\\d+\\)) b ([^ ]+(?: step \\d+)?) (\\(\\d+\\))$"));
    for (int mode = 0; mode < Sheets::Count; ++mode) {
        const QRegularExpressionMatch fields = line.match(lines[mode]);
        QVERIFY2(fields.hasMatch(), qPrintable(lines[mode]));
        const int n = SheetFormulas::CanvasSize[std::size_t(mode)];
        const int w = SheetFormulas::TileSize[std::size_t(mode)];
        QCOMPARE(fields.captured(1).toInt(), mode);
        QCOMPARE(fields.captured(2), QString::fromLatin1(Sheets::All[std::size_t(mode)].name.data()));
        QCOMPARE(fields.captured(3), QStringLiteral("%1x%1").arg(n));
        QCOMPARE(fields.captured(4), QStringLiteral("%1x%1").arg(w));
        QCOMPARE(fields.captured(5).toInt(), DistinctColours[std::size_t(mode)]);

        // Every level of every channel the drawn sheet holds, and no other.
        std::array<std::set<int>, 3> held;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const ColorValue colour = SheetFormulas::Colour(mode, x, y);
                held[0].insert(RedOf(colour));
                held[1].insert(GreenOf(colour));
                held[2].insert(BlueOf(colour));
            }
        }
        for (int channel = 0; channel < 3; ++channel)
            QVERIFY2(parsedLevels(fields.captured(6 + 2 * channel), fields.captured(7 + 2 * channel)) == held[channel],
                     qPrintable(QStringLiteral("channel %1 of: %2").arg("rgb"[channel]).arg(lines[mode])));
    }
}

void tst_Sheet::badInput_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" stands for the test's folder
    QTest::addColumn<int>("prepared");
    QTest::addColumn<int>("where");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<QString>("reason"); // a part of the one line on stderr

    const auto row = [](const char *name, QStringList arguments, Prepared prepared, QString reason,
                        Where where = Here, int fileSizeLimit = 0) {
        QTest::newRow(name) << arguments << int(prepared) << int(where) << fileSizeLimit << reason;
    };
    row("unknown mode", {"make", "8", "@/sheet.bmp"}, Nothing, "Unknown mode '8'");
    row("unknown mode to compare with", {"census", "@/picture.png", "--mode", "1milion"}, TextFile,
        "Unknown mode '1milion'");
    row("colour of five digits", {"locate", "64kilo", "90ff2"}, Nothing, "Malformed colour '90ff2'");
    row("colour with a letter past f", {"locate", "64kilo", "#90fg20"}, Nothing, "Malformed colour");
    row("colour with a prefix 0x", {"locate", "64kilo", "0x90ff20"}, Nothing, "Malformed colour");
    row("no such file", {"census", "@/nothing.png"}, Nothing, "No such file or directory");
    row("a folder", {"census", "@/picture.png"}, Folder, "It is a folder");
    row("an empty file", {"census", "@/picture.png"}, EmptyFile, "The file is empty");
    row("not a picture", {"census", "@/picture.png"}, TextFile, "not a picture in a format Qt reads");
    row("empty standard input", {"census", "-"}, Nothing, "Standard input is empty", AsProcess);
    row("truncated BMP", {"census", "@/truncated.bmp"}, TruncatedBmp, "truncated");
    row("truncated PNG", {"census", "@/truncated.png"}, TruncatedPng, "truncated");
    row("PNG header claiming 100000x100000", {"census", "@/huge.png"}, HugePngHeader, "allocation limit");
    // 1.1 GB once decoded at 16 bits a channel (at 8 it would fit).
    row("16-bit PNG header claiming 12000x12000", {"census", "@/deep.png"}, HugePngHeader,
        "allocation limit of 1024 MB");
    // Within the limit: read, and found to end early.
    row("BMP header claiming 10000x10000", {"census", "@/huge.bmp"}, HugeBmpHeader, "truncated");
    row("make without a file", {"make", "729"}, Nothing, "make needs a MODE and a FILE");
    row("deep sheet of an unknown transfer", {"make", "deep", "@/deep.png", "--transfer", "st2084"}, Nothing,
        "Unknown transfer 'st2084': give pq, hlg or sdr");
    row("deep sheet of no white", {"make", "deep", "@/deep.png", "--white", "0"}, Nothing, "Malformed white '0'");
    row("deep sheet as BMP", {"make", "deep", "@/deep.bmp"}, Nothing, "written as 16-bit PNG");
    row("deep clip of 11 bits", {"make", "deep", "@/deep.mkv", "--bits", "11"}, Nothing, "give --bits 10 or 12");
    row("deep MP4 of 12 bits", {"make", "deep", "@/deep.mp4", "--bits", "12"}, Nothing, "an .mp4 clip 10");
    row("a transfer for an 8-bit sheet", {"make", "729", "@/a.png", "--transfer", "pq"}, Nothing,
        "--transfer is for the deep sheet");
    row("locate without a colour", {"locate", "729"}, Nothing, "locate needs a MODE and a COLOUR");
    row("too many arguments", {"make", "729", "@/a.bmp", "@/b.bmp"}, Nothing,
        "Too many arguments: make takes a MODE and a FILE, not also '@/b.bmp'");
    row("modes with an argument", {"modes", "729"}, Nothing, "modes takes no arguments");
    row("a negative number", {"make", "-1"}, Nothing, "'-1' is a negative number, not an option");
    row("a negative number last", {"locate", "729", "-1"}, Nothing, "'-1' is a negative number, not an option");
    row("a negative mode to compare with", {"census", "@/picture.png", "--mode", "-1"}, TextFile,
        "Unknown mode '-1'");
    row("no command", {}, Nothing, "Give a command");
    row("unknown command", {"draw", "729"}, Nothing, "Unknown command 'draw'");
    row("misspelt command with --help", {"diagnos", "--help"}, Nothing, "Unknown command 'diagnos'");
    row("unknown option", {"make", "729", "@/sheet.bmp", "--colour"}, Nothing, "Unknown option 'colour'");
    row("another command's option", {"locate", "729", "000000", "--format", "png"}, Nothing,
        "Unknown option 'format'");
    row("no format in the name", {"make", "729", "@/sheet.jpg"}, Nothing, "Cannot tell the format");
    row("unknown format", {"make", "729", "@/sheet.bmp", "--format", "gif"}, Nothing, "Unknown format 'gif'");
    row("a folder to write", {"make", "729", "@"}, Nothing, "Could not save the picture to @: It is a folder");
    row("BMP into a missing folder", {"make", "729", "@/missing/sheet.bmp"}, Nothing, "No such file or directory");
    row("PNG into a missing folder", {"make", "729", "@/missing/sheet.png"}, Nothing, "No such file or directory");
    row("BMP named as a folder", {"make", "729", "@/picture.png", "--format", "bmp"}, Folder,
        "@/picture.png: It is a folder");
    row("PNG named as a folder", {"make", "729", "@/picture.png"}, Folder, "@/picture.png: It is a folder");
    row("BMP on a full device", {"make", "729", "/dev/full", "--format", "bmp"}, Nothing,
        "No space left on device");
    row("PNG on a full device", {"make", "729", "/dev/full", "--format", "png"}, Nothing,
        "No space left on device");
    // The disk fills up after 8 KB; the earlier file stays as it was.
    row("disk fills up, BMP", {"make", "1million", "@/sheet.bmp"}, OldFile, "File too large", AsProcess, 8 * 1024);
    row("disk fills up, PNG", {"make", "1million", "@/sheet.png"}, OldFile, "File too large", AsProcess, 8 * 1024);
    // Everything written, the last step fails: no success, the earlier file kept.
    row("the new BMP cannot take the old one's place", {"make", "729", "@/sheet.bmp"}, CommitFails,
        "Could not save the picture to @/sheet.bmp: No such file or directory");
    row("the new PNG cannot take the old one's place", {"make", "729", "@/sheet.png"}, CommitFails,
        "Could not save the picture to @/sheet.png: No such file or directory");
    row("the new BMP cannot be synced to disk", {"make", "729", "@/sheet.bmp"}, SyncFails,
        "Could not save the picture to @/sheet.bmp: Input/output error");
    // Results that cannot be written are an error, not an answer.
    const QString fullOutput = QStringLiteral("Could not write to standard output: No space left on device");
    row("modes to a full standard output", {"modes"}, Nothing, fullOutput, OutputFull);
    row("locate to a full standard output", {"locate", "64kilo", "90ff20"}, Nothing, fullOutput, OutputFull);
    row("census to a full standard output", {"census", "@/picture.bmp"}, Picture, fullOutput, OutputFull);
    row("census --mode to a full standard output", {"census", "@/picture.bmp", "--mode", "729"}, Picture, fullOutput,
        OutputFull);
    row("census --json to a full standard output", {"census", "@/picture.bmp", "--mode", "auto", "--json"}, Picture,
        fullOutput, OutputFull);
    row("modes --json to a full standard output", {"modes", "--json"}, Nothing, fullOutput, OutputFull);
    row("--mode auto --at where no sheet fits", {"census", "@/picture.bmp", "--mode", "auto", "--at", "240,240"}, Picture,
        "No sheet fits at 240,240 at scale 1");
    row("--worst 0", {"census", "@/picture.bmp", "--mode", "729", "--worst", "0"}, Picture, "Malformed count '0'");
    row("--worst without a mode", {"census", "@/picture.bmp", "--worst", "3"}, Picture, "give --mode too");
    row("help to a full standard output", {"--help"}, Nothing, fullOutput, OutputFull);
    row("lut to a full standard output", {"lut", "@/picture.bmp", "--mode", "64kilo", "-o", "-"}, Picture,
        "standard output: No space left on device", OutputFull);
    row("HaldCLUT to a full standard output", {"lut", "@/picture.bmp", "--mode", "64kilo", "--format", "hald", "-o", "-"},
        Picture, "standard output: No space left on device", OutputFull);
    row("make to a full standard output", {"make", "729", "-"}, Nothing,
        "Could not save the picture to standard output: No space left on device", OutputFull);
    // The graded picture and diagnose's table are written whole or not at all.
    // The graded sheet is an 819-byte PNG.
    row("apply, disk fills up", {"apply", "@/picture.bmp", "@/picture.bmp", "@/out.png", "--mode", "64kilo"}, Picture,
        "Could not save the picture to @/out.png: File too large", AsProcess, 512);
    row("apply into a missing folder",
        {"apply", "@/picture.bmp", "@/picture.bmp", "@/missing/out.png", "--mode", "64kilo"}, Picture,
        "No such file or directory");
    row("lut, disk fills up", {"lut", "@/picture.bmp", "--mode", "64kilo", "-o", "@/out.cube"}, Picture,
        "@/out.cube: File too large", AsProcess, 8 * 1024);
    row("HaldCLUT, disk fills up", {"lut", "@/picture.bmp", "--mode", "64kilo", "-o", "@/out.png"}, Picture,
        "@/out.png: File too large", AsProcess, 8 * 1024);
    row("diagnose --fix into a missing folder", {"diagnose", "@/picture.bmp", "--fix", "@/missing/fix.cube"}, Picture,
        "@/missing/fix.cube: No such file or directory");
    row("diagnose --fix, disk fills up", {"diagnose", "@/picture.bmp", "--fix", "@/fix.cube"}, Picture,
        "@/fix.cube: File too large", AsProcess, 8 * 1024);
}

void tst_Sheet::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, prepared);
    QFETCH(int, where);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, reason);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (QString &argument : arguments)
        argument.replace(QLatin1Char('@'), folder.path());
    reason.replace(QLatin1Char('@'), folder.path());

    const QByteArray oldFile = "an earlier picture";
    const QByteArray bmp = savedByTheWindow(3, folder.filePath(QStringLiteral("whole.bmp")));
    QByteArray png;
    {
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(SheetPicture(3).save(&buffer, "png"));
    }
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("whole.bmp"))));
    QByteArray hugePng = QByteArray("\x89PNG\r\n\x1a\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(100'000, header.data());
    qToBigEndian<quint32>(100'000, header.data() + 4);
    header[8] = 8; // bits a channel
    header[9] = 2; // RGB
    const QByteArray noData = pngChunk("IDAT", QByteArray::fromHex("789c030000000001"));
    QByteArray deepPng = hugePng;
    hugePng += pngChunk("IHDR", header) + noData;
    qToBigEndian<quint32>(12'000, header.data());
    qToBigEndian<quint32>(12'000, header.data() + 4);
    header[8] = 16;
    deepPng += pngChunk("IHDR", header) + noData;

    switch (Prepared(prepared)) {
    case Nothing:
        break;
    case TextFile:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("picture.png")), "a line of text\n"));
        break;
    case EmptyFile:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("picture.png")), {}));
        break;
    case Folder:
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("picture.png/inside")));
        break;
    case TruncatedBmp:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("truncated.bmp")), bmp.left(bmp.size() * 2 / 3)));
        break;
    case TruncatedPng:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("truncated.png")), png.left(png.size() / 2)));
        break;
    case HugePngHeader:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("huge.png")), hugePng));
        QVERIFY(writeAll(folder.filePath(QStringLiteral("deep.png")), deepPng));
        break;
    case HugeBmpHeader:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("huge.bmp")),
                         bmpHeader(10'000, 10'000) + QByteArray(4096, '\x40')));
        break;
    case OldFile:
    case CommitFails:
    case SyncFails:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("sheet.bmp")), oldFile));
        QVERIFY(writeAll(folder.filePath(QStringLiteral("sheet.png")), oldFile));
        break;
    case Picture:
        QVERIFY(writeAll(folder.filePath(QStringLiteral("picture.bmp")), bmp));
        break;
    }
    const QStringList before = entries(folder.path());
    Result result;
    if (where == Here) {
        const CommitFailure commitFailure(Prepared(prepared), folder.path());
        result = runHere(arguments);
    } else {
        result = runProcess(arguments, {}, rlim_t(fileSizeLimit),
                            where == OutputFull ? QStringLiteral("/dev/full") : QString());
    }
    const QString failure = describe(arguments, result);
    QVERIFY2(result.exitCode == 2, qPrintable(failure));
    QVERIFY2(result.out.isEmpty(), qPrintable(failure));
    // One line, naming the program, with the reason.
    QVERIFY2(result.err.startsWith("tintwell-sheet: "), qPrintable(failure));
    QVERIFY2(result.err.endsWith('\n') && result.err.count('\n') == 1, qPrintable(failure));
    QVERIFY2(QString::fromLocal8Bit(result.err).contains(reason), qPrintable(failure));
    // No partial file, no temporary file, nothing replaced.
    QCOMPARE(entries(folder.path()), before);
    if (prepared == OldFile || prepared == CommitFails || prepared == SyncFails) {
        QCOMPARE(readAll(folder.filePath(QStringLiteral("sheet.bmp"))), oldFile);
        QCOMPARE(readAll(folder.filePath(QStringLiteral("sheet.png"))), oldFile);
    }
}

namespace {

// What the shell's completion offers in a place that takes `takes`, in a
// folder holding only picture.png.
QStringList offerFor(Takes takes, const char *words = nullptr)
{
    QStringList modes {QStringLiteral("256kilo")};
    for (const Sheet &sheet : Sheets::All)
        modes << QString::fromLatin1(sheet.name.data(), qsizetype(sheet.name.size()));
    switch (takes) {
    case Takes::Text: return {};
    case Takes::File: return {QStringLiteral("picture.png")};
    case Takes::Mode: return modes;
    case Takes::ModeOrAuto: return modes << QStringLiteral("auto");
    case Takes::ModeOrDeep: return modes << QStringLiteral("deep");
    case Takes::Word: return QString::fromLatin1(words).split(QLatin1Char(' '));
    }
    return {};
}

} // namespace

// The shell's completion, run by bash, offers what the commands declare:
// every command, each command's options, what each option's value and each
// argument takes, and after an option's value the argument that comes next.
void tst_Sheet::completionOffersTheDeclarations_data()
{
    QTest::addColumn<QStringList>("words"); // the last one is being completed
    QTest::addColumn<QStringList>("offered");

    QStringList names;
    for (const SheetCommand &command : SheetCommands::Commands()) {
        const QString name = command.name;
        names << name;
        QStringList long_ {QStringLiteral("--help"), QStringLiteral("--version")};
        for (const CommandOption &option : command.options)
            long_ << QStringLiteral("--") + QLatin1String(option.name);
        QTest::addRow("%s --", qPrintable(name)) << QStringList {name, QStringLiteral("--")} << long_;

        QStringList before {name};
        for (const CommandArgument &argument : command.arguments) {
            QTest::addRow("%s %s", qPrintable(name), qPrintable(argument.name))
                << (QStringList(before) << QString()) << offerFor(argument.takes);
            before << QStringLiteral("x");
        }
        const QStringList first = command.arguments.isEmpty() ? QStringList() : offerFor(command.arguments[0].takes);
        for (const CommandOption &option : command.options) {
            if (!option.takesValue())
                continue;
            for (const QString &optionName : option.names()) {
                const QString dashed = (optionName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + optionName;
                QTest::addRow("%s %s", qPrintable(name), qPrintable(dashed))
                    << QStringList {name, dashed, QString()} << offerFor(option.takes, option.words);
                // `make --seconds 5 <Tab>`: the value is no argument.
                QTest::addRow("%s %s VALUE", qPrintable(name), qPrintable(dashed))
                    << QStringList {name, dashed, QStringLiteral("5"), QString()} << first;
            }
        }
    }
    QTest::newRow("commands") << QStringList {QString()} << names;
}

void tst_Sheet::completionOffersTheDeclarations()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    QTemporaryDir folder;
    QVERIFY(writeAll(folder.filePath(QStringLiteral("picture.png")), "a picture"));
    QStringList quoted {QStringLiteral("tintwell-sheet")};
    for (const QString &word : words)
        quoted << QLatin1Char('\'') + word + QLatin1Char('\'');
    const QString script = QStringLiteral("source '%1' && COMP_WORDS=(%2) && COMP_CWORD=%3 && _tintwell_sheet && "
                                          "printf '%s\\n' \"${COMPREPLY[@]}\"")
                               .arg(QStringLiteral(TINTWELL_COMPLETION), quoted.join(QLatin1Char(' ')))
                               .arg(words.size());
    QProcess bash;
    bash.setWorkingDirectory(folder.path());
    bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), script});
    QVERIFY(bash.waitForFinished());
    QCOMPARE(bash.readAllStandardError(), QByteArray());
    QStringList got = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    got.sort();
    offered.sort();
    QCOMPARE(got, offered);
}

// The manual page names each command's options in its synopsis, and
// describes every option under OPTIONS: no more, no fewer than declared.
void tst_Sheet::manualNamesTheDeclaredOptions_data()
{
    QTest::addColumn<QString>("section"); // a line that opens it; it ends at .br or .SH
    QTest::addColumn<QStringList>("options");

    QStringList all {QStringLiteral("-h"), QStringLiteral("--help"), QStringLiteral("-v"), QStringLiteral("--version")};
    for (const SheetCommand &command : SheetCommands::Commands()) {
        QStringList options;
        for (const CommandOption &option : command.options)
            for (const QString &name : option.names())
                options << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QTest::addRow("%s", qPrintable(command.name))
            << QStringLiteral(".B tintwell\\-sheet ") + command.name << options;
        all << options;
    }
    all.removeDuplicates();
    QTest::newRow("OPTIONS") << QStringLiteral(".SH OPTIONS") << all;
}

void tst_Sheet::manualNamesTheDeclaredOptions()
{
    QFETCH(QString, section);
    QFETCH(QStringList, options);
    const QStringList lines = QString::fromUtf8(readAll(QStringLiteral(TINTWELL_MANUAL))).split(QLatin1Char('\n'));
    const qsizetype start = lines.indexOf(section);
    QVERIFY2(start >= 0, qPrintable(section));
    // "\-\-format", "\-o", "\fR, \fP\-\-output"
    static const QRegularExpression option(QStringLiteral(R"((?:^|[ "P])((?:\\-){1,2}[a-z]+(?:\\-[a-z]+)*))"));
    QStringList named;
    for (qsizetype i = start + 1; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line == QLatin1String(".br") || line.startsWith(QLatin1String(".SH")))
            break;
        if (section.startsWith(QLatin1String(".SH")) && !(i > 0 && lines[i - 1] == QLatin1String(".TP")))
            continue; // only the items' heads
        for (const QRegularExpressionMatch &match : option.globalMatch(line))
            named << match.captured(1).remove(QLatin1Char('\\'));
    }
    named.removeDuplicates();
    named.sort();
    options.sort();
    QCOMPARE(named, options);
}

void tst_Sheet::allocationLimitIsTheLastByteAllowed_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("exitCode");
    // 512 pixels of four bytes: 2 KB a row, so 512 rows are 1 MB exactly.
    QTest::newRow("exactly 1 MB decoded") << 512 << 0;
    QTest::newRow("a row more than 1 MB") << 513 << 2;
}

void tst_Sheet::allocationLimitIsTheLastByteAllowed()
{
    QFETCH(int, height);
    QFETCH(int, exitCode);
    QImage picture(512, height, QImage::Format_RGB32);
    picture.fill(QColor(10, 20, 30));
    const QString fileName = folder_.filePath(QStringLiteral("limit.png"));
    QVERIFY(picture.save(fileName));
    qputenv("QT_IMAGEIO_MAXALLOC", "1");
    const Result counted = runHere({QStringLiteral("census"), fileName});
    qunsetenv("QT_IMAGEIO_MAXALLOC");
    QVERIFY2(counted.exitCode == exitCode, counted.err.constData());
    QCOMPARE(counted.err.contains("allocation limit of 1 MB"), exitCode == 2);
}

QTEST_GUILESS_MAIN(tst_Sheet)

#include "tst_sheet.moc"
