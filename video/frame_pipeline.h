// Frames made ahead of their consumer on a thread of their own: the slides are read, scaled and
// encoded while the caller writes the sound, and handed over in the order they were made. At
// most `ahead` finished frames wait, plus the one being made, so memory stays bounded however
// long the lecture.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace vorlix {

template <class Frame>
class FramePipeline {
  public:
    // Makes frame i (0, 1, 2, ... in turn, on one thread); false when no frame follows it: the
    // end, or a failure the consumer finds in the frame. Anything it throws ends the frames the
    // same way, with the frame as it stands.
    using Make = std::function<bool(std::int32_t index, Frame& frame)>;

    // ahead 0 makes every frame on the caller's thread when it is asked for: no thread at all.
    FramePipeline(std::size_t ahead, Make make) : ahead_(ahead), make_(std::move(make)) {
        if (ahead_ > 0) thread_ = std::thread([this] { run(); });
    }
    ~FramePipeline() { stop(); }
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // The next frame in order, waiting for it; nothing after the last one.
    std::optional<Frame> next() {
        if (ahead_ == 0) {
            if (ended_) return std::nullopt;
            Frame frame{};
            ended_ = !makeOne(index_++, frame);
            return frame;
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty() || ended_; });
        if (ready_.empty()) return std::nullopt;
        Frame frame = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
        return frame;
    }

    // No more frames are wanted: the one being made is finished, then the thread stops.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

  private:
    bool makeOne(std::int32_t index, Frame& frame) {
        try {
            return make_(index, frame);
        } catch (...) {
            return false;
        }
    }

    void run() {
        for (std::int32_t i = 0;; ++i) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || ready_.size() < ahead_; });
                if (stopping_) break;
            }
            Frame frame{};
            const bool more = makeOne(i, frame);
            {
                std::lock_guard lock(mutex_);
                ready_.push_back(std::move(frame));
                ended_ = !more;
            }
            changed_.notify_all();
            if (!more) return;
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    const std::size_t ahead_;
    const Make make_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame> ready_;
    bool ended_ = false;
    bool stopping_ = false;
    std::int32_t index_ = 0;  // the caller's own count when there is no thread
    std::thread thread_;
};

}  // namespace vorlix
