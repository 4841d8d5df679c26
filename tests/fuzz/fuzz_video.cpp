// The recording reader that census and diagnose read every recording with:
// any bytes, through FFmpeg's demuxers and decoders behind our allow-lists,
// give frames of the stream's size or a reason, never a fault.

#include "FuzzTarget.h"
#include "picture/PictureReader.h"
#include "video/FfmpegReader.h"

#include <QImage>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString error;
    const std::unique_ptr<FfmpegReader> reader =
        FfmpegReader::OpenBytes(data, size, PictureReader::AllocationLimit(), error);
    if (!reader) {
        FuzzTarget::Require(!error.isEmpty(), "a recording that cannot be opened comes with a reason");
        return 0;
    }
    QImage frame;
    // A few frames are enough to reach every decoder's paths; the rest repeat them.
    for (int count = 0; count < 8 && reader->next(frame); ++count) {
        FuzzTarget::Require(frame.format() == QImage::Format_RGB32 && !frame.isNull(), "a frame is RGB32");
        const VideoFrames::Samples samples = reader->samples();
        unsigned sum = frame.constScanLine(frame.height() - 1)[frame.width() * 4 - 1];
        if (samples.plane[0])
            sum += samples.plane[0][0];
        volatile unsigned seen = sum;
        (void)seen;
    }
    return 0;
}
