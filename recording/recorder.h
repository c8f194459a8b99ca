// The lecture's recorder: captures the microphone in 16 bits in two alternating buffers of
// exactly two seconds each, counts every buffer the device hands back, puts it straight back into
// the device's queue, appends it to the narration file (in 8 bits) and to the 16-bit narration
// beside it, and shows it on the REC mark and the level meter. The count is the time base of the
// whole lecture: the lecture clock turns it into half-second ticks, so slide times are measured
// in recorded sound. A pause stops the sound going into the buffers, and with it the count and
// the clock; the buffers stay two seconds each.
//
// Everything here runs on the user-interface thread; the lecture clock only reads the counter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/user_prompts.h"
#include "recording/narration_file.h"
#include "recording/sample_narrowing.h"
#include "recording/wave_input.h"

namespace vorlix {

class LectureView;

class Recorder final : public WaveInputEvents {
  public:
    // Two seconds of narration, a whole number of 8-byte blocks: samples, and bytes of the
    // 8-bit narration.
    static constexpr std::int32_t kBufferLength = 2 * kNarrationSampleRate / 8 * 8;
    // The same two seconds as captured, in 16 bits.
    static constexpr std::int32_t kCaptureBytes = 2 * kBufferLength;

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

    // Opens the device, prepares the buffers, sets the counter to 0 and creates the narration
    // file named after the clock thread, and the 16-bit one beside it. A device that cannot be opened or buffers that cannot
    // be allocated are reported to the user; the lecture goes on without sound. Does nothing
    // (and returns false) while recording, or while a stopped device still has notifications
    // to deliver: they would free the buffers this start reuses.
    bool startRecording(std::uint32_t clockThreadId);

    // Resets and closes the device and finishes the narration files. What the reset hands back
    // is written first: a full buffer whose notification had not come yet, and the sound of the
    // partly filled one, up to the stop. The handed-back buffers' notifications arrive
    // afterwards; they are counted and shown but not written again. Does nothing while not
    // recording. Also ends a pause.
    void stopRecording();

    // Pause: no sound goes into the narration until resume(), which carries on in the same
    // buffer, joined without a gap. The counter stands still meanwhile, and so does the clock,
    // which watches pausedFlag(). False when not recording, or already (not) paused.
    bool pause();
    bool resume();
    bool paused() const { return paused_.load(); }
    const std::atomic<bool>& pausedFlag() const { return paused_; }

    // Narration samples captured so far, the partly filled buffer included: the position in
    // the narration of "now" (during a pause, of the moment recording resumes). After a stop,
    // the narration's length.
    std::int64_t recordedSamples() const;

    const NarrationFile& wideNarration() const { return wide_; }

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
    // Holds the 16-bit file's messages until both files have their sound: a message box serves
    // the event loop, and a buffer handled inside it must not overtake this one in either file.
    class HeldMessages final : public UserPrompts {
      public:
        explicit HeldMessages(UserPrompts& to) : to_(to) {}
        void showMessage(std::string_view text, std::string_view caption) override;
        bool askYesNo(std::string_view text) override { return to_.askYesNo(text); }
        std::optional<std::string> chooseFolder(std::string_view title) override {
            return to_.chooseFolder(title);
        }
        std::optional<std::string> askSavePath(std::string_view filter, std::string_view ext,
                                               std::string_view name) override {
            return to_.askSavePath(filter, ext, name);
        }
        std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>& codecs) override {
            return to_.chooseCodec(codecs);
        }
        // Shows what was held, in order.
        void release();

      private:
        UserPrompts& to_;
        std::vector<std::string> held_;
    };

    bool allocateBuffers();
    // Writes 16-bit sound to both narration files; the 8-bit level range of what was written.
    std::uint8_t write(std::span<const std::uint8_t> s16le);
    void appendLastWords();

    WaveInput& device_;
    NarrationFile& narration_;
    LectureView& view_;
    UserPrompts& prompts_;
    BufferAllocator allocate_;

    std::unique_ptr<std::uint8_t[]> bufferA_;
    std::unique_ptr<std::uint8_t[]> bufferB_;
    WaveBuffer headerA_;
    WaveBuffer headerB_;
    HeldMessages wideMessages_;
    NarrationFile wide_;
    SampleNarrowing narrowing_;
    std::unique_ptr<std::uint8_t[]> narrow_;  // one buffer in 8 bits
    bool recording_ = false;
    std::atomic<bool> paused_{false};
    bool captureStarted_ = false;  // the open notification came and capture was started
    // Samples written for buffers handled since start, and the narration's length at the stop.
    std::int64_t handledSamples_ = 0;
    std::int64_t stoppedSamples_ = 0;
    // The device opened for this lecture (or the last one) and has not yet reported closing.
    bool awaitingClose_ = false;
    std::atomic<std::int32_t> completedBuffers_{-1};
};

}  // namespace vorlix
