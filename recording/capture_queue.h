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
#include <vector>

#include "recording/wave_input.h"

namespace vorlix {

class CaptureQueue {
  public:
    // Hands a notification to the owner's thread, to be run later and in posting order.
    using Post = std::function<void(std::function<void()>)>;

    explicit CaptureQueue(Post post);

    // The operations, with the contract of WaveInput. open() here only records the owner; the
    // device opens its backend first and calls it when that worked. For 16-bit mono sound the
    // stream is joined smoothly where a pause cut it (see deliver()).
    WaveResult open(WaveInputEvents& events, const WaveFormat& format = {});
    WaveResult prepare(WaveBuffer& buffer);
    WaveResult addBuffer(WaveBuffer& buffer);
    WaveResult start();
    WaveResult reset();
    WaveResult pause();
    WaveResult close();
    WaveResult unprepare(WaveBuffer& buffer);

    // Captured sound, in capture order, in whole samples. Fills the queued buffers front first
    // and hands back each one as it fills. Returns the number of bytes that were not kept: sound
    // before start(), while paused, after reset() or a failure, sound that found no queued
    // buffer (an overrun), and the few samples dropped to join a resumed stream.
    //
    // The join after a pause: the sound before the pause ended somewhere in a wave, the sound
    // after it starts somewhere else; put side by side, the step between them clicks. So the
    // resumed sound is taken from the first point where it passes the value the old sound was
    // heading for, in the same direction (within 20 ms: one period of the lowest voice), and
    // what little step remains fades out over 5 ms. A steady tone comes out unbroken.
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
    std::size_t store(std::span<const std::uint8_t> bytes);
    // Applies the join to a resumed stream's first samples; what is left to store.
    std::span<const std::uint8_t> join(std::span<const std::uint8_t> bytes);
    void remember(std::span<const std::uint8_t> stored);

    Post post_;
    std::function<void(const WaveBuffer&)> hook_;
    WaveInputEvents* events_ = nullptr;
    std::deque<WaveBuffer*> queue_;
    bool open_ = false;
    bool capturing_ = false;
    bool failed_ = false;
    std::uint64_t overrunBytes_ = 0;

    // The join (16-bit mono only): the last two samples stored, and the state of a join.
    bool joinable_ = false;
    bool paused_ = false;
    std::int32_t last_ = 0;
    std::int32_t beforeLast_ = 0;
    bool seeking_ = false;       // looking for the point to resume from
    bool haveIncoming_ = false;  // incoming_ holds the previous resumed sample
    std::int32_t incoming_ = 0;
    std::int32_t skipped_ = 0;
    std::int32_t rampLeft_ = 0;
    std::int32_t rampOffset_ = 0;
    std::vector<std::uint8_t> joined_;
};

}  // namespace vorlix
