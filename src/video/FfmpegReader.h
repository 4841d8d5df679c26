#pragma once

// A recording read through FFmpeg's libraries, frame by frame: one frame is
// held at a time. Only local files and standard input are opened, through
// demuxers of recordings only (never one that opens other files: playlists,
// concat lists, picture sequences), and every decoded frame is kept within
// the picture allocation limit.

#include "video/VideoFrames.h"

#include <QByteArray>
#include <QRect>
#include <QSize>

#include <vector>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVPixFmtDescriptor;
struct SwsContext;

class FfmpegReader : public VideoFrames::Reader
{
public:
    ~FfmpegReader() override;

    // Opens `fileName` ("-": standard input). Null and `error` set to a
    // sentence naming the file on failure.
    static std::unique_ptr<FfmpegReader> Open(const QString &fileName, int limitMB, VideoFrames::Decoding decoding,
                                              QString &error);
    // Whether FFmpeg takes the content of `fileName` for a format it
    // demuxes (one we do not open included, so that it is refused by name).
    static bool Probe(const QString &fileName);
    // The same for the first bytes of a stream.
    static bool ProbeBytes(const QByteArray &head);
    // Opens a stream that cannot seek: `head`, already read from it, then
    // what `descriptor` gives.
    static std::unique_ptr<FfmpegReader> OpenStream(const QByteArray &head, int descriptor, const QString &shownName,
                                                    int limitMB, QString &error);
    // Opens bytes in memory (the fuzz target), which must outlive the reader.
    static std::unique_ptr<FfmpegReader> OpenBytes(const std::uint8_t *data, std::size_t size, int limitMB,
                                                   QString &error);

    const VideoFrames::StreamInfo &info() const override { return info_; }
    bool read() override;
    bool convert(QImage &frame) override;
    QString error() const override { return error_; }
    VideoFrames::Samples samples() const override;
    void setRegion(const QRect &region) override { region_ = region; }
    std::int64_t content() override;
    void setPlayer(VideoFrames::Player player) override;

    // Bytes in memory and where the reads are in them.
    struct Bytes
    {
        const std::uint8_t *data = nullptr;
        std::size_t size = 0;
        std::size_t position = 0;
    };
    // A stream's bytes already read, then its descriptor.
    struct Stream
    {
        QByteArray head;
        qsizetype position = 0;
        int descriptor = -1;
    };

    // The demuxers we open: the containers and raw streams of recordings.
    static const char *const AllowedFormats;

private:
    FfmpegReader() = default;
    static std::unique_ptr<FfmpegReader> OpenFile(const QString &fileName, int limitMB, VideoFrames::Decoding decoding,
                                                  bool countFrames, QString &error);
    bool start(AVIOContext *io, const QString &shownName, int limitMB, VideoFrames::Decoding decoding, QString &error);
    bool fail(const QString &message);
    QRect convertedPart(const AVPixFmtDescriptor *descriptor, int width, int height) const;
    void describe();
    // What the player shows for these tags (FFmpeg's numbers): info_'s shown fields.
    void decideShown(int space, int range, int primaries, bool rgb, bool fullRangeFormat);
    // The frame's part as RGB48 converted to BT.709 primaries into `frame`.
    void convertPrimaries(QImage &frame, const QRect &part);
    std::int64_t countPackets();

    QString shownName_;
    AVIOContext *io_ = nullptr;
    AVFormatContext *format_ = nullptr;
    AVCodecContext *decoder_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    SwsContext *scaler_ = nullptr;
    QRect region_;
    VideoFrames::Player player_ = VideoFrames::Player::Default;
    // The primaries conversion the player makes: encoded 16-bit to linear,
    // the matrix, linear (in steps of 2^-20) to 8-bit.
    std::vector<float> toLinear_;
    std::array<float, 9> primariesMatrix_ {};
    std::vector<std::uint8_t> fromLinear_;
    std::optional<Primaries::Set> convertingFrom_;
    std::vector<std::uint16_t> deepRows_;
    int scalerFormat_ = -1;
    bool scalerDeep_ = false;
    int scalerTarget_ = -1;
    int scalerWidth_ = 0;
    int scalerHeight_ = 0;
    int stream_ = -1;
    std::int64_t maxPixels_ = 0;
    std::int64_t packetsSent_ = 0;
    std::int64_t framesRead_ = 0;
    // How many frames the container says it holds; 0: it does not say.
    std::int64_t declaredFrames_ = 0;
    bool draining_ = false;
    bool ended_ = false;
    QString error_;
    VideoFrames::StreamInfo info_;
    Bytes memory_; // OpenBytes's
    Stream piped_; // OpenStream's
    bool inMemory_ = false; // io_ is our own context (OpenBytes, OpenStream)

    // The samples of the region in the last few different frames, newest
    // first, for content(): each plane's rows one after another. They are
    // kept while the frames' format, size and region stay as they were.
    struct Content
    {
        std::int64_t number = 0;
        std::uint64_t hash = 0;
        std::vector<std::uint8_t> samples;
    };
    std::vector<Content> contents_;
    std::int64_t nextContent_ = 0;
    QRect contentPart_;
    int contentFormat_ = -1;
    QSize contentFrameSize_;

};
