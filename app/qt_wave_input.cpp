#include "app/qt_wave_input.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

namespace vorlix {
namespace {

// Large enough for several backend chunks at once, so one wake-up drains what has come.
constexpr std::size_t kChunkSize = 16384;

bool toQtFormat(const WaveFormat& in, QAudioFormat& out) {
    if (in.formatTag != 1 || in.blockAlign != in.channels * in.bitsPerSample / 8) return false;
    switch (in.bitsPerSample) {
        case 8:
            out.setSampleFormat(QAudioFormat::UInt8);
            break;
        case 16:
            out.setSampleFormat(QAudioFormat::Int16);
            break;
        default:
            return false;
    }
    out.setChannelCount(in.channels);
    out.setSampleRate(static_cast<int>(in.samplesPerSecond));
    return true;
}

}  // namespace

QtWaveInput::QtWaveInput(QObject* parent)
    : QObject(parent),
      queue_([this](std::function<void()> call) {
          // Bound to this object: calls still pending when it is destroyed are dropped.
          QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      }),
      chunk_(kChunkSize) {}

QtWaveInput::~QtWaveInput() {
    closeBackend();
}

WaveResult QtWaveInput::open(const WaveFormat& format, WaveInputEvents& events) {
    if (queue_.isOpen()) return WaveResult::AlreadyOpen;
    QAudioFormat qtFormat;
    if (!toQtFormat(format, qtFormat)) return WaveResult::NoDevice;
    QAudioDevice device = choose_ ? choose_() : QAudioDevice();
    if (device.isNull()) device = QMediaDevices::defaultAudioInput();
    input_ = device;
    sampleBytes_ = std::max<std::size_t>(format.blockAlign, 1);
    rate_ = format.samplesPerSecond;
    carry_ = 0;
    if (device.isNull() || !device.isFormatSupported(qtFormat)) return WaveResult::NoDevice;

    // The stream is opened here rather than at start(), so that a device that cannot deliver
    // is known before the lecture relies on it. Sound before start() is read and dropped.
    // The backend's own buffer size is left alone: a two-second one makes it deliver in bursts
    // and lose the tail.
    source_ = std::make_unique<QAudioSource>(device, qtFormat);
    io_ = source_->start();
    if (!io_ || source_->error() != QAudio::NoError) {
        closeBackend();
        return WaveResult::NoDevice;
    }
    connect(io_, &QIODevice::readyRead, this, &QtWaveInput::readAvailable);
    connect(source_.get(), &QAudioSource::stateChanged, this, &QtWaveInput::stateChanged);
    return queue_.open(events, format);
}

WaveResult QtWaveInput::prepare(WaveBuffer& buffer) {
    return queue_.prepare(buffer);
}
WaveResult QtWaveInput::addBuffer(WaveBuffer& buffer) {
    return queue_.addBuffer(buffer);
}
WaveResult QtWaveInput::start() {
    // What came in during a pause is read now, and dropped: it is not part of the narration.
    if (!queue_.isCapturing()) readAvailable();
    lastRead_ = std::chrono::steady_clock::now();
    return queue_.start();
}

std::int64_t QtWaveInput::samplesHeld() const {
    // Qt hands the sound over every 50 ms or so: what was said since the last chunk is still
    // with it. Never more than 100 ms, so a stalled device is not taken for a talking one.
    if (!queue_.isCapturing()) return 0;
    const auto held = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - lastRead_);
    return std::clamp<std::int64_t>(held.count(), 0, 100000) * rate_ / 1000000;
}

WaveResult QtWaveInput::pause() {
    // Everything said up to the pause belongs in the buffer.
    if (queue_.isCapturing()) readAvailable();
    return queue_.pause();
}

WaveResult QtWaveInput::reset() {
    // What the backend holds already belongs in the partly filled buffer.
    if (queue_.isCapturing()) readAvailable();
    return queue_.reset();
}

WaveResult QtWaveInput::close() {
    const WaveResult result = queue_.close();
    if (result == WaveResult::Ok) closeBackend();
    return result;
}

WaveResult QtWaveInput::unprepare(WaveBuffer& buffer) {
    return queue_.unprepare(buffer);
}

void QtWaveInput::readAvailable() {
    if (!io_) return;
    // The queue takes whole samples; a sample cut by a read waits for its other bytes.
    for (;;) {
        const qint64 n = io_->read(reinterpret_cast<char*>(chunk_.data() + carry_),
                                   static_cast<qint64>(chunk_.size() - carry_));
        if (n <= 0) break;
        lastRead_ = std::chrono::steady_clock::now();
        const std::size_t have = carry_ + static_cast<std::size_t>(n);
        const std::size_t whole = have / sampleBytes_ * sampleBytes_;
        queue_.deliver(std::span<const std::uint8_t>(chunk_.data(), whole));
        carry_ = have - whole;
        if (carry_ != 0) std::memmove(chunk_.data(), chunk_.data() + whole, carry_);
    }
}

void QtWaveInput::stateChanged(QAudio::State state) {
    // A stop we did not ask for: the server went away or the device was unplugged.
    if (state == QAudio::StoppedState && source_ && source_->error() != QAudio::NoError) {
        queue_.fail();
    }
}

void QtWaveInput::closeBackend() {
    if (!source_) return;
    source_->disconnect(this);
    if (io_) io_->disconnect(this);
    source_->stop();
    io_ = nullptr;
    // Qt's audio source serves the event loop while it is destroyed, which would hand the owner
    // notifications in the middle of its own close. It goes once the loop is back in charge.
    source_.release()->deleteLater();
}

}  // namespace vorlix
