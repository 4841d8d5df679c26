#include "platform/PictureFile.h"
#include "platform/SafeSave.h"

#include "FileTesting.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace FileTesting;

namespace {

// A colour for every pixel up to 4096 x 4096 that no other pixel has: red and
// green are the low bytes of x and y, blue holds their high nibbles, mixed
// with the low bytes so that small pictures get a varied blue too.
QRgb patternAt(int x, int y)
{
    const int red = x & 0xFF;
    const int green = y & 0xFF;
    const int blue = (((x >> 8) << 4) | (y >> 8)) ^ ((x * 7 + y * 3) & 0xFF);
    return qRgb(red, green, blue);
}

// Wraps the pixels in `buffer` the way the window wraps the canvas.
QImage patternImage(int width, int height, std::vector<quint32> &buffer)
{
    buffer.resize(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            buffer[std::size_t(y) * std::size_t(width) + std::size_t(x)] = patternAt(x, y);
    return QImage(reinterpret_cast<const uchar *>(buffer.data()), width, height, width * 4, QImage::Format_RGB32);
}

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

qint32 les32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<qint32>(bytes.constData() + at);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

mode_t nodeType(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// Takes away the write permission of a folder for as long as it lives.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &path) : path_(QFile::encodeName(path))
    {
        locked_ = ::chmod(path_.constData(), 0555) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (locked_)
            ::chmod(path_.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    bool locked() const { return locked_; }

private:
    QByteArray path_;
    bool locked_ = false;
};

// Root writes wherever it likes whatever the permission bits say; for as long
// as this lives the process acts as the unprivileged user "nobody" (65534),
// and permissions count as they do for the program's real users.
class ActAsNobody
{
public:
    ActAsNobody()
    {
        if (::geteuid() != 0)
            return;
        if (::setegid(65534) != 0)
            return;
        if (::seteuid(65534) != 0) {
            if (::setegid(0) != 0)
                qFatal("could not take back the root group");
            return;
        }
        switched_ = true;
    }
    ~ActAsNobody()
    {
        // The tests after this one would otherwise run as somebody else.
        if (switched_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            qFatal("could not become root again");
    }
    ActAsNobody(const ActAsNobody &) = delete;
    ActAsNobody &operator=(const ActAsNobody &) = delete;

    // True when the permission bits now bind this process.
    bool bound() const { return switched_ || ::geteuid() != 0; }

private:
    bool switched_ = false;
};

// Caps the size any file of this process may reach, as a disk filling up
// does; writing past it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit previous_ {};
    void (*previousHandler_)(int) = SIG_DFL;
};

enum Trouble {
    FolderReadOnly,
    FolderAndFileReadOnly,
    FolderMissing,
    NameIsFolder,
    FullDevice,
    NamedPipe,
    DiskFillsUp,
    FolderMovedBeforeCommit,
};

} // namespace

class tst_PictureFile : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void replacesExistingFile();
    void replacesInPlaceInReadOnlyFolder();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
};

void tst_PictureFile::layout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("format");

    QTest::newRow("27x27, three padding bytes") << 27 << 27 << int(QImage::Format_RGB32);
    QTest::newRow("45x45, one padding byte") << 45 << 45 << int(QImage::Format_RGB32);
    QTest::newRow("46x5, two padding bytes") << 46 << 5 << int(QImage::Format_RGB32);
    QTest::newRow("64x64, no padding") << 64 << 64 << int(QImage::Format_RGB32);
    QTest::newRow("409x417, the start-up size") << 409 << 417 << int(QImage::Format_RGB32);
    QTest::newRow("4096x4096, the largest") << 4096 << 4096 << int(QImage::Format_RGB32);
    // Qt would write these with a colour table or fewer bits a pixel.
    QTest::newRow("indexed 16x16 still 24 bits") << 16 << 16 << int(QImage::Format_Indexed8);
    QTest::newRow("ARGB32 45x45 still 24 bits") << 45 << 45 << int(QImage::Format_ARGB32);
}

void tst_PictureFile::layout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, format);

    std::vector<quint32> buffer;
    QImage image = patternImage(width, height, buffer);
    if (format != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format(format));

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString fileName = folder.filePath("picture.bmp");
    QString error;
    QVERIFY2(PictureFile::SavePicture(image, fileName, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(entries(folder.path()), QStringList {"picture.bmp"});

    const QByteArray file = readAll(fileName);
    const qsizetype rowBytes = (qsizetype(width) * 3 + 3) / 4 * 4;
    const qsizetype expectedSize = 14 + 40 + rowBytes * height;
    QCOMPARE(file.size(), expectedSize);
    if (width == 4096 && height == 4096)
        QCOMPARE(file.size(), qsizetype(50'331'702));

    // BITMAPFILEHEADER
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(qsizetype(le32(file, 2)), expectedSize);
    QCOMPARE(le32(file, 6), 0u);
    QCOMPARE(le32(file, 10), 54u);
    // BITMAPINFOHEADER
    QCOMPARE(le32(file, 14), 40u);
    QCOMPARE(les32(file, 18), width);
    QCOMPARE(les32(file, 22), height); // positive: rows bottom-up
    QCOMPARE(le16(file, 26), quint16(1));
    QCOMPARE(le16(file, 28), quint16(24));
    QCOMPARE(le32(file, 30), 0u); // BI_RGB
    QCOMPARE(le32(file, 46), 0u); // no colour table
    const quint32 sizeImage = le32(file, 34);
    QVERIFY(sizeImage == 0 || qsizetype(sizeImage) == rowBytes * height);

    // Find the first wrong byte, then report it with the values.
    const auto *data = reinterpret_cast<const uchar *>(file.constData()) + 54;
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        const uchar *line = data + qsizetype(row) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const QRgb expected = patternAt(x, y);
            const uchar *p = line + x * 3;
            if (p[0] != qBlue(expected) || p[1] != qGreen(expected) || p[2] != qRed(expected)) {
                QCOMPARE(QString("(%1,%2) bgr %3 %4 %5").arg(x).arg(y).arg(p[0]).arg(p[1]).arg(p[2]),
                         QString("(%1,%2) bgr %3 %4 %5")
                             .arg(x)
                             .arg(y)
                             .arg(qBlue(expected))
                             .arg(qGreen(expected))
                             .arg(qRed(expected)));
            }
        }
        for (qsizetype pad = qsizetype(width) * 3; pad < rowBytes; ++pad) {
            if (line[pad] != 0)
                QFAIL(qPrintable(QString("row %1: padding byte %2 is %3").arg(row).arg(pad).arg(line[pad])));
        }
    }
}

void tst_PictureFile::replacesExistingFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString fileName = folder.filePath("picture.bmp");

    std::vector<quint32> first;
    QVERIFY(PictureFile::SavePicture(patternImage(64, 64, first), fileName, nullptr));
    QImage second(27, 27, QImage::Format_RGB32);
    second.fill(qRgb(200, 100, 50));
    QString error;
    QVERIFY2(PictureFile::SavePicture(second, fileName, &error), qPrintable(error));

    const QByteArray file = readAll(fileName);
    QCOMPARE(file.size(), qsizetype(54 + 84 * 27));
    QCOMPARE(les32(file, 18), 27);
    const QByteArray row = QByteArray("\x32\x64\xC8", 3).repeated(27) + QByteArray(3, '\0');
    QCOMPARE(file.mid(54), row.repeated(27));
    QCOMPARE(entries(folder.path()), QStringList {"picture.bmp"});
}

// A writable file in a folder where no new file may be made: no temporary
// file can be made beside it, so it is rewritten in place.
void tst_PictureFile::replacesInPlaceInReadOnlyFolder()
{
    QTemporaryDir temporary;
    QVERIFY(temporary.isValid());
    QVERIFY(::chmod(QFile::encodeName(temporary.path()).constData(), 0755) == 0);
    const QString folder = temporary.filePath("pictures");
    QVERIFY(QDir().mkdir(folder));
    const QString fileName = folder + "/picture.bmp";
    QVERIFY(writeAll(fileName, "the picture saved last time"));
    QVERIFY(::chmod(QFile::encodeName(fileName).constData(), 0666) == 0);

    std::vector<quint32> buffer;
    const QImage image = patternImage(45, 45, buffer);
    QString error;
    bool saved = false;
    {
        const ReadOnlyFolder readOnly(folder);
        QVERIFY(readOnly.locked());
        const ActAsNobody unprivileged;
        if (!unprivileged.bound())
            QSKIP("running as root and cannot act as another user");
        saved = PictureFile::SavePicture(image, fileName, &error);
    }

    QVERIFY2(saved, qPrintable(error));
    QCOMPARE(entries(folder), QStringList {"picture.bmp"});
    const QImage readBack(fileName, "BMP");
    QCOMPARE(readBack.size(), QSize(45, 45));
    QCOMPARE(readBack.convertToFormat(QImage::Format_RGB32), image);
}

void tst_PictureFile::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<int>("trouble");
    QTest::addColumn<QString>("reason"); // empty: any reason the system gives

    QTest::newRow("new file in a read-only folder") << int(FolderReadOnly) << systemReason(EACCES);
    QTest::newRow("read-only file in a read-only folder") << int(FolderAndFileReadOnly) << systemReason(EACCES);
    QTest::newRow("missing folder") << int(FolderMissing) << systemReason(ENOENT);
    QTest::newRow("name of a folder") << int(NameIsFolder) << QString();
    QTest::newRow("full device") << int(FullDevice) << systemReason(ENOSPC);
    QTest::newRow("named pipe") << int(NamedPipe) << QString();
    QTest::newRow("disk fills up while writing") << int(DiskFillsUp) << systemReason(EFBIG);
    // Everything written and synced, then the new file cannot take the old one's place.
    QTest::newRow("folder moved away before the rename") << int(FolderMovedBeforeCommit) << systemReason(ENOENT);
}

void tst_PictureFile::failureLeavesEverythingAsItWas()
{
    QFETCH(int, trouble);
    QFETCH(QString, reason);

    QTemporaryDir temporary;
    QVERIFY(temporary.isValid());
    const QString folder = temporary.filePath("pictures");
    QVERIFY(QDir().mkdir(folder));
    const QByteArray oldContent = "the picture saved last time";
    QString fileName = folder + "/picture.bmp";
    bool hasOldFile = true;
    std::optional<ReadOnlyFolder> readOnly;
    std::optional<ActAsNobody> unprivileged;
    std::optional<FileSizeLimit> sizeLimit;

    switch (trouble) {
    case FolderReadOnly:
    case FolderAndFileReadOnly:
        if (trouble == FolderReadOnly) {
            hasOldFile = false;
        } else {
            QVERIFY(writeAll(fileName, oldContent));
            QVERIFY(::chmod(QFile::encodeName(fileName).constData(), 0444) == 0);
        }
        QVERIFY(::chmod(QFile::encodeName(temporary.path()).constData(), 0755) == 0);
        readOnly.emplace(folder);
        QVERIFY(readOnly->locked());
        unprivileged.emplace();
        if (!unprivileged->bound())
            QSKIP("running as root and cannot act as another user");
        break;
    case FolderMissing:
        hasOldFile = false;
        fileName = folder + "/not there/picture.bmp";
        break;
    case NameIsFolder:
        hasOldFile = false;
        QVERIFY(QDir().mkdir(fileName));
        QVERIFY(writeAll(fileName + "/inside.txt", oldContent));
        break;
    case FullDevice:
        // A node of our own for the full device, never /dev/full itself: a
        // save that replaced the node with a file must not hit the real one.
        hasOldFile = false;
        if (::mknod(QFile::encodeName(fileName).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("cannot make a device node here (needs root)");
        break;
    case NamedPipe:
        hasOldFile = false;
        QVERIFY(::mkfifo(QFile::encodeName(fileName).constData(), 0666) == 0);
        break;
    case DiskFillsUp:
        QVERIFY(writeAll(fileName, oldContent));
        sizeLimit.emplace(16 * 1024);
        break;
    case FolderMovedBeforeCommit:
        QVERIFY(writeAll(fileName, oldContent));
        SafeSave::SetBeforeCommit([folder](const QString &) { QDir().rename(folder, folder + ".away"); });
        break;
    }
    const QStringList entriesBefore = entries(folder);

    std::vector<quint32> buffer;
    QString error = "untouched";
    const bool saved = PictureFile::SavePicture(patternImage(409, 417, buffer), fileName, &error);
    sizeLimit.reset();
    unprivileged.reset();
    if (trouble == FolderMovedBeforeCommit) {
        SafeSave::SetBeforeCommit({});
        QVERIFY(QDir().rename(folder + ".away", folder));
    }

    QVERIFY(!saved);
    const QString prefix = "Could not save the picture to " + QDir::toNativeSeparators(fileName) + ": ";
    QVERIFY2(error.startsWith(prefix), qPrintable(error));
    const QString givenReason = error.mid(prefix.size());
    QVERIFY2(!givenReason.trimmed().isEmpty(), qPrintable(error));
    QVERIFY2(!givenReason.contains("Unknown error"), qPrintable(error));
    if (!reason.isEmpty())
        QCOMPARE(givenReason, reason);

    QCOMPARE(entries(folder), entriesBefore);
    if (hasOldFile)
        QCOMPARE(readAll(fileName), oldContent);
    if (trouble == NameIsFolder) {
        QVERIFY(QFileInfo(fileName).isDir());
        QCOMPARE(readAll(fileName + "/inside.txt"), oldContent);
    }
    if (trouble == FullDevice)
        QVERIFY2(nodeType(fileName) == S_IFCHR, "the device node was replaced");
    if (trouble == NamedPipe)
        QVERIFY2(nodeType(fileName) == S_IFIFO, "the pipe was replaced");
}

QTEST_GUILESS_MAIN(tst_PictureFile)

#include "tst_picturefile.moc"
