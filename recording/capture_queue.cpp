#include "recording/capture_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vorlix {
namespace {

constexpr std::int32_t kMaxJoinSkip = kNarrationSampleRate / 50;  // 20 ms
constexpr std::int32_t kJoinRamp = kNarrationSampleRate / 200;    // 5 ms

std::int32_t sampleAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    return static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

std::int32_t clamp16(std::int32_t v) {
    return std::clamp<std::int32_t>(v, -32768, 32767);
}

}  // namespace

CaptureQueue::CaptureQueue(Post post) : post_(std::move(post)) {}

WaveResult CaptureQueue::open(WaveInputEvents& events, const WaveFormat& format) {
    if (open_) return WaveResult::AlreadyOpen;
    events_ = &events;
    open_ = true;
    capturing_ = false;
    failed_ = false;
    overrunBytes_ = 0;
    joinable_ = format.bitsPerSample == 16 && format.channels == 1;
    paused_ = seeking_ = false;
    last_ = beforeLast_ = 0;
    rampLeft_ = 0;
    WaveInputEvents* owner = events_;
    post_([owner] { owner->onWaveOpen(); });
    return WaveResult::Ok;
}

WaveResult CaptureQueue::prepare(WaveBuffer& buffer) {
    if (!open_) return WaveResult::NotOpen;
    if (buffer.data == nullptr || buffer.bufferLength <= 0) return WaveResult::BadBuffer;
    if ((buffer.flags & kWaveBufferInQueue) != 0) return WaveResult::InQueue;
    buffer.flags |= kWaveBufferPrepared;
    return WaveResult::Ok;
}

WaveResult CaptureQueue::addBuffer(WaveBuffer& buffer) {
    if (!open_) return WaveResult::NotOpen;
    if ((buffer.flags & kWaveBufferPrepared) == 0) return WaveResult::NotPrepared;
    if ((buffer.flags & kWaveBufferInQueue) != 0) return WaveResult::InQueue;
    buffer.flags = (buffer.flags & ~kWaveBufferDone) | kWaveBufferInQueue;
    buffer.bytesRecorded = 0;
    queue_.push_back(&buffer);
    return WaveResult::Ok;
}

WaveResult CaptureQueue::start() {
    if (!open_) return WaveResult::NotOpen;
    // A failed backend delivers nothing more; starting it again would only pretend.
    if (failed_) return WaveResult::NoDevice;
    if (paused_ && joinable_) {
        seeking_ = true;
        haveIncoming_ = false;
        skipped_ = 0;
        rampLeft_ = 0;
    }
    paused_ = false;
    capturing_ = true;
    return WaveResult::Ok;
}

WaveResult CaptureQueue::pause() {
    if (!open_) return WaveResult::NotOpen;
    if (capturing_) paused_ = true;
    capturing_ = false;
    return WaveResult::Ok;
}

WaveResult CaptureQueue::reset() {
    if (!open_) return WaveResult::NotOpen;
    capturing_ = false;
    paused_ = seeking_ = false;
    // The front buffer is the one being filled: it goes back first, with what it holds.
    while (!queue_.empty()) {
        WaveBuffer* buffer = queue_.front();
        queue_.pop_front();
        handBack(*buffer);
    }
    return WaveResult::Ok;
}

WaveResult CaptureQueue::close() {
    if (!open_) return WaveResult::NotOpen;
    if (!queue_.empty()) return WaveResult::InQueue;
    open_ = false;
    capturing_ = false;
    WaveInputEvents* owner = events_;
    events_ = nullptr;
    post_([owner] { owner->onWaveClose(); });
    return WaveResult::Ok;
}

WaveResult CaptureQueue::unprepare(WaveBuffer& buffer) {
    if ((buffer.flags & kWaveBufferInQueue) != 0) return WaveResult::InQueue;
    buffer.flags &= ~kWaveBufferPrepared;
    return WaveResult::Ok;
}

std::size_t CaptureQueue::deliver(std::span<const std::uint8_t> bytes) {
    if (!capturing_) return bytes.size();
    const std::size_t offered = bytes.size();
    if (seeking_ || rampLeft_ > 0) bytes = join(bytes);
    return offered - bytes.size() + store(bytes);
}

std::span<const std::uint8_t> CaptureQueue::join(std::span<const std::uint8_t> bytes) {
    joined_.clear();
    const std::int32_t slope = last_ - beforeLast_;
    const std::int32_t target = clamp16(last_ + slope);
    for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
        std::int32_t x = sampleAt(bytes, i);
        if (seeking_) {
            const bool passes =
                slope == 0 || (haveIncoming_ && (slope > 0 ? incoming_ < target && x >= target
                                                           : incoming_ > target && x <= target));
            if (!passes && skipped_ < kMaxJoinSkip) {
                incoming_ = x;
                haveIncoming_ = true;
                ++skipped_;
                continue;
            }
            seeking_ = false;
            rampOffset_ = target - x;
            rampLeft_ = kJoinRamp;
        }
        if (rampLeft_ > 0) {
            x = clamp16(x + rampOffset_ * rampLeft_ / kJoinRamp);
            --rampLeft_;
        }
        joined_.push_back(static_cast<std::uint8_t>(x & 0xFF));
        joined_.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
    }
    return joined_;
}

void CaptureQueue::remember(std::span<const std::uint8_t> stored) {
    const std::size_t n = stored.size() / 2;
    if (!joinable_ || n == 0) return;
    beforeLast_ = n >= 2 ? sampleAt(stored, n - 2) : last_;
    last_ = sampleAt(stored, n - 1);
}

std::size_t CaptureQueue::store(std::span<const std::uint8_t> bytes) {
    const std::span<const std::uint8_t> offered = bytes;
    while (!bytes.empty() && !queue_.empty()) {
        WaveBuffer& buffer = *queue_.front();
        const auto room = static_cast<std::size_t>(buffer.bufferLength - buffer.bytesRecorded);
        const std::size_t n = std::min(room, bytes.size());
        std::memcpy(buffer.data + buffer.bytesRecorded, bytes.data(), n);
        buffer.bytesRecorded += static_cast<std::int32_t>(n);
        bytes = bytes.subspan(n);
        if (buffer.bytesRecorded == buffer.bufferLength) {
            queue_.pop_front();
            handBack(buffer);
        }
    }
    overrunBytes_ += bytes.size();
    remember(offered.first(offered.size() - bytes.size()));
    return bytes.size();
}

void CaptureQueue::fail() {
    if (!open_ || failed_) return;
    failed_ = true;
    capturing_ = false;
    WaveInputEvents* owner = events_;
    post_([owner] { owner->onWaveFailed(); });
}

void CaptureQueue::handBack(WaveBuffer& buffer) {
    buffer.flags = (buffer.flags & ~kWaveBufferInQueue) | kWaveBufferDone;
    if (hook_) hook_(buffer);
    WaveInputEvents* owner = events_;
    WaveBuffer* handed = &buffer;
    post_([owner, handed] { owner->onWaveData(*handed); });
}

}  // namespace vorlix
