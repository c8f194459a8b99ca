// The microphone through Qt Multimedia: the input the chooser names (the default one without),
// captured in push mode in the format the owner asks for. The backend delivers small chunks
// (about 50 ms); they are assembled into the owner's buffers in queue order, and every
// notification reaches the owner as a queued call on the thread that created this object.
#pragma once

#include <QAudio>
#include <QAudioDevice>
#include <QIODevice>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "recording/capture_queue.h"
#include "recording/wave_input.h"

class QAudioSource;

namespace vorlix {

class QtWaveInput final : public QObject, public WaveInput {
    Q_OBJECT

  public:
    explicit QtWaveInput(QObject* parent = nullptr);
    ~QtWaveInput() override;

    WaveResult open(const WaveFormat& format, WaveInputEvents& events) override;
    WaveResult prepare(WaveBuffer& buffer) override;
    WaveResult addBuffer(WaveBuffer& buffer) override;
    WaveResult start() override;
    WaveResult reset() override;
    WaveResult pause() override;
    WaveResult close() override;
    WaveResult unprepare(WaveBuffer& buffer) override;

    // Which input the next open() uses; a null device, or no chooser, means the default one.
    void setInputChooser(std::function<QAudioDevice()> choose) { choose_ = std::move(choose); }
    // The input opened last (null before the first open).
    const QAudioDevice& input() const { return input_; }

    // Sound that arrived while capturing but found no queued buffer, since open().
    std::uint64_t overrunBytes() const { return queue_.overrunBytes(); }
    // Called as each buffer fills, before its notification is posted (for measurements).
    void setBufferFilledHook(std::function<void(const WaveBuffer&)> hook) {
        queue_.setHandBackHook(std::move(hook));
    }

  private:
    void readAvailable();
    std::int64_t samplesHeld() const override;
    void stateChanged(QAudio::State state);
    void closeBackend();

    CaptureQueue queue_;
    std::function<QAudioDevice()> choose_;
    QAudioDevice input_;
    std::size_t sampleBytes_ = 1;
    std::size_t carry_ = 0;  // bytes of a sample cut by the last read, at the chunk's start
    std::uint32_t rate_ = 0;
    std::chrono::steady_clock::time_point lastRead_;  // when sound last came in
    std::unique_ptr<QAudioSource> source_;
    // Qt deletes it itself when the stream fails.
    QPointer<QIODevice> io_;
    std::vector<std::uint8_t> chunk_;
};

}  // namespace vorlix
