#include "video/ClipWriter.h"

#include "Texts.h"
#include "video/FfmpegErrors.h"
#include "video/YcbcrPlanes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <QCoreApplication>
#include <QIODevice>

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

} // namespace ClipWriter
