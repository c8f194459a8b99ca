// A wave-input device whose sound and timing the test decides: it hands the device the bytes
// that "arrive", makes it fail, and delivers the posted notifications when it chooses. It keeps
// the device contract through the same queue as the real device, and logs every delivered
// notification ("open", "data A 88200" with the samples recorded, "close", "failed"; buffers
// named A, B, ... in order).
#pragma once

#include <deque>
#include <functional>
#include <map>

#include "recording/capture_queue.h"
#include "recording/wave_input.h"

namespace vorlix::testing {

class ScriptedDevice final : public WaveInput, private WaveInputEvents {
  public:
    WaveResult openResult = WaveResult::Ok;  // anything else: stays closed, posts nothing

    WaveResult open(const WaveFormat& format, WaveInputEvents& events) override {
        if (openResult != WaveResult::Ok) return openResult;
        format_ = format, owner_ = &events;
        return queue_.open(*this, format);
    }
    WaveResult prepare(WaveBuffer& b) override { return queue_.prepare(b); }
    WaveResult addBuffer(WaveBuffer& b) override { return queue_.addBuffer(b); }
    WaveResult start() override { return queue_.start(); }
    WaveResult reset() override { return queue_.reset(); }
    WaveResult pause() override { return queue_.pause(); }
    WaveResult close() override { return queue_.close(); }
    WaveResult unprepare(WaveBuffer& b) override { return queue_.unprepare(b); }

    // Sound arriving from the microphone, as unsigned 8-bit samples (each one exactly an 8-bit
    // step in a 16-bit format); the samples that were not kept.
    std::size_t capture(std::span<const std::uint8_t> samples) {
        if (format_.bitsPerSample != 16) return queue_.deliver(samples);
        std::vector<std::int16_t> wide(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            wide[i] = static_cast<std::int16_t>((samples[i] - 128) * 256);
        return captureWide(wide);
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
    std::size_t capture(std::size_t count, std::uint8_t value) {
        return capture(std::vector<std::uint8_t>(count, value));
    }
    void failDevice() { queue_.fail(); }
    std::size_t pending() const { return pending_.size(); }
    void deliverAll() {  // including notifications posted meanwhile
        while (!pending_.empty()) {
            auto call = std::move(pending_.front());
            pending_.pop_front();
            call();
        }
    }
    const CaptureQueue& queue() const { return queue_; }

    std::vector<std::string> delivered;

  private:
    void onWaveOpen() override { delivered.push_back("open"), owner_->onWaveOpen(); }
    void onWaveClose() override { delivered.push_back("close"), owner_->onWaveClose(); }
    void onWaveFailed() override { delivered.push_back("failed"), owner_->onWaveFailed(); }
    void onWaveData(WaveBuffer& b) override {
        const auto name =
            names_.try_emplace(&b, 1, static_cast<char>('A' + names_.size())).first->second;
        delivered.push_back("data " + name + " " +
                            std::to_string(b.bytesRecorded / (format_.bitsPerSample == 16 ? 2 : 1)));
        owner_->onWaveData(b);
    }

    std::deque<std::function<void()>> pending_;
    CaptureQueue queue_{
        [this](std::function<void()> call) { pending_.push_back(std::move(call)); }};
    WaveInputEvents* owner_ = nullptr;
    WaveFormat format_;
    std::map<const WaveBuffer*, std::string> names_;
};

}  // namespace vorlix::testing
