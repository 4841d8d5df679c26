#pragma once

// A recording read ahead on a thread of its own: the reader decodes the next
// frames (and converts those whose sheet area holds something new) while the
// caller measures the one before, so that decoding takes one core and
// measuring the other. Frames come in order, each with the number of its
// content (VideoFrames::Reader::content()); a frame whose content was
// converted before comes unconverted. Nothing else may use the reader until
// the read-ahead has ended (its destructor waits for the thread).

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace VideoFrames {
class Reader;
}

class ReadAhead
{
public:
    struct Frame
    {
        std::int64_t content = -1;
        // The frame converted (its region at least), or null when its
        // content was converted before.
        const QImage *image = nullptr;
    };

    // Reads from `reader` until the end, an error, or `endFrame` frames
    // read in all (-1: no end), `framesRead` of them being read already.
    ReadAhead(VideoFrames::Reader &reader, std::int64_t framesRead, std::int64_t endFrame);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next frame; false at the end of the frames or on an error (the
    // reader's error() says which, once the read-ahead has ended). The
    // frame's picture stays valid until the next call.
    bool next(Frame &frame);

private:
    void run();

    // Frames converted at a time: one measured, one waiting, one being made.
    static constexpr std::size_t Pictures = 3;

    VideoFrames::Reader &reader_;
    std::int64_t framesRead_;
    const std::int64_t endFrame_;
    std::vector<QImage> pictures_ = std::vector<QImage>(Pictures);
    std::mutex mutex_;
    std::condition_variable changed_;
    // Frames read and not yet taken; the pictures free to convert into.
    struct Made
    {
        std::int64_t content;
        int picture; // -1: not converted
    };
    std::deque<Made> made_;
    std::vector<int> free_;
    int taken_ = -1; // the picture the caller holds
    bool ended_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
