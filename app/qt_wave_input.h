// The microphone through Qt Multimedia: the default audio input, captured in push mode as
// unsigned 8-bit mono at 44100 Hz. The backend delivers small chunks (about 50 ms); they are
// assembled into the owner's buffers in queue order, and every notification reaches the owner
// as a queued call on the thread that created this object.
#pragma once

#include <QAudio>
#include <QIODevice>
#include <QObject>
#include <QPointer>

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
    WaveResult close() override;
    WaveResult unprepare(WaveBuffer& buffer) override;

    // Sound that arrived while capturing but found no queued buffer, since open().
    std::uint64_t overrunBytes() const { return queue_.overrunBytes(); }
    // Called as each buffer fills, before its notification is posted (for measurements).
    void setBufferFilledHook(std::function<void(const WaveBuffer&)> hook) {
        queue_.setHandBackHook(std::move(hook));
    }

  private:
    void readAvailable();
    void stateChanged(QAudio::State state);
    void closeBackend();

    CaptureQueue queue_;
    std::unique_ptr<QAudioSource> source_;
    // Qt deletes it itself when the stream fails.
    QPointer<QIODevice> io_;
    std::vector<std::uint8_t> chunk_;
};

}  // namespace vorlix
