// The microphone as the recorder sees it: a device that is opened for one format, fills the
// buffers it is given strictly in the order they were queued, and tells its owner about every
// step through notifications.
//
// Notification contract (every implementation keeps it):
// - Notifications are delivered on the owner's thread (the thread that opened the device), one
//   at a time, in the order they were posted, and never from inside one of the operations
//   below: each is posted and handled later, when the owner's thread returns to its event loop.
// - open() posts the open notification when it succeeds; nothing is posted when it fails.
// - Each queued buffer comes back exactly once through the buffer-done notification: when it is
//   full, or when reset() hands it back. reset() hands back the partly filled buffer first, then
//   the ones still waiting, in queue order.
// - close() posts the close notification after those of every buffer handed back before it.
//   After close() the device refuses every operation except prepare/unprepare bookkeeping.
// - pause() hands nothing back: the buffer being filled keeps what it holds, sound stops going
//   into it, and the next start() goes on filling it where it stopped.
// - A device that stops capturing by itself (unplugged, sound server gone) posts the failure
//   notification once. Its queued buffers stay queued until reset() hands them back, and
//   reset() and close() behave as usual, so the owner tidies up the same way as always.
#pragma once

#include <cstdint>

namespace vorlix {

// The narration's sample rate: one byte a sample, so also its bytes a second.
inline constexpr std::uint32_t kNarrationSampleRate = 44100;

// A capture format. The defaults are the narration's: PCM, unsigned 8-bit, mono, 44100 Hz.
struct WaveFormat {
    std::uint16_t formatTag = 1;  // PCM
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSecond = kNarrationSampleRate;
    std::uint32_t averageBytesPerSecond = kNarrationSampleRate;
    std::uint16_t blockAlign = 1;
    std::uint16_t bitsPerSample = 8;
};

// PCM, signed 16-bit little-endian, mono, 44100 Hz: what the recorder captures.
inline constexpr WaveFormat kWideCaptureFormat{1, 1, kNarrationSampleRate, 2 * kNarrationSampleRate,
                                               2, 16};

// Buffer states, set by the device.
enum WaveBufferFlags : std::uint32_t {
    kWaveBufferDone = 0x01,      // handed back to the owner
    kWaveBufferPrepared = 0x02,  // ready to be queued
    kWaveBufferInQueue = 0x10,   // waiting or being filled
};

// One capture buffer as the device knows it. The owner keeps the memory and this description
// alive from prepare() until the buffer has come back and been unprepared.
struct WaveBuffer {
    std::uint8_t* data = nullptr;
    std::int32_t bufferLength = 0;   // bytes the device may write
    std::int32_t bytesRecorded = 0;  // bytes it did write, set when the buffer comes back
    std::uintptr_t user = 0;
    std::uint32_t flags = 0;
    std::int32_t loops = 1;
};

enum class WaveResult {
    Ok,
    NoDevice,     // no input device, or it could not be opened for the format
    NotOpen,      // the device is closed
    AlreadyOpen,  // open() on an open device
    NotPrepared,  // the buffer was not prepared
    InQueue,      // the buffer is queued already, or buffers are still queued at close()
    BadBuffer,    // no memory or no length
};

// The notifications, implemented by the device's owner.
class WaveInputEvents {
  public:
    virtual void onWaveOpen() = 0;
    virtual void onWaveData(WaveBuffer& buffer) = 0;
    virtual void onWaveClose() = 0;
    virtual void onWaveFailed() = 0;

  protected:
    ~WaveInputEvents() = default;
};

// The device operations (the seven of a wave input, and pause). All are called on the owner's thread.
class WaveInput {
  public:
    virtual ~WaveInput() = default;

    // Opens the default input for the format; notifications go to events.
    virtual WaveResult open(const WaveFormat& format, WaveInputEvents& events) = 0;
    // Makes a buffer ready for queueing; it stays ready each time it comes back.
    virtual WaveResult prepare(WaveBuffer& buffer) = 0;
    // Appends a prepared buffer to the queue.
    virtual WaveResult addBuffer(WaveBuffer& buffer) = 0;
    // Begins capture into the queued buffers. Sound before it is not kept.
    virtual WaveResult start() = 0;
    // Stops capture and hands back every queued buffer.
    virtual WaveResult reset() = 0;
    // Stops capture and keeps every buffer queued; start() goes on where it stopped.
    virtual WaveResult pause() = 0;
    // Closes the device. Refused while buffers are queued.
    virtual WaveResult close() = 0;
    // Releases a buffer that is not queued; allowed on a closed device.
    virtual WaveResult unprepare(WaveBuffer& buffer) = 0;
    // Samples captured but not yet in a buffer (a device that hands its sound over in chunks
    // holds up to one): an estimate, 0 where the device cannot tell or is not capturing.
    virtual std::int64_t samplesHeld() const { return 0; }
};

}  // namespace vorlix
