#include "video/ClipWriter.h"

#include "Texts.h"
#include "video/FfmpegErrors.h"
#include "video/YcbcrPlanes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ClipWriter {

namespace {

TINTWELL_TR_CONTEXT("VideoWriter");

int writeDevice(void *opaque, std::uint8_t *buffer, int size)
{
    auto *device = static_cast<QIODevice *>(opaque);
    return device->write(reinterpret_cast<const char *>(buffer), size) == size ? size : AVERROR(EIO);
}

std::int64_t seekDevice(void *opaque, std::int64_t offset, int whence)
{
    auto *device = static_cast<QIODevice *>(opaque);
    std::int64_t target = offset;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return device->size();
    case SEEK_SET: break;
    case SEEK_CUR: target += device->pos(); break;
    case SEEK_END: target += device->size(); break;
    default: return AVERROR(EINVAL);
    }
    return device->seek(target) ? target : AVERROR(EIO);
}

// Everything one writing needs, freed in one place whatever step failed.
struct Writing
{
    AVFormatContext *output = nullptr;
    AVIOContext *io = nullptr;
    AVCodecContext *encoder = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;

    ~Writing()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&encoder);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        avformat_free_context(output);
    }

    // Takes every packet the encoder has ready to the file.
    int drain(AVStream *stream)
    {
        for (;;) {
            const int received = avcodec_receive_packet(encoder, packet);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return 0;
            if (received < 0)
                return received;
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(output, packet);
            if (written < 0)
                return written;
        }
    }
};

} // namespace

bool Write(const QImage &sheet, VideoFrames::ClipFormat format, int frames, int fps, QIODevice &device,
           QString &reason)
{
    const bool mp4 = format == VideoFrames::ClipFormat::Mp4;
    const auto failed = [&](const QString &what, int code) {
        reason = code == AVERROR(EIO) && !device.errorString().isEmpty() ? device.errorString()
                                                                          : tr("%1: %2").arg(what, FfmpegErrorText(code));
        return false;
    };
    const AVCodec *codec = avcodec_find_encoder_by_name(mp4 ? "libx264rgb" : "ffv1");
    if (!codec) {
        reason = tr("FFmpeg's libraries here have no %1 encoder.").arg(QLatin1String(mp4 ? "libx264rgb" : "ffv1"));
        return false;
    }

    Writing writing;
    int status = avformat_alloc_output_context2(&writing.output, nullptr, mp4 ? "mp4" : "matroska", nullptr);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    constexpr int BufferSize = 1 << 16;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    writing.io = buffer ? avio_alloc_context(buffer, BufferSize, 1, &device, nullptr, writeDevice, seekDevice) : nullptr;
    if (!writing.io) {
        av_free(buffer);
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    }
    writing.output->pb = writing.io;
    writing.output->flags |= AVFMT_FLAG_CUSTOM_IO;

    AVCodecContext *encoder = writing.encoder = avcodec_alloc_context3(codec);
    writing.frame = av_frame_alloc();
    writing.packet = av_packet_alloc();
    AVStream *stream = avformat_new_stream(writing.output, nullptr);
    if (!encoder || !writing.frame || !writing.packet || !stream)
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    encoder->width = sheet.width();
    encoder->height = sheet.height();
    encoder->pix_fmt = AV_PIX_FMT_BGR0; // QImage's RGB32, byte for byte
    encoder->time_base = AVRational {1, fps};
    encoder->framerate = AVRational {fps, 1};
    encoder->color_range = AVCOL_RANGE_JPEG;
    encoder->colorspace = AVCOL_SPC_RGB;
    encoder->color_primaries = AVCOL_PRI_BT709;
    encoder->color_trc = AVCOL_TRC_IEC61966_2_1;
    encoder->thread_count = 0;
    if (writing.output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    if (mp4) {
        av_dict_set(&options, "qp", "0", 0);
        av_dict_set(&options, "preset", "veryfast", 0);
    } else {
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        encoder->gop_size = 1;
    }
    status = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    if (status < 0)
        return failed(tr("Could not start the encoder"), status);
    status = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;

    AVFrame *frame = writing.frame;
    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
    frame->color_range = encoder->color_range;
    frame->colorspace = encoder->colorspace;
    frame->color_primaries = encoder->color_primaries;
    frame->color_trc = encoder->color_trc;
    status = av_frame_get_buffer(frame, 0);
    if (status < 0)
        return failed(tr("Could not hold a frame"), status);
    for (int y = 0; y < sheet.height(); ++y)
        std::memcpy(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0], sheet.constScanLine(y),
                    std::size_t(sheet.width()) * 4);

    status = avformat_write_header(writing.output, nullptr);
    if (status < 0)
        return failed(tr("Could not write the clip's header"), status);
    // The same frame every time: encoders keep their own reference to it.
    for (int index = 0; index < frames; ++index) {
        frame->pts = index;
        status = avcodec_send_frame(encoder, frame);
        if (status >= 0)
            status = writing.drain(stream);
        if (status < 0)
            return failed(tr("Could not write frame %1").arg(index), status);
    }
    status = avcodec_send_frame(encoder, nullptr);
    if (status >= 0)
        status = writing.drain(stream);
    if (status >= 0)
        status = av_write_trailer(writing.output);
    if (status >= 0) {
        avio_flush(writing.io);
        status = writing.io->error;
    }
    if (status < 0)
        return failed(tr("Could not finish the clip"), status);
    return true;
}

namespace {

AVPixelFormat ycbcrFormat(const VideoFrames::YcbcrRecipe &recipe)
{
    const bool deep = recipe.bits > 8;
    if (recipe.chromaShiftX == 0)
        return deep ? AV_PIX_FMT_YUV444P10LE : AV_PIX_FMT_YUV444P;
    if (recipe.chromaShiftY == 0)
        return deep ? AV_PIX_FMT_YUV422P10LE : AV_PIX_FMT_YUV422P;
    return deep ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P;
}

// The tags as FFmpeg's numbers; false when a name is none of FFmpeg's.
bool setTags(AVCodecContext *encoder, const VideoFrames::YcbcrRecipe &recipe, QString &unknown)
{
    const auto number = [&](const QString &name, int (*fromName)(const char *), int unspecified) {
        if (name.isEmpty())
            return unspecified;
        const int value = fromName(name.toLatin1().constData());
        if (value < 0)
            unknown = name;
        return value;
    };
    encoder->color_range = AVColorRange(number(recipe.range, av_color_range_from_name, AVCOL_RANGE_UNSPECIFIED));
    encoder->colorspace = AVColorSpace(number(recipe.matrixTag, av_color_space_from_name, AVCOL_SPC_UNSPECIFIED));
    encoder->color_primaries =
        AVColorPrimaries(number(recipe.primaries, av_color_primaries_from_name, AVCOL_PRI_UNSPECIFIED));
    encoder->color_trc =
        AVColorTransferCharacteristic(number(recipe.transfer, av_color_transfer_from_name, AVCOL_TRC_UNSPECIFIED));
    const bool shared = recipe.chromaShiftX > 0 || recipe.chromaShiftY > 0;
    encoder->chroma_sample_location = shared && !recipe.matrixTag.isEmpty() ? AVCHROMA_LOC_LEFT : AVCHROMA_LOC_UNSPECIFIED;
    return unknown.isEmpty();
}

// Copies the planes' codes into the frame's planes, a byte or two a sample.
void fillFrame(AVFrame *frame, const YcbcrPlanes::Planes &planes, bool deep)
{
    const std::vector<std::uint16_t> *sources[3] = {&planes.y, &planes.cb, &planes.cr};
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane == 0 ? planes.width : planes.chromaWidth;
        const int height = plane == 0 ? planes.height : planes.chromaHeight;
        const std::uint16_t *codes = sources[plane]->data();
        for (int y = 0; y < height; ++y) {
            std::uint8_t *row = frame->data[plane] + std::ptrdiff_t(y) * frame->linesize[plane];
            const std::uint16_t *from = codes + std::ptrdiff_t(y) * width;
            if (deep)
                std::memcpy(row, from, std::size_t(width) * 2); // little-endian, as the format is
            else
                for (int x = 0; x < width; ++x)
                    row[x] = std::uint8_t(from[x]);
        }
    }
}

} // namespace

bool WriteYcbcr(const QImage &sheet, const VideoFrames::YcbcrRecipe &recipe, VideoFrames::ClipFormat format,
                int frames, int fps, QIODevice &device, QString &reason)
{
    const bool mp4 = format == VideoFrames::ClipFormat::Mp4;
    const auto failed = [&](const QString &what, int code) {
        reason = code == AVERROR(EIO) && !device.errorString().isEmpty() ? device.errorString()
                                                                          : tr("%1: %2").arg(what, FfmpegErrorText(code));
        return false;
    };
    const AVPixelFormat pixelFormat = ycbcrFormat(recipe);
    const AVCodec *codec = avcodec_find_encoder_by_name(mp4 ? "libx264" : "ffv1");
    if (!codec) {
        reason = tr("FFmpeg's libraries here have no %1 encoder.").arg(QLatin1String(mp4 ? "libx264" : "ffv1"));
        return false;
    }

    Writing writing;
    int status = avformat_alloc_output_context2(&writing.output, nullptr, mp4 ? "mp4" : "matroska", nullptr);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    constexpr int BufferSize = 1 << 16;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    writing.io = buffer ? avio_alloc_context(buffer, BufferSize, 1, &device, nullptr, writeDevice, seekDevice) : nullptr;
    if (!writing.io) {
        av_free(buffer);
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    }
    writing.output->pb = writing.io;
    writing.output->flags |= AVFMT_FLAG_CUSTOM_IO;

    AVCodecContext *encoder = writing.encoder = avcodec_alloc_context3(codec);
    writing.frame = av_frame_alloc();
    writing.packet = av_packet_alloc();
    AVStream *stream = avformat_new_stream(writing.output, nullptr);
    if (!encoder || !writing.frame || !writing.packet || !stream)
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    encoder->width = sheet.width();
    encoder->height = sheet.height();
    encoder->pix_fmt = pixelFormat;
    encoder->time_base = AVRational {1, fps};
    encoder->framerate = AVRational {fps, 1};
    QString unknown;
    if (!setTags(encoder, recipe, unknown)) {
        reason = tr("FFmpeg has no tag called '%1'.").arg(unknown);
        return false;
    }
    encoder->thread_count = 0;
    if (writing.output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    if (mp4) {
        av_dict_set(&options, "qp", "0", 0);
        av_dict_set(&options, "preset", "veryfast", 0);
    } else {
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        encoder->gop_size = 1;
    }
    status = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    if (status < 0)
        return failed(tr("Could not start the encoder"), status);
    status = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;

    AVFrame *frame = writing.frame;
    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
    frame->color_range = encoder->color_range;
    frame->colorspace = encoder->colorspace;
    frame->color_primaries = encoder->color_primaries;
    frame->color_trc = encoder->color_trc;
    frame->chroma_location = encoder->chroma_sample_location;
    status = av_frame_get_buffer(frame, 0);
    if (status < 0)
        return failed(tr("Could not hold a frame"), status);
    fillFrame(frame, YcbcrPlanes::Make(sheet, recipe), recipe.bits > 8);

    status = avformat_write_header(writing.output, nullptr);
    if (status < 0)
        return failed(tr("Could not write the clip's header"), status);
    for (int index = 0; index < frames; ++index) {
        frame->pts = index;
        status = avcodec_send_frame(encoder, frame);
        if (status >= 0)
            status = writing.drain(stream);
        if (status < 0)
            return failed(tr("Could not write frame %1").arg(index), status);
    }
    status = avcodec_send_frame(encoder, nullptr);
    if (status >= 0)
        status = writing.drain(stream);
    if (status >= 0)
        status = av_write_trailer(writing.output);
    if (status >= 0) {
        avio_flush(writing.io);
        status = writing.io->error;
    }
    if (status < 0)
        return failed(tr("Could not finish the clip"), status);
    return true;
}


namespace {

// A chromaticity or luminance as the rationals FFmpeg's side data holds.
AVRational chromaticity(double value)
{
    return AVRational {int(std::lround(value * 50000)), 50000};
}

AVRational luminance(double nits)
{
    return AVRational {int(std::lround(nits * 10000)), 10000};
}

// The mastering display and content light of `clip`, as side data of the
// stream; false when out of memory.
bool addHdrSideData(AVStream *stream, const VideoFrames::DeepClip &clip)
{
    if (clip.displayMaxNits > 0) {
        AVMasteringDisplayMetadata *display = av_mastering_display_metadata_alloc();
        if (!display)
            return false;
        for (int c = 0; c < 3; ++c)
            for (int xy = 0; xy < 2; ++xy)
                display->display_primaries[c][xy] = chromaticity(clip.displayPrimaries[c][xy]);
        display->white_point[0] = chromaticity(clip.displayWhite[0]);
        display->white_point[1] = chromaticity(clip.displayWhite[1]);
        display->max_luminance = luminance(clip.displayMaxNits);
        display->min_luminance = luminance(clip.displayMinNits);
        display->has_primaries = 1;
        display->has_luminance = 1;
        if (av_stream_add_side_data(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA,
                                    reinterpret_cast<std::uint8_t *>(display), sizeof *display)
            < 0) {
            av_free(display);
            return false;
        }
    }
    if (clip.maxCll > 0) {
        std::size_t size = 0;
        AVContentLightMetadata *light = av_content_light_metadata_alloc(&size);
        if (!light)
            return false;
        light->MaxCLL = unsigned(std::lround(clip.maxCll));
        light->MaxFALL = unsigned(std::lround(clip.maxFall));
        if (av_stream_add_side_data(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, reinterpret_cast<std::uint8_t *>(light),
                                    size)
            < 0) {
            av_free(light);
            return false;
        }
    }
    return true;
}

// x265's own words for the same: it writes them as SEI messages into every
// keyframe, where a decoder hands them to each frame. Its chromaticities
// are in 1/50000, green first; its luminances in 1/10000 cd/m².
QByteArray x265Parameters(const VideoFrames::DeepClip &clip, const char *primaries, const char *transfer)
{
    QByteArray parameters = QByteArray("lossless=1:log-level=error:colorprim=") + primaries + ":transfer=" + transfer
                            + ":colormatrix=bt2020nc:range=limited";
    const auto units = [](double v) { return QByteArray::number(qlonglong(std::llround(v * 50000))); };
    const auto point = [&](const double xy[2]) { return "(" + units(xy[0]) + "," + units(xy[1]) + ")"; };
    if (clip.displayMaxNits > 0)
        parameters += ":master-display=G" + point(clip.displayPrimaries[1]) + "B" + point(clip.displayPrimaries[2]) + "R"
                      + point(clip.displayPrimaries[0]) + "WP" + point(clip.displayWhite) + "L("
                      + QByteArray::number(qlonglong(std::llround(clip.displayMaxNits * 10000))) + ","
                      + QByteArray::number(qlonglong(std::llround(clip.displayMinNits * 10000))) + ")";
    if (clip.maxCll > 0)
        parameters += ":max-cll=" + QByteArray::number(qlonglong(std::llround(clip.maxCll))) + ","
                      + QByteArray::number(qlonglong(std::llround(clip.maxFall)));
    return parameters;
}

// A 16-bit sample at `bits`.
inline int atBits(std::uint16_t sample, int bits)
{
    return int((std::uint32_t(sample) * ((1u << bits) - 1) + 32767) / 65535);
}

// The sheet's R'G'B' as planar G, B, R at `bits`.
void fillPlanarRgb(const QImage &sheet, int bits, AVFrame *frame)
{
    for (int y = 0; y < sheet.height(); ++y) {
        const auto *in = reinterpret_cast<const std::uint16_t *>(sheet.constScanLine(y));
        auto *g = reinterpret_cast<std::uint16_t *>(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0]);
        auto *b = reinterpret_cast<std::uint16_t *>(frame->data[1] + std::ptrdiff_t(y) * frame->linesize[1]);
        auto *r = reinterpret_cast<std::uint16_t *>(frame->data[2] + std::ptrdiff_t(y) * frame->linesize[2]);
        for (int x = 0; x < sheet.width(); ++x, in += 4) {
            r[x] = std::uint16_t(atBits(in[0], bits));
            g[x] = std::uint16_t(atBits(in[1], bits));
            b[x] = std::uint16_t(atBits(in[2], bits));
        }
    }
}

// The sheet's R'G'B' as BT.2020 (non-constant luminance) Y'CbCr, 10-bit
// limited range, the chroma the mean of each 2 x 2 block.
void fillYcbcr420(const QImage &sheet, AVFrame *frame)
{
    constexpr double Kr = 0.2627, Kb = 0.0593, Kg = 1 - Kr - Kb;
    const auto channel = [&](int x, int y, int c) {
        return reinterpret_cast<const std::uint16_t *>(sheet.constScanLine(y))[4 * x + c] / 65535.0;
    };
    const auto code = [](double v, double scale, double offset) {
        return std::uint16_t(std::clamp(std::lround((v * scale + offset) * 4), 0l, 1023l));
    };
    for (int y = 0; y < sheet.height(); ++y) {
        auto *luma = reinterpret_cast<std::uint16_t *>(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0]);
        for (int x = 0; x < sheet.width(); ++x)
            luma[x] = code(Kr * channel(x, y, 0) + Kg * channel(x, y, 1) + Kb * channel(x, y, 2), 219, 16);
    }
    for (int y = 0; y + 1 < sheet.height(); y += 2) {
        auto *cb = reinterpret_cast<std::uint16_t *>(frame->data[1] + std::ptrdiff_t(y / 2) * frame->linesize[1]);
        auto *cr = reinterpret_cast<std::uint16_t *>(frame->data[2] + std::ptrdiff_t(y / 2) * frame->linesize[2]);
        for (int x = 0; x + 1 < sheet.width(); x += 2) {
            double r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    r += channel(x + dx, y + dy, 0) / 4;
                    g += channel(x + dx, y + dy, 1) / 4;
                    b += channel(x + dx, y + dy, 2) / 4;
                }
            const double yp = Kr * r + Kg * g + Kb * b;
            cb[x / 2] = code((b - yp) / (2 * (1 - Kb)), 224, 128);
            cr[x / 2] = code((r - yp) / (2 * (1 - Kr)), 224, 128);
        }
    }
}

} // namespace

bool WriteDeep(const QImage &sheet, const VideoFrames::DeepClip &clip, VideoFrames::ClipFormat format, int frames,
               int fps, QIODevice &device, QString &reason)
{
    const bool mp4 = format == VideoFrames::ClipFormat::Mp4;
    const auto failed = [&](const QString &what, int code) {
        reason = code == AVERROR(EIO) && !device.errorString().isEmpty() ? device.errorString()
                                                                          : tr("%1: %2").arg(what, FfmpegErrorText(code));
        return false;
    };
    const char *encoderName = mp4 ? "libx265" : "ffv1";
    const AVCodec *codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec) {
        reason = tr("FFmpeg's libraries here have no %1 encoder.").arg(QLatin1String(encoderName));
        return false;
    }
    const QByteArray primariesName = clip.primaries.toLatin1(), transferName = clip.transfer.toLatin1();
    const int primaries = av_color_primaries_from_name(primariesName.constData());
    const int transfer = av_color_transfer_from_name(transferName.constData());
    if (primaries < 0 || transfer < 0 || (mp4 ? clip.bits != 10 : clip.bits != 10 && clip.bits != 12)) {
        reason = tr("A deep clip cannot be tagged %1 %2 at %3 bits.").arg(clip.primaries, clip.transfer).arg(clip.bits);
        return false;
    }

    Writing writing;
    int status = avformat_alloc_output_context2(&writing.output, nullptr, mp4 ? "mp4" : "matroska", nullptr);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    constexpr int BufferSize = 1 << 16;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    writing.io = buffer ? avio_alloc_context(buffer, BufferSize, 1, &device, nullptr, writeDevice, seekDevice) : nullptr;
    if (!writing.io) {
        av_free(buffer);
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    }
    writing.output->pb = writing.io;
    writing.output->flags |= AVFMT_FLAG_CUSTOM_IO;

    AVCodecContext *encoder = writing.encoder = avcodec_alloc_context3(codec);
    writing.frame = av_frame_alloc();
    writing.packet = av_packet_alloc();
    AVStream *stream = avformat_new_stream(writing.output, nullptr);
    if (!encoder || !writing.frame || !writing.packet || !stream)
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    encoder->width = sheet.width();
    encoder->height = sheet.height();
    encoder->pix_fmt = mp4 ? AV_PIX_FMT_YUV420P10LE : clip.bits == 12 ? AV_PIX_FMT_GBRP12LE : AV_PIX_FMT_GBRP10LE;
    encoder->time_base = AVRational {1, fps};
    encoder->framerate = AVRational {fps, 1};
    encoder->color_range = mp4 ? AVCOL_RANGE_MPEG : AVCOL_RANGE_JPEG;
    encoder->colorspace = mp4 ? AVCOL_SPC_BT2020_NCL : AVCOL_SPC_RGB;
    encoder->color_primaries = AVColorPrimaries(primaries);
    encoder->color_trc = AVColorTransferCharacteristic(transfer);
    encoder->chroma_sample_location = mp4 ? AVCHROMA_LOC_CENTER : AVCHROMA_LOC_UNSPECIFIED;
    encoder->thread_count = 0;
    if (writing.output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    if (mp4) {
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "x265-params",
                    x265Parameters(clip, av_color_primaries_name(AVColorPrimaries(primaries)),
                                   av_color_transfer_name(AVColorTransferCharacteristic(transfer)))
                        .constData(),
                    0);
        // Players know HEVC in MP4 by this tag.
        encoder->codec_tag = MKTAG('h', 'v', 'c', '1');
    } else {
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        encoder->gop_size = 1;
    }
    status = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    if (status < 0)
        return failed(tr("Could not start the encoder"), status);
    status = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (status < 0)
        return failed(tr("Could not start the clip"), status);
    if (!addHdrSideData(stream, clip))
        return failed(tr("Could not start the clip"), AVERROR(ENOMEM));
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;

    AVFrame *frame = writing.frame;
    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
    frame->color_range = encoder->color_range;
    frame->colorspace = encoder->colorspace;
    frame->color_primaries = encoder->color_primaries;
    frame->color_trc = encoder->color_trc;
    status = av_frame_get_buffer(frame, 0);
    if (status < 0)
        return failed(tr("Could not hold a frame"), status);
    if (mp4)
        fillYcbcr420(sheet, frame);
    else
        fillPlanarRgb(sheet, clip.bits, frame);

    status = avformat_write_header(writing.output, nullptr);
    if (status < 0)
        return failed(tr("Could not write the clip's header"), status);
    for (int index = 0; index < frames; ++index) {
        frame->pts = index;
        status = avcodec_send_frame(encoder, frame);
        if (status >= 0)
            status = writing.drain(stream);
        if (status < 0)
            return failed(tr("Could not write frame %1").arg(index), status);
    }
    status = avcodec_send_frame(encoder, nullptr);
    if (status >= 0)
        status = writing.drain(stream);
    if (status >= 0)
        status = av_write_trailer(writing.output);
    if (status >= 0) {
        avio_flush(writing.io);
        status = writing.io->error;
    }
    if (status < 0)
        return failed(tr("Could not finish the clip"), status);
    return true;
}

} // namespace ClipWriter
