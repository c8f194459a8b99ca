#include "lecture/lecture_clock.h"

#include <cstdio>
#include <limits>
#include <system_error>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "common/lecture_view.h"
#include "resources/texts.h"

namespace vorlix {
namespace {

constexpr std::int32_t kStepsPerTick = 5;
constexpr std::int32_t kTicksPerBuffer = 4;
constexpr std::int32_t kCapSteps = 20;  // from here on the clock holds at 3 ticks past the buffer
constexpr std::int32_t kCapTicks = 3;

// The kernel's id of the calling thread: what a debugger or `top -H` shows, and unique among
// the running threads, which is what the file names need.
std::uint32_t currentThreadId() {
#if defined(__linux__)
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
#else
    return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
}

}  // namespace

std::int32_t clockTicks(std::int32_t completedBuffers, std::int32_t steps) {
    if (completedBuffers < 0) return 0;
    const std::int64_t extra =
        steps < kCapSteps ? (steps < 0 ? 0 : steps / kStepsPerTick) : kCapTicks;
    const std::int64_t ticks = std::int64_t{completedBuffers} * kTicksPerBuffer + extra;
    return ticks > std::numeric_limits<std::int32_t>::max()
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(ticks);
}

std::string clockText(std::int32_t ticks) {
    const long t = ticks;
    char text[64];
    std::snprintf(text, sizeof text, texts::kClockFormat, (t / 60) / 2, (t % 120) / 2, (t % 2) * 5);
    return text;
}

bool SteadyPacer::sleepStep(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    // Returns early only for the stop request; the predicate ignores spurious wake-ups.
    return !wake_.wait_for(lock, stop, period_, [] { return false; });
}

LectureClock::LectureClock(LectureView& view, const std::atomic<std::int32_t>& completedBuffers,
                           ClockPacer* pacer, const std::atomic<bool>* paused)
    : view_(view),
      completedBuffers_(completedBuffers),
      paused_(paused),
      pacer_(pacer != nullptr ? *pacer : ownPacer_) {}

LectureClock::~LectureClock() {
    stop();
}

bool LectureClock::start() {
    if (isRunning()) return true;
    lectureClock_.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(startMutex_);
        idReported_ = false;
    }
    try {
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(startMutex_);
    started_.wait(lock, [this] { return idReported_; });
    return true;
}

void LectureClock::stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
    thread_ = std::jthread();
}

void LectureClock::run(std::stop_token stop) {
    {
        std::lock_guard lock(startMutex_);
        threadId_ = currentThreadId();
        idReported_ = true;
        started_.notify_one();
    }
    lectureClock_.store(0, std::memory_order_relaxed);
    std::int32_t lastCount = -1;
    std::int32_t steps = 0;
    while (!stop.stop_requested()) {
        const std::int32_t count = completedBuffers_.load(std::memory_order_relaxed);
        if (count != lastCount) {
            steps = 0;
            lastCount = count;
        }
        const std::int32_t ticks = clockTicks(count, steps);
        lectureClock_.store(ticks, std::memory_order_relaxed);
        view_.setClockText(clockText(ticks));
        if (!pacer_.sleepStep(stop)) break;
        // Past the cap the count no longer matters; during a pause no sound comes, so no time.
        const bool paused = paused_ != nullptr && paused_->load(std::memory_order_relaxed);
        if (steps < kCapSteps && !paused) ++steps;
    }
}

}  // namespace vorlix
