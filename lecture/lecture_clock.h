// The lecture clock: half-second ticks derived from the recording itself, so that slide times
// and narration stay in step whatever the machine's scheduling. A worker thread wakes every
// 100 ms, turns the recorder's completed-buffer count into `lectureClock` and hands the display
// text to the view.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace vorlix {

class LectureView;

// Ticks for a completed-buffer count and the 100-ms steps since it last changed: four ticks per
// two-second buffer, one more per five steps, but never more than three past the last buffer,
// so a late buffer cannot put the clock ahead of the audio. 0 before recording starts.
std::int32_t clockTicks(std::int32_t completedBuffers, std::int32_t steps);

// "mm:ss.t sec" for a tick count; the tenths are 0 or 5.
std::string clockText(std::int32_t ticks);

// The clock thread's pace. sleepStep returns after one step, or at once (false) when a stop is
// requested.
class ClockPacer {
  public:
    virtual ~ClockPacer() = default;
    virtual bool sleepStep(std::stop_token stop) = 0;
};

// Real time: one step per period, woken early by a stop request.
class SteadyPacer : public ClockPacer {
  public:
    explicit SteadyPacer(std::chrono::milliseconds period = std::chrono::milliseconds(100))
        : period_(period) {}
    bool sleepStep(std::stop_token stop) override;

  private:
    std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
};

class LectureClock {
  public:
    // completedBuffers belongs to the recorder; it must outlive the clock, as must the view,
    // the pacer (nullptr: real time, 100 ms) and the recorder's pause flag (nullptr: never
    // paused). While paused the clock stands still, as the recording does.
    LectureClock(LectureView& view, const std::atomic<std::int32_t>& completedBuffers,
                 ClockPacer* pacer = nullptr, const std::atomic<bool>* paused = nullptr);
    ~LectureClock();  // stops a running thread
    LectureClock(const LectureClock&) = delete;
    LectureClock& operator=(const LectureClock&) = delete;

    // Sets `lectureClock` to 0 and starts the thread; false when it could not be created.
    // The thread id is known when start returns.
    bool start();
    // Wakes the thread and waits for it to end. It ends at once: the only wait in its loop is
    // the pacer's, which a stop request interrupts. Nothing when not running.
    void stop();
    bool isRunning() const { return thread_.joinable(); }

    // `lectureClock`: elapsed half-second ticks. Any thread may read it.
    std::int32_t lectureClock() const { return lectureClock_.load(std::memory_order_relaxed); }
    const std::atomic<std::int32_t>& lectureClockValue() const { return lectureClock_; }

    // The clock thread's system id, which names the lecture's temporary files; it stays set
    // after stop, until the next start. 0 before the first start.
    std::uint32_t threadId() const { return threadId_; }

  private:
    void run(std::stop_token stop);

    LectureView& view_;
    const std::atomic<std::int32_t>& completedBuffers_;
    const std::atomic<bool>* paused_;
    SteadyPacer ownPacer_;
    ClockPacer& pacer_;
    std::atomic<std::int32_t> lectureClock_{0};
    std::uint32_t threadId_ = 0;
    // The start handshake: the new thread reports its id before start returns.
    std::mutex startMutex_;
    std::condition_variable started_;
    bool idReported_ = false;
    std::jthread thread_;
};

}  // namespace vorlix
