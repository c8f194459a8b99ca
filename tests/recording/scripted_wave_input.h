// A wave-input device whose sound and timing the test decides: the test hands it the bytes that
// "arrive", makes it fail, and delivers the posted notifications when it chooses, one at a time
// or all at once. It keeps the device contract through the same queue as the real device, and
// logs every operation and every delivered notification with buffers named A, B, ... in the
// order the device first saw them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "recording/capture_queue.h"
#include "recording/wave_input.h"

namespace vorlix::testing {

class ScriptedWaveInput final : public WaveInput, private WaveInputEvents {
  public:
    ScriptedWaveInput();

    // What open() answers; anything but Ok leaves the device closed and posts nothing.
    WaveResult openResult = WaveResult::Ok;

    WaveResult open(const WaveFormat& format, WaveInputEvents& events) override;
    WaveResult prepare(WaveBuffer& buffer) override;
    WaveResult addBuffer(WaveBuffer& buffer) override;
    WaveResult start() override;
    WaveResult reset() override;
    WaveResult close() override;
    WaveResult unprepare(WaveBuffer& buffer) override;

    // Sound arriving from the microphone. Returns the bytes that were not kept.
    std::size_t capture(std::span<const std::uint8_t> bytes);
    std::size_t capture(std::size_t count, std::uint8_t value);
    // The microphone goes away.
    void failDevice() { queue_.fail(); }

    std::size_t pendingNotifications() const { return pending_.size(); }
    // Delivers the oldest posted notification; false when there was none.
    bool deliverNext();
    // Delivers notifications until none is left, including those posted meanwhile.
    std::size_t deliverAll();

    // "open", "prepare A", "addBuffer B", "start", "reset", "close", "unprepare A"; a refused
    // operation ends in " refused".
    const std::vector<std::string>& calls() const { return calls_; }
    // "open", "data A 88200" (buffer and bytes recorded), "close", "failed".
    const std::vector<std::string>& delivered() const { return delivered_; }
    void clearLogs();

    const WaveFormat& format() const { return format_; }
    const CaptureQueue& queue() const { return queue_; }

  private:
    void onWaveOpen() override;
    void onWaveData(WaveBuffer& buffer) override;
    void onWaveClose() override;
    void onWaveFailed() override;

    std::string name(const WaveBuffer& buffer);
    WaveResult logged(std::string call, WaveResult result);

    CaptureQueue queue_;
    WaveInputEvents* owner_ = nullptr;
    WaveFormat format_;
    std::deque<std::function<void()>> pending_;
    std::map<const WaveBuffer*, std::string> names_;
    std::vector<std::string> calls_;
    std::vector<std::string> delivered_;
};

}  // namespace vorlix::testing
