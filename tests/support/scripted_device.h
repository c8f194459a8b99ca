// A wave-input device whose sound and timing the test decides: it hands the device the bytes
// that "arrive", makes it fail, and delivers the posted notifications when it chooses. It keeps
// the device contract through the same queue as the real device, and logs every delivered
// notification ("open", "data A 88200", "close", "failed"; buffers named A, B, ... in order).
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

    WaveResult open(const WaveFormat&, WaveInputEvents& events) override {
        if (openResult != WaveResult::Ok) return openResult;
        owner_ = &events;
        return queue_.open(*this);
    }
    WaveResult prepare(WaveBuffer& b) override { return queue_.prepare(b); }
    WaveResult addBuffer(WaveBuffer& b) override { return queue_.addBuffer(b); }
    WaveResult start() override { return queue_.start(); }
    WaveResult reset() override { return queue_.reset(); }
    WaveResult close() override { return queue_.close(); }
    WaveResult unprepare(WaveBuffer& b) override { return queue_.unprepare(b); }

    // Sound arriving from the microphone; the bytes that were not kept.
    std::size_t capture(std::span<const std::uint8_t> bytes) { return queue_.deliver(bytes); }
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
        delivered.push_back("data " + name + " " + std::to_string(b.bytesRecorded));
        owner_->onWaveData(b);
    }

    std::deque<std::function<void()>> pending_;
    CaptureQueue queue_{
        [this](std::function<void()> call) { pending_.push_back(std::move(call)); }};
    WaveInputEvents* owner_ = nullptr;
    std::map<const WaveBuffer*, std::string> names_;
};

}  // namespace vorlix::testing
