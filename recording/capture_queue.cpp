#include "recording/capture_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vorlix {

CaptureQueue::CaptureQueue(Post post) : post_(std::move(post)) {}

WaveResult CaptureQueue::open(WaveInputEvents& events) {
    if (open_) return WaveResult::AlreadyOpen;
    events_ = &events;
    open_ = true;
    capturing_ = false;
    failed_ = false;
    overrunBytes_ = 0;
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
    capturing_ = true;
    return WaveResult::Ok;
}

WaveResult CaptureQueue::reset() {
    if (!open_) return WaveResult::NotOpen;
    capturing_ = false;
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
