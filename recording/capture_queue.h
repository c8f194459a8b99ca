// What every wave-input device does, wherever its sound comes from: the
// open/capturing/closed states, the buffer queue filled strictly in order, and the posting of
// notifications. A device puts its audio backend in front of it and supplies the way a
// notification reaches the owner's thread (a queued call in the window, a list in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <utility>

#include "recording/wave_input.h"

namespace vorlix {

class CaptureQueue {
  public:
    // Hands a notification to the owner's thread, to be run later and in posting order.
    using Post = std::function<void(std::function<void()>)>;

    explicit CaptureQueue(Post post);

    // The seven operations, with the contract of WaveInput. open() here only records the
    // owner; the device opens its backend first and calls it when that worked.
    WaveResult open(WaveInputEvents& events);
    WaveResult prepare(WaveBuffer& buffer);
    WaveResult addBuffer(WaveBuffer& buffer);
    WaveResult start();
    WaveResult reset();
    WaveResult close();
    WaveResult unprepare(WaveBuffer& buffer);

    // Captured sound, in capture order. Fills the queued buffers front first and hands back each
    // one as it fills. Returns the number of bytes that were not kept: sound before start(), after
    // reset() or a failure, and sound that found no queued buffer (an overrun).
    std::size_t deliver(std::span<const std::uint8_t> bytes);

    // Called as each buffer is handed back, before its notification is posted (the moment a
    // buffer fills, for measurements).
    void setHandBackHook(std::function<void(const WaveBuffer&)> hook) { hook_ = std::move(hook); }

    // The backend stopped by itself: capture ends and the failure notification is posted once.
    void fail();

    bool isOpen() const { return open_; }
    bool isCapturing() const { return capturing_; }
    bool hasFailed() const { return failed_; }
    std::size_t queuedBuffers() const { return queue_.size(); }
    // Bytes that arrived while capturing but found no queued buffer, since open().
    std::uint64_t overrunBytes() const { return overrunBytes_; }

  private:
    void handBack(WaveBuffer& buffer);

    Post post_;
    std::function<void(const WaveBuffer&)> hook_;
    WaveInputEvents* events_ = nullptr;
    std::deque<WaveBuffer*> queue_;
    bool open_ = false;
    bool capturing_ = false;
    bool failed_ = false;
    std::uint64_t overrunBytes_ = 0;
};

}  // namespace vorlix
