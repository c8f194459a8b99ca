// A wave-input device whose sound and timing the test decides: the test hands it the bytes that
// "arrive", makes it fail, and delivers the posted notifications when it chooses. It keeps the
// device contract through the same queue as the real device, and logs every operation and every
// delivered notification with buffers named A, B, ... in the order the device first saw them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "recording/capture_queue.h"
#include "recording/wave_input.h"

namespace vorlix::testing {

class ScriptedWaveInput final : public WaveInput, private WaveInputEvents {
  public:
    // What open() answers; anything but Ok leaves the device closed and posts nothing.
    WaveResult openResult = WaveResult::Ok;

    WaveResult open(const WaveFormat& format, WaveInputEvents& events) override {
        if (openResult != WaveResult::Ok) return logged("open", openResult);
        format_ = format;
        owner_ = &events;
        return logged("open", queue_.open(*this, format));
    }
    WaveResult prepare(WaveBuffer& b) override { return logged("prepare", b, queue_.prepare(b)); }
    WaveResult addBuffer(WaveBuffer& b) override {
        return logged("addBuffer", b, queue_.addBuffer(b));
    }
    WaveResult start() override { return logged("start", queue_.start()); }
    WaveResult reset() override { return logged("reset", queue_.reset()); }
    WaveResult pause() override { return logged("pause", queue_.pause()); }
    WaveResult close() override { return logged("close", queue_.close()); }
    WaveResult unprepare(WaveBuffer& b) override {
        return logged("unprepare", b, queue_.unprepare(b));
    }

    // Sound arriving from the microphone, as unsigned 8-bit samples (each one exactly an 8-bit
    // step in a 16-bit format). Returns the samples that were not kept.
    std::size_t capture(std::span<const std::uint8_t> samples) {
        if (format_.bitsPerSample != 16) return queue_.deliver(samples);
        std::vector<std::int16_t> wide(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            wide[i] = static_cast<std::int16_t>((samples[i] - 128) * 256);
        return captureWide(wide);
    }
    std::size_t capture(std::size_t count, std::uint8_t value) {
        return capture(std::vector<std::uint8_t>(count, value));
    }
    // Signed 16-bit samples, for a 16-bit format.
    std::size_t captureWide(std::span<const std::int16_t> samples) {
        std::vector<std::uint8_t> bytes(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            bytes[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF);
        }
        return queue_.deliver(bytes) / 2;
    }
    // The microphone goes away.
    void failDevice() { queue_.fail(); }

    std::size_t pendingNotifications() const { return pending_.size(); }
    // Delivers the oldest posted notification; false when there was none.
    bool deliverNext() {
        if (pending_.empty()) return false;
        auto call = std::move(pending_.front());
        pending_.pop_front();
        call();
        return true;
    }
    // Delivers notifications until none is left, including those posted meanwhile.
    void deliverAll() {
        while (deliverNext()) {
        }
    }

    // "open", "prepare A", "addBuffer B", "start", "reset", "close", "unprepare A"; a refused
    // operation ends in " refused".
    const std::vector<std::string>& calls() const { return calls_; }
    // "open", "data A 88200" (buffer and samples recorded), "close", "failed".
    const std::vector<std::string>& delivered() const { return delivered_; }
    void clearLogs() {
        calls_.clear();
        delivered_.clear();
    }

    const WaveFormat& format() const { return format_; }
    const CaptureQueue& queue() const { return queue_; }

  private:
    void onWaveOpen() override { delivered("open", &WaveInputEvents::onWaveOpen); }
    void onWaveClose() override { delivered("close", &WaveInputEvents::onWaveClose); }
    void onWaveFailed() override { delivered("failed", &WaveInputEvents::onWaveFailed); }
    void onWaveData(WaveBuffer& b) override {
        const int sampleBytes = format_.blockAlign > 0 ? format_.blockAlign : 1;
        delivered_.push_back("data " + name(b) + " " + std::to_string(b.bytesRecorded / sampleBytes));
        owner_->onWaveData(b);
    }
    void delivered(const char* what, void (WaveInputEvents::*call)()) {
        delivered_.push_back(what);
        (owner_->*call)();
    }

    std::string name(const WaveBuffer& b) {
        auto it = names_.try_emplace(&b, 1, static_cast<char>('A' + names_.size())).first;
        return it->second;
    }
    WaveResult logged(std::string call, WaveResult result) {
        calls_.push_back(result == WaveResult::Ok ? call : call + " refused");
        return result;
    }
    WaveResult logged(const char* call, const WaveBuffer& b, WaveResult result) {
        return logged(std::string(call) + " " + name(b), result);
    }

    std::deque<std::function<void()>> pending_;
    CaptureQueue queue_{
        [this](std::function<void()> call) { pending_.push_back(std::move(call)); }};
    WaveInputEvents* owner_ = nullptr;
    WaveFormat format_;
    std::map<const WaveBuffer*, std::string> names_;
    std::vector<std::string> calls_;
    std::vector<std::string> delivered_;
};

}  // namespace vorlix::testing
