#include "picture/PictureReader.h"

#include "input/StandardInput.h"
#include "Texts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace PictureReader {

namespace {

TINTWELL_TR_CONTEXT("PictureReader");

// Passes reads on to the device it guards and notes one that came up short.
// Qt's BMP reader stops quietly at the end of a truncated file and hands
// back the rows it never read as whatever was in memory; a short read is how
// the truncation shows. Opened unbuffered, so every read the image reader
// asks for arrives here as asked.
class ShortReadGuard : public QIODevice
{
public:
    explicit ShortReadGuard(QIODevice &guarded) : guarded_(guarded) {}

    bool open(OpenMode mode) override { return QIODevice::open(mode | QIODevice::Unbuffered); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return guarded_.size(); }
    bool seek(qint64 position) override { return guarded_.seek(position) && QIODevice::seek(position); }

    bool cameShort() const { return cameShort_; }
    void forget() { cameShort_ = false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 got = guarded_.read(data, maxSize);
        if (got < maxSize)
            cameShort_ = true;
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice &guarded_;
    bool cameShort_ = false;
};

// What an image reader says on the way: Qt's readers tell the details of a
// failure (the allocation limit) as warnings, and libpng under Qt's PNG reader
// prints its errors straight to stderr. While a picture is read both are kept
// here, for the one line that reports a failure, instead of reaching stderr.
// Two pictures may be read at the same time on two threads: each keeps the
// warnings of its own thread; the first to start sets the capture of stderr
// up and the last to finish takes it down.
thread_local QStringList *heardWarnings = nullptr;

void keepWarning(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (heardWarnings)
        heardWarnings->append(message);
}

struct Capture
{
    std::mutex mutex;
    int readers = 0;
    QtMessageHandler previousHandler = nullptr;
    std::FILE *printed = nullptr;
    int savedStderr = -1;

    void restoreStderr()
    {
        if (savedStderr >= 0) {
            std::fflush(stderr);
            ::dup2(savedStderr, STDERR_FILENO);
            ::close(savedStderr);
            savedStderr = -1;
        }
    }
};
Capture capture;

class ReaderMessages
{
public:
    ReaderMessages()
    {
        heardWarnings = &warnings_;
        const std::lock_guard lock(capture.mutex);
        if (capture.readers++ > 0)
            return;
        capture.previousHandler = qInstallMessageHandler(keepWarning);
        std::fflush(stderr);
        capture.printed = std::tmpfile();
        if (capture.printed) {
            capture.savedStderr = ::dup(STDERR_FILENO);
            if (capture.savedStderr < 0 || ::dup2(::fileno(capture.printed), STDERR_FILENO) < 0)
                capture.restoreStderr();
        }
    }

    ~ReaderMessages()
    {
        heardWarnings = nullptr;
        const std::lock_guard lock(capture.mutex);
        if (--capture.readers > 0)
            return;
        capture.restoreStderr();
        if (capture.printed)
            std::fclose(capture.printed);
        capture.printed = nullptr;
        qInstallMessageHandler(capture.previousHandler);
    }

    ReaderMessages(const ReaderMessages &) = delete;
    ReaderMessages &operator=(const ReaderMessages &) = delete;

    // Everything said so far, on one line.
    QString said()
    {
        QStringList all = warnings_;
        const std::lock_guard lock(capture.mutex);
        if (capture.printed) {
            std::fflush(stderr);
            QFile file;
            if (file.open(::fileno(capture.printed), QIODevice::ReadOnly) && file.seek(0))
                all += QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        for (QString &line : all)
            line = line.trimmed();
        all.removeAll(QString());
        return all.join(QLatin1String("; "));
    }

private:
    QStringList warnings_;
};

// The source: the named file, or all of standard input in memory (an image
// reader needs to seek).
bool openSource(const QString &fileName, QFile &file, QBuffer &buffer, QIODevice *&source, QString &reason)
{
    if (fileName == QLatin1String("-")) {
        QByteArray all;
        if (!StandardInput::ReadAll(all, reason))
            return false;
        buffer.setData(all);
        if (buffer.data().isEmpty()) {
            reason = tr("Standard input is empty.");
            return false;
        }
        buffer.open(QIODevice::ReadOnly);
        source = &buffer;
        return true;
    }

    const QFileInfo info(fileName);
    if (info.isDir()) {
        reason = tr("It is a folder.");
        return false;
    }
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    if (info.isFile() && file.size() == 0) {
        reason = tr("The file is empty.");
        return false;
    }
    source = &file;
    return true;
}

// Memory for a picture's pixels, in 2 MB pages where the system has them
// (transparent huge pages): one page fault per 2 MB instead of one per 4 KB,
// which for the 64 MB of "16million" is a quarter of the time a census takes.
// Qt's readers decode into a picture that already has the right size and
// format, so they fill this one.
constexpr qsizetype HugePage = qsizetype(2) << 20;

QImage blankPicture(QSize size, QImage::Format format, qsizetype bytes)
{
    const qsizetype rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void *memory = std::aligned_alloc(std::size_t(HugePage), std::size_t(rounded));
    if (!memory)
        return {};
#ifdef MADV_HUGEPAGE
    ::madvise(memory, std::size_t(rounded), MADV_HUGEPAGE);
#endif
    return QImage(static_cast<uchar *>(memory), size.width(), size.height(), bytes / size.height(), format, std::free,
                  memory);
}

bool isDeep(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

constexpr int DefaultLimitMB = 1024;

// Whether every chunk of the PNG file on `device`, up to its end chunk, lies
// within the file. libpng takes the memory for a chunk (a text, a colour
// profile) as its length says, before reading it: a damaged length would have
// a file of a few hundred bytes ask for up to 2 GB, whatever the allocation
// limit. The device is left where it was.
bool pngChunksFit(QIODevice &device)
{
    const qint64 start = device.pos();
    const qint64 size = device.size();
    bool fit = true;
    // After the 8-byte signature, each chunk: its length, type, data and CRC.
    for (qint64 at = 8; at + 8 <= size;) {
        uchar head[8];
        if (!device.seek(at) || device.read(reinterpret_cast<char *>(head), 8) != 8)
            break;
        const qint64 length = qFromBigEndian<quint32>(head);
        if (length > size - at - 12) {
            fit = false;
            break;
        }
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    device.seek(start);
    return fit;
}

// Whether the WebP file beginning with `head` holds a lossy (VP8) picture
// rather than a lossless (VP8L) one: the first of the two chunks decides.
bool webpIsLossy(const QByteArray &head)
{
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WEBP")
        return false;
    for (qsizetype at = 12; at + 8 <= head.size();) {
        const QByteArray id = head.mid(at, 4);
        if (id == "VP8 ")
            return true;
        if (id == "VP8L")
            return false;
        const quint32 length = qFromLittleEndian<quint32>(head.constData() + at + 4);
        at += 8 + qsizetype(length) + (length & 1);
    }
    return false;
}

} // namespace

int AllocationLimit()
{
    bool ok = false;
    const int limit = qEnvironmentVariableIntValue("QT_IMAGEIO_MAXALLOC", &ok);
    return ok && limit >= 0 ? limit : DefaultLimitMB;
}

bool ReadPicture(QIODevice &device, Picture &result, QString &reason)
{
    // The chunks ahead of a WebP picture's own say whether it is lossy.
    constexpr qint64 HeadBytes = 64 * 1024;
    const QByteArray head = device.peek(HeadBytes);
    ShortReadGuard guard(device);
    guard.open(QIODevice::ReadOnly);
    ReaderMessages messages;

    // Qt's own check agrees with ours; ours is made first, on what the
    // picture becomes here rather than on Qt's intermediate format.
    const int limitMB = AllocationLimit();
    QImageReader::setAllocationLimit(limitMB);

    QImageReader reader(&guard);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        reason = tr("It is not a picture in a format Qt reads.");
        return false;
    }
    // Asked now: once the picture is read, the reader no longer knows it.
    const bool isBmp = reader.format() == "bmp";
    result.lossy = reader.format() == "jpeg" || (reader.format() == "webp" && webpIsLossy(head));
    const QString truncated = tr("The file ends before the picture does (it is truncated).");
    // Before the header is read: libpng reads the chunks before the pixels with it.
    if (reader.format() == "png" && !pngChunksFit(device)) {
        reason = truncated;
        return false;
    }
    result.profile = EmbeddedProfile::Find(device, reader.format());

    // The size and format the header promises. A picture too large for the
    // allocation limit is refused here, before anything is allocated and
    // with a plain reason.
    const QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    QImage picture;
    if (!size.isEmpty() && format != QImage::Format_Invalid) {
        const int bitsPerChannel = isDeep(format) ? 16 : 8;
        const qint64 pixelBytes = bitsPerChannel / 2; // four channels
        const qint64 limit = qint64(limitMB) * 1024 * 1024;
        // Compared by division: the product of a forged header's sizes may not fit.
        if (limit > 0 && qint64(size.width()) * pixelBytes > limit / size.height()) {
            reason = tr("Its header says %1x%2 pixels at %3 bits a channel, more than the allocation limit of "
                        "%4 MB allows (%5 million pixels at 8 bits, %6 million at 16); the environment variable "
                        "QT_IMAGEIO_MAXALLOC sets another limit in MB, 0 for none.")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(bitsPerChannel)
                         .arg(limitMB)
                         .arg(limit / 4 / 1'000'000)
                         .arg(limit / 8 / 1'000'000);
            return false;
        }
        const int depth = QImage::toPixelFormat(format).bitsPerPixel();
        const qint64 rowBytes = (qint64(size.width()) * depth + 31) / 32 * 4;
        const QString noMemory =
            tr("There is not enough memory for its %1x%2 pixels.").arg(size.width()).arg(size.height());
        if (rowBytes > std::numeric_limits<qsizetype>::max() / 8 / size.height()) {
            reason = noMemory;
            return false;
        }
        // A small picture Qt allocates as usual.
        const qsizetype bytes = qsizetype(rowBytes * size.height());
        if (bytes >= HugePage) {
            picture = blankPicture(size, format, bytes);
            if (picture.isNull()) {
                reason = noMemory;
                return false;
            }
        }
    }

    guard.forget();
    if (!reader.read(&picture)) {
        reason = reader.errorString();
        const QString details = messages.said();
        if (!details.isEmpty())
            reason += QLatin1String(" (") + details + QLatin1Char(')');
        if (!reason.endsWith(QLatin1Char('.')))
            reason += QLatin1Char('.');
        return false;
    }
    if (isBmp && guard.cameShort()) {
        reason = truncated;
        return false;
    }

    const bool deep = isDeep(picture.format());
    const bool alpha = picture.hasAlphaChannel();
    const QImage::Format wanted = deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                       : (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    result.image = picture.format() == wanted ? picture : picture.convertToFormat(wanted);
    result.depth = deep ? 16 : 8;
    if (result.image.isNull()) {
        reason = tr("There is not enough memory to convert it.");
        return false;
    }
    return true;
}

bool ReadPicture(const QString &fileName, Picture &picture, QString &reason)
{
    QFile file;
    QBuffer buffer;
    QIODevice *source = nullptr;
    if (!openSource(fileName, file, buffer, source, reason))
        return false;
    return ReadPicture(*source, picture, reason);
}

} // namespace PictureReader
