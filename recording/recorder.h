// The lecture's recorder: captures the microphone in two alternating buffers of exactly two
// seconds each, counts every buffer the device hands back, puts it straight back into the
// device's queue, appends it to the narration file and shows it on the REC mark and the level
// meter. The count is the time base of the whole lecture: the lecture clock turns it into
// half-second ticks, so slide times are measured in recorded sound.
//
// Everything here runs on the user-interface thread; the lecture clock only reads the counter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "recording/wave_input.h"

namespace vorlix {

class LectureView;
class NarrationFile;
class UserPrompts;

class Recorder final : public WaveInputEvents {
  public:
    // Two seconds of narration, a whole number of 8-byte blocks.
    static constexpr std::int32_t kBufferLength = 2 * kNarrationSampleRate / 8 * 8;

    // Where capture buffers come from; returns null when the memory cannot be had.
    using BufferAllocator = std::function<std::unique_ptr<std::uint8_t[]>(std::size_t)>;

    // The device must stay alive as long as the recorder; when the recorder goes first it closes
    // the device, whose notifications still pending must then be dropped with the device.
    Recorder(WaveInput& device, NarrationFile& narration, LectureView& view, UserPrompts& prompts,
             BufferAllocator allocate = {});
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The completed-buffer counter. −1: recording has not started (the Start sequence stores it
    // before the clock thread exists); 0: started, no buffer back yet; then +1 for every buffer
    // the device hands back, odd for buffer A and even for buffer B. Only the user-interface
    // thread writes it, each write a single store; stopping does not reset it.
    std::atomic<std::int32_t>& completedBuffers() { return completedBuffers_; }
    std::int32_t completedBufferCount() const { return completedBuffers_.load(); }
    // Narration samples captured so far: the sample position of "now" in the narration.
    std::int64_t recordedSamples() const {
        const std::int32_t count = completedBuffers_.load();
        return count > 0 ? std::int64_t{count} * kBufferLength : 0;
    }

    // Opens the device, prepares the buffers, sets the counter to 0 and creates the narration
    // file named after the clock thread. A device that cannot be opened or buffers that cannot
    // be allocated are reported to the user; the lecture goes on without sound. Does nothing
    // (and returns false) while recording, or while a stopped device still has notifications
    // to deliver: they would free the buffers this start reuses.
    bool startRecording(std::uint32_t clockThreadId);

    // Resets and closes the device and finishes the narration file. The buffers handed back by
    // the reset arrive afterwards; they are counted and shown but no longer written. Does
    // nothing while not recording.
    void stopRecording();

    bool recording() const { return recording_; }
    // Not recording, and nothing more to come from a device of an earlier lecture. A new
    // lecture may start only then.
    bool idle() const { return !recording_ && !awaitingClose_; }
    bool buffersAllocated() const { return bufferA_ != nullptr && bufferB_ != nullptr; }

    // Device notifications.
    void onWaveOpen() override;
    void onWaveData(WaveBuffer& buffer) override;
    void onWaveClose() override;
    void onWaveFailed() override;

  private:
    bool allocateBuffers();

    WaveInput& device_;
    NarrationFile& narration_;
    LectureView& view_;
    UserPrompts& prompts_;
    BufferAllocator allocate_;

    std::unique_ptr<std::uint8_t[]> bufferA_;
    std::unique_ptr<std::uint8_t[]> bufferB_;
    WaveBuffer headerA_;
    WaveBuffer headerB_;
    bool recording_ = false;
    // The device opened for this lecture (or the last one) and has not yet reported closing.
    bool awaitingClose_ = false;
    std::atomic<std::int32_t> completedBuffers_{-1};
};

}  // namespace vorlix
