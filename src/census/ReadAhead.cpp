#include "census/ReadAhead.h"

#include "video/VideoFrames.h"

#include <algorithm>
#include <system_error>

ReadAhead::ReadAhead(VideoFrames::Reader &reader, std::int64_t framesRead, std::int64_t endFrame)
    : reader_(reader),
      framesRead_(framesRead),
      endFrame_(endFrame)
{
    for (int i = 0; i < int(Pictures); ++i)
        free_.push_back(i);
    try {
        thread_ = std::thread(&ReadAhead::run, this);
    } catch (const std::system_error &) {
        // No thread to be had: next() reads each frame itself.
    }
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ReadAhead::run()
{
    // Content numbers grow: one above every number seen so far is new.
    std::int64_t newest = -1;
    for (;;) {
        if (endFrame_ >= 0 && framesRead_ >= endFrame_)
            break;
        if (!reader_.read())
            break;
        ++framesRead_;
        const std::int64_t content = reader_.content();
        int picture = -1;
        if (content < 0 || content > newest) {
            newest = std::max(newest, content);
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
                if (stopping_)
                    return;
                picture = free_.back();
                free_.pop_back();
            }
            if (!reader_.convert(pictures_[std::size_t(picture)]))
                break;
        }
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // Unconverted frames need no picture, but the queue stays short.
            changed_.wait(lock, [this] { return stopping_ || made_.size() < Pictures; });
            if (stopping_)
                return;
            made_.push_back({content, picture});
        }
        changed_.notify_all();
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool ReadAhead::next(Frame &frame)
{
    if (!thread_.joinable()) {
        // Read here, one frame at a time, into the first picture.
        if ((endFrame_ >= 0 && framesRead_ >= endFrame_) || !reader_.read())
            return false;
        ++framesRead_;
        frame.content = reader_.content();
        if (!reader_.convert(pictures_[0]))
            return false;
        frame.image = &pictures_[0];
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ >= 0) {
        free_.push_back(taken_);
        taken_ = -1;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !made_.empty() || ended_; });
    if (made_.empty())
        return false;
    const Made made = made_.front();
    made_.pop_front();
    changed_.notify_all();
    taken_ = made.picture;
    frame.content = made.content;
    frame.image = made.picture >= 0 ? &pictures_[std::size_t(made.picture)] : nullptr;
    return true;
}
