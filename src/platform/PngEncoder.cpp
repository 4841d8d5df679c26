#include "platform/PngEncoder.h"

#include "picture/HdrMetadata.h"

#include <QByteArray>
#include <QImage>
#include <QIODevice>
#include <QString>

#include <png.h>

#include <cstring>

namespace PngEncoder {

namespace {

// zlib's fastest level: the sheets' filtered rows are long runs anyway.
constexpr int CompressionLevel = 1;
// The size of an IDAT chunk, and so of most writes to the device.
constexpr png_size_t ChunkBytes = 256 * 1024;

// Where libpng's output goes, and what went wrong. Plain data only: libpng
// leaves a failure by longjmp, past any destructor.
struct Sink
{
    QIODevice *device = nullptr;
    // An ICC profile to embed, and its name (1 to 79 Latin-1 characters).
    const QByteArray *profile = nullptr;
    const char *profileName = nullptr;
    bool deviceFailed = false;
    char message[200] = {};
};

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto *sink = static_cast<Sink *>(png_get_io_ptr(png));
    while (length > 0) {
        const qint64 written = sink->device->write(reinterpret_cast<const char *>(data), qint64(length));
        if (written <= 0) {
            sink->deviceFailed = true;
            png_error(png, "write failed");
        }
        data += written;
        length -= png_size_t(written);
    }
}

void flushData(png_structp) {}

// Keeps libpng's message and leaves; were it to return, libpng would print
// the message on stderr itself.
void keepError(png_structp png, png_const_charp message)
{
    auto *sink = static_cast<Sink *>(png_get_error_ptr(png));
    std::strncpy(sink->message, message, sizeof sink->message - 1);
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// The encoding proper. Nothing here may own anything: a failure jumps out.
// An RGB32 picture is written at 8 bits a channel, an RGBX64 one at 16, with
// `chunks` before its image data.
bool encode(const QImage &image, const std::vector<png_unknown_chunk> &chunks, Sink &sink)
{
    const bool deep = image.format() == QImage::Format_RGBX64;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, keepError, ignoreWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }

    png_set_write_fn(png, &sink, writeData, flushData);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), deep ? 16 : 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!chunks.empty()) {
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
        png_set_unknown_chunks(png, info, chunks.data(), int(chunks.size()));
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, CompressionLevel);
    png_set_compression_buffer_size(png, ChunkBytes);
    if (sink.profile)
        png_set_iCCP(png, info, sink.profileName, PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(sink.profile->constData()), png_uint_32(sink.profile->size()));
    png_write_info(png, info);

    if (deep) {
        // RGBX64 rows are 16-bit red, green, blue, filler in the machine's
        // byte order; PNG's samples are big-endian.
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
            png_set_swap(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        // The rows are 0xFFRRGGBB words: in memory B, G, R, 0xFF on a
        // little-endian machine, 0xFF, R, G, B on a big-endian one.
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encodeTo(const QImage &picture, const std::vector<HdrMetadata::Chunk> &extra, const QByteArray &iccProfile,
              const QByteArray &profileName, QIODevice &device, QString &reason)
{
    if (picture.isNull()) {
        reason = QStringLiteral("The picture is empty.");
        return false;
    }
    std::vector<png_unknown_chunk> chunks;
    for (const HdrMetadata::Chunk &chunk : extra) {
        png_unknown_chunk c {};
        std::memcpy(c.name, chunk.type.data(), 4);
        c.data = const_cast<png_byte *>(chunk.payload.data());
        c.size = chunk.payload.size();
        c.location = PNG_HAVE_IHDR;
        chunks.push_back(c);
    }
    Sink sink;
    sink.device = &device;
    const QByteArray name = profileName.left(79).isEmpty() ? QByteArray("ICC profile") : profileName.left(79);
    if (!iccProfile.isEmpty()) {
        sink.profile = &iccProfile;
        sink.profileName = name.constData();
    }
    if (encode(picture, chunks, sink))
        return true;
    if (sink.deviceFailed)
        reason = device.errorString();
    else if (sink.message[0])
        reason = QString::fromLocal8Bit(sink.message);
    else
        reason = QStringLiteral("Not enough memory to write a PNG file.");
    return false;
}

} // namespace

bool Write(const QImage &image, QIODevice &device, QString &reason)
{
    return Write(image, device, {}, {}, reason);
}

bool Write(const QImage &image, QIODevice &device, const QByteArray &iccProfile, const QByteArray &profileName,
           QString &reason)
{
    return encodeTo(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32), {},
                    iccProfile, profileName, device, reason);
}

bool WriteDeep(const QImage &image, const std::vector<HdrMetadata::Chunk> &chunks, QIODevice &device,
               QString &reason)
{
    return encodeTo(image.format() == QImage::Format_RGBX64 ? image : image.convertToFormat(QImage::Format_RGBX64),
                    chunks, {}, {}, device, reason);
}

} // namespace PngEncoder
