// The module's entry: what VideoLibrary resolves once it has loaded it.

#include "video/ClipWriter.h"
#include "video/FfmpegReader.h"
#include "video/VideoFrames.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

class FfmpegModule : public VideoFrames::Module
{
public:
    FfmpegModule()
    {
        // Our own messages say what went wrong, once, naming the file.
        av_log_set_level(AV_LOG_QUIET);
    }

    bool isRecording(const QString &fileName) override
    {
        return FfmpegReader::Probe(fileName);
    }
    bool isRecordingHead(const QByteArray &head) override
    {
        return FfmpegReader::ProbeBytes(head);
    }

    std::unique_ptr<VideoFrames::Reader> open(const QString &fileName, int limitMB, VideoFrames::Decoding decoding,
                                              QString &error) override
    {
        return FfmpegReader::Open(fileName, limitMB, decoding, error);
    }
    std::unique_ptr<VideoFrames::Reader> openStream(const QByteArray &head, int descriptor, const QString &shownName,
                                                    int limitMB, QString &error) override
    {
        return FfmpegReader::OpenStream(head, descriptor, shownName, limitMB, error);
    }

    bool writeClip(const QImage &sheet, VideoFrames::ClipFormat format, int frames, int fps, QIODevice &device,
                   QString &reason) override
    {
        return ClipWriter::Write(sheet, format, frames, fps, device, reason);
    }

    bool writeYcbcrClip(const QImage &sheet, const VideoFrames::YcbcrRecipe &recipe, VideoFrames::ClipFormat format,
                        int frames, int fps, QIODevice &device, QString &reason) override
    {
        return ClipWriter::WriteYcbcr(sheet, recipe, format, frames, fps, device, reason);
    }

    bool writeDeepClip(const QImage &sheet, const VideoFrames::DeepClip &clip, VideoFrames::ClipFormat format,
                       int frames, int fps, QIODevice &device, QString &reason) override
    {
        return ClipWriter::WriteDeep(sheet, clip, format, frames, fps, device, reason);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) VideoFrames::Module *tintwell_video_module()
{
    static FfmpegModule module;
    return &module;
}
