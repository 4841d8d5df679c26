#include "video/FfmpegReader.h"

#include "Texts.h"
#include "video/FfmpegErrors.h"
#include "video/PlayerRules.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstring>

#include <unistd.h>

const char *const FfmpegReader::AllowedFormats =
    "matroska,webm,mov,mp4,avi,mpegts,mpeg,mpegvideo,h264,hevc,m4v,vc1,obu,av1,ivf,flv,asf,nut,mxf,dv,ogg,"
    "yuv4mpegpipe,mjpeg,gxf,wtv,rm";

namespace {

TINTWELL_TR_CONTEXT("VideoReader");

QString nameOr(const char *name, const char *otherwise = "unknown")
{
    return QString::fromLatin1(name ? name : otherwise);
}

// Whether one of the names of `format` ("mov,mp4,m4a") is on the allow-list.
bool allowed(const AVInputFormat *format)
{
    return av_match_list(format->name, FfmpegReader::AllowedFormats, ',') > 0;
}

int readBytes(void *opaque, std::uint8_t *buffer, int size)
{
    auto *state = static_cast<FfmpegReader::Bytes *>(opaque);
    const std::size_t left = state->size - state->position;
    if (left == 0)
        return AVERROR_EOF;
    const std::size_t count = std::min(left, std::size_t(size));
    std::memcpy(buffer, state->data + state->position, count);
    state->position += count;
    return int(count);
}

int readStream(void *opaque, std::uint8_t *buffer, int size)
{
    auto *state = static_cast<FfmpegReader::Stream *>(opaque);
    if (state->position < state->head.size()) {
        const qsizetype count = std::min(state->head.size() - state->position, qsizetype(size));
        std::memcpy(buffer, state->head.constData() + state->position, std::size_t(count));
        state->position += count;
        return int(count);
    }
    for (;;) {
        const ssize_t got = ::read(state->descriptor, buffer, std::size_t(size));
        if (got > 0)
            return int(got);
        if (got == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

std::int64_t seekBytes(void *opaque, std::int64_t offset, int whence)
{
    auto *state = static_cast<FfmpegReader::Bytes *>(opaque);
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return std::int64_t(state->size);
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = std::int64_t(state->position); break;
    case SEEK_END: base = std::int64_t(state->size); break;
    default: return AVERROR(EINVAL);
    }
    if (offset > std::int64_t(state->size) - base || base + offset < 0)
        return AVERROR(EINVAL);
    state->position = std::size_t(base + offset);
    return std::int64_t(state->position);
}

// A tag as the number the file holds. Decoders copy a bitstream's numbers
// into FFmpeg's enum fields unchecked, so a field may hold a value its enum
// lacks, which must not be read as that enum.
template <typename Tag>
int tagValue(const Tag &field)
{
    static_assert(sizeof(Tag) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

int swsSpace(VideoFrames::Matrix matrix)
{
    switch (matrix) {
    case VideoFrames::Matrix::Bt709: return SWS_CS_ITU709;
    case VideoFrames::Matrix::Bt2020: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;
    }
}

// The full-range pixel formats of old are their plain twins, with the range
// told separately.
AVPixelFormat plainFormat(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

// Four lanes of 8-byte words, each multiplied into its own running value,
// then folded into `seed`: fast, and enough to tell contents apart before
// comparing them.
std::uint64_t hashBytes(const std::uint8_t *bytes, std::size_t count, std::uint64_t seed)
{
    constexpr std::uint64_t Odd = 0x9E3779B97F4A7C15u;
    std::uint64_t lane[4] = {seed, seed ^ 0x632BE59BD9B4E019u, seed + Odd, seed - Odd};
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32)
        for (int k = 0; k < 4; ++k) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i + 8 * k, 8);
            lane[k] = ((lane[k] ^ word) * Odd) ^ (lane[k] >> 29);
        }
    std::uint64_t hash = lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7);
    for (; i < count; ++i)
        hash = (hash ^ bytes[i]) * Odd;
    return hash ^ (hash >> 31);
}

bool fullRangeFormat(AVPixelFormat format)
{
    return plainFormat(format) != format;
}

} // namespace

FfmpegReader::~FfmpegReader()
{
    sws_freeContext(scaler_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
    if (io_ && inMemory_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    } else if (io_) {
        avio_closep(&io_);
    }
}

std::unique_ptr<FfmpegReader> FfmpegReader::Open(const QString &fileName, int limitMB,
                                                 VideoFrames::Decoding decoding, QString &error)
{
    return OpenFile(fileName, limitMB, decoding, true, error);
}

std::unique_ptr<FfmpegReader> FfmpegReader::OpenFile(const QString &fileName, int limitMB,
                                                     VideoFrames::Decoding decoding, bool countFrames, QString &error)
{
    const bool standardInput = fileName == QLatin1String("-");
    const QString shown = standardInput ? tr("standard input") : QDir::toNativeSeparators(fileName);
    // Only the file protocol (or the pipe): a name such as "http://..." or
    // "concat:a|b" is a file of that name, nothing else.
    const QByteArray url = standardInput ? QByteArray("pipe:0") : "file:" + QFile::encodeName(fileName);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file,pipe", 0);
    AVIOContext *io = nullptr;
    const int opened = avio_open2(&io, url.constData(), AVIO_FLAG_READ, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = tr("Could not open the recording %1: %2").arg(shown, FfmpegErrorText(opened));
        return nullptr;
    }
    std::unique_ptr<FfmpegReader> reader(new FfmpegReader);
    if (!reader->start(io, shown, limitMB, decoding, error))
        return nullptr;
    // Matroska and others do not say how many frames they hold: a file is
    // demuxed once more, without decoding, to count them.
    if (reader->info_.frames < 0 && countFrames && !standardInput) {
        QString ignored;
        if (const std::unique_ptr<FfmpegReader> counter = OpenFile(fileName, limitMB, decoding, false, ignored))
            reader->info_.frames = counter->countPackets();
    }
    return reader;
}

std::int64_t FfmpegReader::countPackets()
{
    std::int64_t count = 0;
    while (av_read_frame(format_, packet_) >= 0) {
        count += packet_->stream_index == stream_;
        av_packet_unref(packet_);
    }
    return count;
}

bool FfmpegReader::Probe(const QString &fileName)
{
    const QByteArray url = "file:" + QFile::encodeName(fileName);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext *io = nullptr;
    const int opened = avio_open2(&io, url.constData(), AVIO_FLAG_READ, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return false;
    const AVInputFormat *input = nullptr;
    // By the content alone, and only a confident guess: text or noise that a
    // raw format half matches is no recording.
    const int score = av_probe_input_buffer2(io, &input, "", nullptr, 0, 0);
    avio_closep(&io);
    return input && score > AVPROBE_SCORE_RETRY;
}

bool FfmpegReader::ProbeBytes(const QByteArray &head)
{
    Bytes bytes {reinterpret_cast<const std::uint8_t *>(head.constData()), std::size_t(head.size()), 0};
    constexpr int BufferSize = 1 << 15;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    AVIOContext *io = buffer ? avio_alloc_context(buffer, BufferSize, 0, &bytes, readBytes, nullptr, seekBytes) : nullptr;
    if (!io) {
        av_free(buffer);
        return false;
    }
    const AVInputFormat *input = nullptr;
    // As Probe: only a confident guess.
    const int score = av_probe_input_buffer2(io, &input, "", nullptr, 0, 0);
    av_freep(&io->buffer);
    avio_context_free(&io);
    return input && score > AVPROBE_SCORE_RETRY;
}

std::unique_ptr<FfmpegReader> FfmpegReader::OpenStream(const QByteArray &head, int descriptor, const QString &shownName,
                                                      int limitMB, QString &error)
{
    std::unique_ptr<FfmpegReader> reader(new FfmpegReader);
    reader->piped_ = {head, 0, descriptor};
    reader->inMemory_ = true;
    constexpr int BufferSize = 1 << 15;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    // No seek: a pipe goes one way. A container that keeps its index at the
    // end (MP4 as most programs write it) cannot be read from one.
    AVIOContext *io =
        buffer ? avio_alloc_context(buffer, BufferSize, 0, &reader->piped_, readStream, nullptr, nullptr) : nullptr;
    if (!io) {
        av_free(buffer);
        error = tr("There is not enough memory to read the recording.");
        return nullptr;
    }
    if (!reader->start(io, shownName, limitMB, VideoFrames::Decoding::Threads, error))
        return nullptr;
    return reader;
}

std::unique_ptr<FfmpegReader> FfmpegReader::OpenBytes(const std::uint8_t *data, std::size_t size, int limitMB,
                                                     QString &error)
{
    std::unique_ptr<FfmpegReader> reader(new FfmpegReader);
    reader->memory_ = {data, size, 0};
    reader->inMemory_ = true;
    constexpr int BufferSize = 1 << 15;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    AVIOContext *io = buffer ? avio_alloc_context(buffer, BufferSize, 0, &reader->memory_, readBytes, nullptr, seekBytes)
                             : nullptr;
    if (!io) {
        av_free(buffer);
        error = tr("There is not enough memory to read the recording.");
        return nullptr;
    }
    if (!reader->start(io, tr("the recording"), limitMB, VideoFrames::Decoding::Threads, error))
        return nullptr;
    return reader;
}

bool FfmpegReader::start(AVIOContext *io, const QString &shownName, int limitMB, VideoFrames::Decoding decoding,
                         QString &error)
{
    io_ = io;
    shownName_ = shownName;
    const auto failed = [&](const QString &reason) {
        error = tr("Could not read the recording %1: %2").arg(shownName, reason);
        return false;
    };

    // The demuxer is chosen here, by the content, so that one we do not open
    // is refused by name before it reads a byte more.
    const AVInputFormat *input = nullptr;
    const int probed = av_probe_input_buffer2(io_, &input, "", nullptr, 0, 0);
    if (probed < 0 || !input)
        return failed(tr("it is neither a picture nor a recording FFmpeg knows (%1).").arg(FfmpegErrorText(probed)));
    if (!allowed(input))
        return failed(tr("its format '%1' is not one of the recordings opened here (a playlist, a list of other "
                         "files or a picture sequence is never followed).")
                          .arg(QString::fromLatin1(input->name)));

    format_ = avformat_alloc_context();
    if (!format_)
        return failed(tr("not enough memory."));
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file,pipe", 0);
    av_dict_set(&options, "format_whitelist", AllowedFormats, 0);
    // Checksums the container holds (Matroska's CRC-32) are checked, and a
    // mismatch is an error.
    av_dict_set(&options, "err_detect", "crccheck+explode", 0);
    const int opened = avformat_open_input(&format_, nullptr, input, &options);
    av_dict_free(&options);
    if (opened < 0) // avformat_open_input has freed the context
        return failed(FfmpegErrorText(opened));

    maxPixels_ = limitMB > 0 ? std::int64_t(limitMB) * 1024 * 1024 / 4 : std::int64_t(INT_MAX);
    // The decoders that probe the streams obey the limit too.
    std::vector<AVDictionary *> streamOptions(format_->nb_streams, nullptr);
    for (AVDictionary *&each : streamOptions)
        av_dict_set_int(&each, "max_pixels", maxPixels_, 0);
    const int found = avformat_find_stream_info(format_, streamOptions.data());
    for (AVDictionary *&each : streamOptions)
        av_dict_free(&each);
    if (found < 0)
        return failed(FfmpegErrorText(found));

    const AVCodec *codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ < 0 || !codec)
        return failed(stream_ == AVERROR_DECODER_NOT_FOUND ? tr("FFmpeg has no decoder for its video.")
                                                           : tr("it holds no video."));
    const AVCodecParameters *parameters = format_->streams[stream_]->codecpar;
    if (av_image_check_size2(unsigned(parameters->width), unsigned(parameters->height), maxPixels_, AV_PIX_FMT_NONE, 0,
                             nullptr)
        < 0)
        return failed(tr("its frames of %1x%2 are larger than the allocation limit allows.")
                          .arg(parameters->width)
                          .arg(parameters->height));

    decoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!decoder_ || !frame_ || !packet_)
        return failed(tr("not enough memory."));
    if (avcodec_parameters_to_context(decoder_, parameters) < 0)
        return failed(tr("not enough memory."));
    decoder_->thread_count = decoding == VideoFrames::Decoding::OneThread ? 1 : 0;
    decoder_->max_pixels = maxPixels_;
    // A damaged frame is an error, never a frame patched up from its neighbours.
    decoder_->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_EXPLODE;
    decoder_->pkt_timebase = format_->streams[stream_]->time_base;
    const int decoderOpened = avcodec_open2(decoder_, codec, nullptr);
    if (decoderOpened < 0)
        return failed(FfmpegErrorText(decoderOpened));
    describe();
    return true;
}

void FfmpegReader::describe()
{
    const AVStream *stream = format_->streams[stream_];
    const AVCodecParameters *parameters = stream->codecpar;
    info_.codec = nameOr(avcodec_get_name(parameters->codec_id));
    const auto pixelFormat = AVPixelFormat(decoder_->pix_fmt);
    info_.pixelFormat = nameOr(av_get_pix_fmt_name(pixelFormat));
    info_.width = parameters->width;
    info_.height = parameters->height;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    info_.fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
    info_.frames = stream->nb_frames > 0 ? stream->nb_frames : -1;
    if (stream->nb_frames > 0)
        declaredFrames_ = stream->nb_frames;
    else if (format_->duration > 0 && info_.fps > 0)
        declaredFrames_ = std::int64_t(std::floor(double(format_->duration) / AV_TIME_BASE * info_.fps + 0.5));
    // av_color_*_name() answer null for a number they do not know.
    info_.range = nameOr(av_color_range_name(AVColorRange(tagValue(parameters->color_range))));
    info_.matrix = nameOr(av_color_space_name(AVColorSpace(tagValue(parameters->color_space))));
    info_.primaries = nameOr(av_color_primaries_name(AVColorPrimaries(tagValue(parameters->color_primaries))));
    info_.container = nameOr(format_->iformat->name);
    info_.transfer = nameOr(av_color_transfer_name(AVColorTransferCharacteristic(tagValue(parameters->color_trc))));
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(pixelFormat);
    const bool rgb = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
    decideShown(tagValue(parameters->color_space), tagValue(parameters->color_range),
                tagValue(parameters->color_primaries), rgb, fullRangeFormat(pixelFormat));
    if (descriptor) {
        info_.chromaShiftX = descriptor->log2_chroma_w;
        info_.chromaShiftY = descriptor->log2_chroma_h;
        info_.bitDepth = descriptor->comp[0].depth;
    }
}

void FfmpegReader::decideShown(int space, int range, int primaries, bool rgb, bool fullRangeFormat)
{
    PlayerRules::Tags tags;
    // FFmpeg's decoders tell a full-range stream by a pixel format of its own.
    tags.range = fullRangeFormat ? QStringLiteral("pc") : nameOr(av_color_range_name(AVColorRange(range)));
    tags.matrix = nameOr(av_color_space_name(AVColorSpace(space)));
    tags.primaries = nameOr(av_color_primaries_name(AVColorPrimaries(primaries)));
    tags.codec = info_.codec;
    tags.container = info_.container;
    tags.width = info_.width;
    tags.height = info_.height;
    tags.rgb = rgb;
    const PlayerRules::Shown shown = PlayerRules::Decide(player_, tags);
    info_.shownMatrix = shown.matrix;
    info_.shownFullRange = shown.fullRange;
    info_.shownConvertedFrom = shown.convertedFrom;
    info_.shown = PlayerRules::Describe(player_, shown);
}

void FfmpegReader::setPlayer(VideoFrames::Player player)
{
    player_ = player;
    // Decided again from the stream's tags now, and from the next frame's
    // own when it is converted.
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    const AVCodecParameters *parameters = format_->streams[stream_]->codecpar;
    const auto pixelFormat = AVPixelFormat(decoder_->pix_fmt);
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(pixelFormat);
    decideShown(tagValue(parameters->color_space), tagValue(parameters->color_range),
                tagValue(parameters->color_primaries), descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB),
                fullRangeFormat(pixelFormat));
}

bool FfmpegReader::fail(const QString &message)
{
    error_ = tr("Could not read the recording %1: %2").arg(shownName_, message);
    ended_ = true;
    return false;
}

bool FfmpegReader::read()
{
    while (!ended_) {
        const int received = avcodec_receive_frame(decoder_, frame_);
        if (received == 0) {
            if (frame_->decode_error_flags != 0 || (frame_->flags & AV_FRAME_FLAG_CORRUPT))
                return fail(tr("frame %1 is damaged.").arg(framesRead_));
            if (av_image_check_size2(unsigned(frame_->width), unsigned(frame_->height), maxPixels_, AV_PIX_FMT_NONE, 0,
                                     nullptr)
                < 0)
                return fail(tr("frame %1 (%2x%3) is larger than the allocation limit allows.")
                                .arg(framesRead_)
                                .arg(frame_->width)
                                .arg(frame_->height));
            ++framesRead_;
            return true;
        }
        if (received == AVERROR_EOF) {
            // A file cut off in a frame ends like a whole one: the demuxer
            // drops what is left of it. The length it declares tells.
            if (declaredFrames_ > framesRead_ + 1)
                return fail(tr("it breaks off at frame %1: the file ends in the middle of it (it holds %2 frames).")
                                .arg(framesRead_)
                                .arg(declaredFrames_));
            ended_ = true;
            return false;
        }
        if (received != AVERROR(EAGAIN))
            return fail(tr("frame %1 could not be decoded (%2).").arg(framesRead_).arg(FfmpegErrorText(received)));
        if (draining_)
            return fail(tr("the decoder stopped after frame %1.").arg(framesRead_ - 1));

        const int read = av_read_frame(format_, packet_);
        if (read == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(decoder_, nullptr);
            continue;
        }
        // An MP4 that keeps its index after its frames is read to the index
        // from a pipe, which cannot go back to the frames.
        if (read < 0 && packetsSent_ == 0 && piped_.descriptor >= 0 && std::strstr(format_->iformat->name, "mp4"))
            return fail(tr("its index comes after its frames (MP4 as most programs write it), and a pipe cannot go back "
                           "to them: give it as a file, or make the index come first (ffmpeg -movflags +faststart) "
                           "or remux it to Matroska."));
        if (read < 0)
            return fail(tr("it breaks off at frame %1 (%2).").arg(packetsSent_).arg(FfmpegErrorText(read)));
        if (packet_->stream_index == stream_) {
            if (packet_->flags & AV_PKT_FLAG_CORRUPT) {
                av_packet_unref(packet_);
                return fail(tr("frame %1 is damaged.").arg(packetsSent_));
            }
            const int sent = avcodec_send_packet(decoder_, packet_);
            av_packet_unref(packet_);
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return fail(tr("frame %1 is damaged (%2).").arg(packetsSent_).arg(FfmpegErrorText(sent)));
            ++packetsSent_;
        } else {
            av_packet_unref(packet_);
        }
    }
    return false;
}

bool FfmpegReader::convert(QImage &frame)
{
    if (framesRead_ == 0 || ended_)
        return fail(tr("there is no frame to convert."));
    const std::int64_t number = framesRead_ - 1;
    const int width = frame_->width;
    const int height = frame_->height;
    const auto source = AVPixelFormat(frame_->format);
    // A caller that hands an RGBX64 picture in gets 16 bits a channel.
    const bool deep = frame.format() == QImage::Format_RGBX64;
    const QImage::Format wanted = deep ? QImage::Format_RGBX64 : QImage::Format_RGB32;
    const AVPixelFormat target = deep ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_BGRA;
    if (deep && std::int64_t(width) * height * 2 > maxPixels_)
        return fail(tr("frame %1 (%2x%3) is larger than the allocation limit allows at 16 bits a channel.")
                        .arg(number)
                        .arg(width)
                        .arg(height));
    if (frame.size() != QSize(width, height) || frame.format() != wanted) {
        frame = QImage(width, height, wanted);
        if (frame.isNull())
            return fail(tr("there is not enough memory for a frame of %1x%2.").arg(width).arg(height));
    }
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(source);
    const QRect part = convertedPart(descriptor, width, height);
    if (!scaler_ || scalerFormat_ != source || scalerWidth_ != part.width() || scalerHeight_ != part.height()
        || scalerTarget_ != target) {
        sws_freeContext(scaler_);
        scaler_ = nullptr;
        const bool rgb = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
        // The frame's own tags where the decoder found them in the bitstream.
        const AVCodecParameters *parameters = format_->streams[stream_]->codecpar;
        const int frameSpace = tagValue(frame_->colorspace);
        const int frameRange = tagValue(frame_->color_range);
        const int framePrimaries = tagValue(frame_->color_primaries);
        const int space = frameSpace != AVCOL_SPC_UNSPECIFIED ? frameSpace : tagValue(parameters->color_space);
        const int range = frameRange != AVCOL_RANGE_UNSPECIFIED ? frameRange : tagValue(parameters->color_range);
        const int primaries =
            framePrimaries != AVCOL_PRI_UNSPECIFIED ? framePrimaries : tagValue(parameters->color_primaries);
        decideShown(space, range, primaries, rgb, fullRangeFormat(source));
        // A primaries conversion starts from 16 bits a channel, as a player's
        // does; a caller reading 16 bits a channel gets the numbers unconverted.
        scalerDeep_ = !deep && info_.shownConvertedFrom.has_value();
        if (scalerDeep_ && info_.shownConvertedFrom != convertingFrom_) {
            const Primaries::Converter conversion = PlayerRules::ConversionOf(*info_.shownConvertedFrom);
            toLinear_.resize(65536);
            for (std::size_t i = 0; i < toLinear_.size(); ++i)
                toLinear_[i] = float(Primaries::ToLinear(Primaries::Transfer::Gamma24, double(i) / 65535.0));
            for (std::size_t i = 0; i < 9; ++i)
                primariesMatrix_[i] = float(conversion.matrix()[i / 3][i % 3]);
            fromLinear_.resize((1 << 20) + 1);
            for (std::size_t i = 0; i < fromLinear_.size(); ++i)
                fromLinear_[i] = std::uint8_t(std::lround(
                    255.0 * Primaries::FromLinear(Primaries::Transfer::Gamma24, double(i) / double(1 << 20))));
            convertingFrom_ = info_.shownConvertedFrom;
        }
        // Chroma rebuilt at every pixel and rounded exactly, as a careful
        // player does.
        const AVPixelFormat scaled = scalerDeep_ ? AV_PIX_FMT_RGB48 : target;
        scaler_ = sws_getContext(part.width(), part.height(), plainFormat(source), part.width(), part.height(), scaled,
                                 SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
        scalerTarget_ = target;
        if (!scaler_)
            return fail(tr("frame %1 has a pixel format (%2) that cannot be converted to RGB.")
                            .arg(number)
                            .arg(nameOr(av_get_pix_fmt_name(source))));
        scalerFormat_ = source;
        scalerWidth_ = part.width();
        scalerHeight_ = part.height();
        if (!rgb)
            sws_setColorspaceDetails(scaler_, sws_getCoefficients(swsSpace(info_.shownMatrix)), info_.shownFullRange,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    // The part's first sample in each plane.
    const std::uint8_t *sourcePlanes[4] = {};
    for (int plane = 0; plane < 4 && frame_->data[plane]; ++plane) {
        int step = 0;
        for (int c = 0; descriptor && c < descriptor->nb_components; ++c)
            if (descriptor->comp[c].plane == plane)
                step = std::max(step, descriptor->comp[c].step);
        const bool chroma = plane == 1 || plane == 2;
        const int x = chroma ? part.x() >> descriptor->log2_chroma_w : part.x();
        const int y = chroma ? part.y() >> descriptor->log2_chroma_h : part.y();
        sourcePlanes[plane] = frame_->data[plane] + std::ptrdiff_t(y) * frame_->linesize[plane] + std::ptrdiff_t(x) * step;
    }
    std::uint8_t *targetPlanes[4] = {
        frame.bits() + std::ptrdiff_t(part.y()) * frame.bytesPerLine() + part.x() * (deep ? 8 : 4), nullptr, nullptr,
        nullptr};
    int targetStride[4] = {int(frame.bytesPerLine()), 0, 0, 0};
    if (scalerDeep_) {
        deepRows_.resize(std::size_t(part.width()) * 3 * std::size_t(part.height()));
        targetPlanes[0] = reinterpret_cast<std::uint8_t *>(deepRows_.data());
        targetStride[0] = part.width() * 6;
    }
    if (sws_scale(scaler_, sourcePlanes, frame_->linesize, 0, part.height(), targetPlanes, targetStride)
        != part.height())
        return fail(tr("frame %1 could not be converted to RGB.").arg(number));
    if (scalerDeep_)
        convertPrimaries(frame, part);
    return true;
}

void FfmpegReader::convertPrimaries(QImage &frame, const QRect &part)
{
    const auto &m = primariesMatrix_;
    constexpr float Steps = float(1 << 20);
    const auto encode = [&](float linear) {
        return fromLinear_[std::size_t(std::clamp(linear, 0.0f, 1.0f) * Steps + 0.5f)];
    };
    for (int y = 0; y < part.height(); ++y) {
        const std::uint16_t *in = deepRows_.data() + std::size_t(y) * std::size_t(part.width()) * 3;
        auto *out = reinterpret_cast<QRgb *>(frame.scanLine(part.y() + y)) + part.x();
        for (int x = 0; x < part.width(); ++x, in += 3) {
            const float r = toLinear_[in[0]], g = toLinear_[in[1]], b = toLinear_[in[2]];
            out[x] = qRgb(encode(m[0] * r + m[1] * g + m[2] * b), encode(m[3] * r + m[4] * g + m[5] * b),
                          encode(m[6] * r + m[7] * g + m[8] * b));
        }
    }
}

QRect FfmpegReader::convertedPart(const AVPixFmtDescriptor *descriptor, int width, int height) const
{
    const QRect whole(0, 0, width, height);
    if (region_.isEmpty() || !descriptor
        || (descriptor->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)))
        return whole;
    // A margin wider than the chroma filter's reach, so that the region's
    // pixels come out as they do from the whole frame, and corners on whole
    // chroma samples.
    constexpr int Margin = 16;
    const int alignX = 1 << descriptor->log2_chroma_w;
    const int alignY = 1 << descriptor->log2_chroma_h;
    QRect part = region_.adjusted(-Margin, -Margin, Margin, Margin) & whole;
    part.setLeft(part.left() / alignX * alignX);
    part.setTop(part.top() / alignY * alignY);
    return part.isEmpty() ? whole : part;
}

std::int64_t FfmpegReader::content()
{
    // At most this many different contents, and this many bytes of them.
    constexpr std::size_t MostContents = 8;
    constexpr std::size_t MostBytes = std::size_t(48) << 20;
    if (region_.isEmpty() || framesRead_ == 0 || ended_)
        return -1;
    const auto format = AVPixelFormat(frame_->format);
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor || (descriptor->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)))
        return -1;
    const QRect part = convertedPart(descriptor, frame_->width, frame_->height);
    const QSize frameSize(frame_->width, frame_->height);
    if (part != contentPart_ || format != contentFormat_ || frameSize != contentFrameSize_) {
        contents_.clear();
        contentPart_ = part;
        contentFormat_ = format;
        contentFrameSize_ = frameSize;
    }

    // Each plane's rows of the part, where the conversion reads them.
    struct Rows
    {
        const std::uint8_t *first;
        int stride;
        std::size_t bytes;
        int count;
    };
    std::vector<Rows> planes;
    std::size_t total = 0;
    for (int plane = 0; plane < 4 && frame_->data[plane]; ++plane) {
        int step = 0;
        for (int c = 0; c < descriptor->nb_components; ++c)
            if (descriptor->comp[c].plane == plane)
                step = std::max(step, descriptor->comp[c].step);
        if (step == 0)
            continue;
        const bool chroma = plane == 1 || plane == 2;
        const int shiftX = chroma ? descriptor->log2_chroma_w : 0;
        const int shiftY = chroma ? descriptor->log2_chroma_h : 0;
        const int x = part.x() >> shiftX;
        const int y = part.y() >> shiftY;
        const int across = -((-part.width()) >> shiftX);
        const int down = -((-part.height()) >> shiftY);
        planes.push_back({frame_->data[plane] + std::ptrdiff_t(y) * frame_->linesize[plane] + std::ptrdiff_t(x) * step,
                          frame_->linesize[plane], std::size_t(across) * std::size_t(step), down});
        total += planes.back().bytes * std::size_t(down);
    }
    if (total == 0 || total > MostBytes)
        return -1;

    // A hash of every few rows tells most different contents apart at
    // once; an equal one is compared byte for byte.
    constexpr int HashedRowEvery = 8;
    std::uint64_t hash = total;
    for (const Rows &rows : planes)
        for (int row = 0; row < rows.count; row += HashedRowEvery)
            hash = hashBytes(rows.first + std::ptrdiff_t(row) * rows.stride, rows.bytes, hash);
    const auto same = [&](const std::vector<std::uint8_t> &kept) {
        const std::uint8_t *at = kept.data();
        for (const Rows &rows : planes)
            for (int row = 0; row < rows.count; ++row, at += rows.bytes)
                if (std::memcmp(at, rows.first + std::ptrdiff_t(row) * rows.stride, rows.bytes) != 0)
                    return false;
        return true;
    };
    for (auto kept = contents_.begin(); kept != contents_.end(); ++kept)
        if (kept->hash == hash && same(kept->samples)) {
            std::rotate(contents_.begin(), kept, kept + 1);
            return contents_.front().number;
        }

    // A new content, kept in place of the oldest when there are enough.
    const std::size_t most = std::clamp<std::size_t>(MostBytes / total, 1, MostContents);
    Content fresh;
    if (contents_.size() >= most) {
        fresh = std::move(contents_.back());
        contents_.pop_back();
    }
    fresh.number = nextContent_++;
    fresh.hash = hash;
    fresh.samples.resize(total);
    std::uint8_t *to = fresh.samples.data();
    for (const Rows &rows : planes)
        for (int row = 0; row < rows.count; ++row, to += rows.bytes)
            std::memcpy(to, rows.first + std::ptrdiff_t(row) * rows.stride, rows.bytes);
    contents_.insert(contents_.begin(), std::move(fresh));
    return contents_.front().number;
}

VideoFrames::Samples FfmpegReader::samples() const
{
    VideoFrames::Samples samples;
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(AVPixelFormat(frame_->format));
    if (!descriptor || !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) || (descriptor->flags & AV_PIX_FMT_FLAG_BE)
        || descriptor->nb_components < 3 || descriptor->comp[0].depth > 16)
        return samples;
    // Y', Cb, Cr or R', G', B', wherever their planes lie.
    for (int component = 0; component < 3; ++component) {
        const int plane = descriptor->comp[component].plane;
        samples.plane[component] = frame_->data[plane];
        samples.stride[component] = frame_->linesize[plane];
    }
    samples.bytesPerSample = descriptor->comp[0].depth > 8 ? 2 : 1;
    return samples;
}
