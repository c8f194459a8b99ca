#include "tests/recording/scripted_wave_input.h"

#include <utility>

namespace vorlix::testing {

ScriptedWaveInput::ScriptedWaveInput()
    : queue_([this](std::function<void()> call) { pending_.push_back(std::move(call)); }) {}

WaveResult ScriptedWaveInput::open(const WaveFormat& format, WaveInputEvents& events) {
    if (openResult != WaveResult::Ok) return logged("open", openResult);
    format_ = format;
    owner_ = &events;
    return logged("open", queue_.open(*this));
}

WaveResult ScriptedWaveInput::prepare(WaveBuffer& buffer) {
    return logged("prepare " + name(buffer), queue_.prepare(buffer));
}

WaveResult ScriptedWaveInput::addBuffer(WaveBuffer& buffer) {
    return logged("addBuffer " + name(buffer), queue_.addBuffer(buffer));
}

WaveResult ScriptedWaveInput::start() {
    return logged("start", queue_.start());
}
WaveResult ScriptedWaveInput::reset() {
    return logged("reset", queue_.reset());
}
WaveResult ScriptedWaveInput::close() {
    return logged("close", queue_.close());
}

WaveResult ScriptedWaveInput::unprepare(WaveBuffer& buffer) {
    return logged("unprepare " + name(buffer), queue_.unprepare(buffer));
}

std::size_t ScriptedWaveInput::capture(std::span<const std::uint8_t> bytes) {
    return queue_.deliver(bytes);
}

std::size_t ScriptedWaveInput::capture(std::size_t count, std::uint8_t value) {
    const std::vector<std::uint8_t> bytes(count, value);
    return queue_.deliver(bytes);
}

bool ScriptedWaveInput::deliverNext() {
    if (pending_.empty()) return false;
    auto call = std::move(pending_.front());
    pending_.pop_front();
    call();
    return true;
}

std::size_t ScriptedWaveInput::deliverAll() {
    std::size_t n = 0;
    while (deliverNext()) ++n;
    return n;
}

void ScriptedWaveInput::clearLogs() {
    calls_.clear();
    delivered_.clear();
}

void ScriptedWaveInput::onWaveOpen() {
    delivered_.push_back("open");
    owner_->onWaveOpen();
}

void ScriptedWaveInput::onWaveData(WaveBuffer& buffer) {
    delivered_.push_back("data " + name(buffer) + " " + std::to_string(buffer.bytesRecorded));
    owner_->onWaveData(buffer);
}

void ScriptedWaveInput::onWaveClose() {
    delivered_.push_back("close");
    owner_->onWaveClose();
}

void ScriptedWaveInput::onWaveFailed() {
    delivered_.push_back("failed");
    owner_->onWaveFailed();
}

std::string ScriptedWaveInput::name(const WaveBuffer& buffer) {
    auto it = names_.find(&buffer);
    if (it == names_.end()) {
        const char label = static_cast<char>('A' + names_.size());
        it = names_.emplace(&buffer, std::string(1, label)).first;
    }
    return it->second;
}

WaveResult ScriptedWaveInput::logged(std::string call, WaveResult result) {
    if (result != WaveResult::Ok) call += " refused";
    calls_.push_back(std::move(call));
    return result;
}

}  // namespace vorlix::testing
