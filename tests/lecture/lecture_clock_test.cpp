#include "lecture/lecture_clock.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <limits>

#include "support/lecture_fakes.h"

namespace vorlix {
namespace {

using namespace std::chrono_literals;
using testing::FakeView;

constexpr auto kPatience = 20s;  // generous: a loaded machine may be slow, a broken clock hangs

// Lets the clock thread take one step at a time: sleepStep blocks until the test releases it.
class StepPacer : public ClockPacer {
  public:
    bool sleepStep(std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        return changed_.wait(lock, stop, [&] { return released_ >= entered_; });
    }
    // Waits until the clock has computed and shown the value of its first step.
    bool waitFirstStep() { return waitEntered(1); }
    // Lets the clock take n more steps and waits until it has shown the value after them.
    bool step(int n = 1) {
        for (int i = 0; i < n; ++i) {
            {
                std::lock_guard lock(mutex_);
                ++released_;
                changed_.notify_all();
            }
            if (!waitEntered(released_ + 1)) return false;
        }
        return true;
    }

  private:
    bool waitEntered(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return entered_ >= n; });
    }

    std::mutex mutex_;
    std::condition_variable_any changed_;
    int entered_ = 0;
    int released_ = 0;
};

TEST(LectureClock, TicksFromBuffersAndSteps) {
    const std::int32_t big = std::numeric_limits<std::int32_t>::max() / 2;
    struct Case {
        std::int32_t buffers, steps, ticks;
    } cases[] = {
        {-1, 0, 0},      {-1, 500, 0},
        {0, 0, 0},       {0, 4, 0},
        {0, 5, 1},       {0, 10, 2},
        {0, 15, 3},      {0, 19, 3},
        {0, 20, 3},      {0, 9999, 3},
        {1, 0, 4},       {4, 23, 19},
        {5, 0, 20},      {5, 7, 21},
        {1800, 0, 7200}, {big, 0, std::numeric_limits<std::int32_t>::max()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clockTicks(c.buffers, c.steps), c.ticks)
            << c.buffers << " buffers, " << c.steps << " steps";
    }
}

TEST(LectureClock, DisplayTextInMinutesSecondsAndHalves) {
    struct Case {
        std::int32_t ticks;
        const char* text;
    } cases[] = {
        {0, "00:00.0 sec"},   {1, "00:00.5 sec"},   {3, "00:01.5 sec"},    {119, "00:59.5 sec"},
        {120, "01:00.0 sec"}, {121, "01:00.5 sec"}, {7199, "59:59.5 sec"}, {14400, "120:00.0 sec"},
    };
    for (const auto& c : cases) EXPECT_EQ(clockText(c.ticks), c.text) << c.ticks;
}

struct ClockRig {
    FakeView view;
    std::atomic<std::int32_t> buffers{-1};
    StepPacer pacer;
    LectureClock clock{view, buffers, &pacer};

    // Runs the given steps and returns the clock after them.
    std::int32_t after(int steps) {
        EXPECT_TRUE(pacer.step(steps));
        return clock.lectureClock();
    }
};

TEST(LectureClock, StaysAtZeroUntilTheRecorderStarts) {
    ClockRig rig;
    ASSERT_TRUE(rig.clock.start());
    ASSERT_TRUE(rig.pacer.waitFirstStep());
    EXPECT_EQ(rig.clock.lectureClock(), 0);
    EXPECT_EQ(rig.after(40), 0);
    rig.clock.stop();
    const auto texts = rig.view.clockTexts();
    ASSERT_EQ(texts.size(), 41u);
    for (const auto& t : texts) EXPECT_EQ(t, "00:00.0 sec");
}

TEST(LectureClock, WithoutBuffersItHoldsAtOneAndAHalfSeconds) {
    ClockRig rig;
    rig.buffers = 0;
    ASSERT_TRUE(rig.clock.start());
    ASSERT_TRUE(rig.pacer.waitFirstStep());
    EXPECT_EQ(rig.clock.lectureClock(), 0);
    EXPECT_EQ(rig.after(5), 1);
    EXPECT_EQ(rig.view.lastClockText(), "00:00.5 sec");
    EXPECT_EQ(rig.after(5), 2);
    EXPECT_EQ(rig.after(5), 3);
    EXPECT_EQ(rig.view.lastClockText(), "00:01.5 sec");
    EXPECT_EQ(rig.after(100), 3);
    EXPECT_EQ(rig.view.lastClockText(), "00:01.5 sec");
}

TEST(LectureClock, ALateBufferMeetsTheCapWithoutGoingBack) {
    ClockRig rig;
    rig.buffers = 4;
    ASSERT_TRUE(rig.clock.start());
    ASSERT_TRUE(rig.pacer.waitFirstStep());
    EXPECT_EQ(rig.after(23), 19);
    rig.buffers = 5;
    EXPECT_EQ(rig.after(1), 20);  // the new count restarts the steps
    EXPECT_EQ(rig.after(4), 20);
    EXPECT_EQ(rig.after(1), 21);
}

TEST(LectureClock, NeverRunsBackwardsWhateverTheBufferTiming) {
    ClockRig rig;
    ASSERT_TRUE(rig.clock.start());
    ASSERT_TRUE(rig.pacer.waitFirstStep());
    // Buffers every 12 to 31 steps: early, on time and late.
    const int gaps[] = {12, 20, 31, 19, 25, 21, 14, 30, 20};
    std::int32_t last = 0;
    for (int gap : gaps) {
        rig.buffers = rig.buffers + 1;
        for (int s = 0; s < gap; ++s) {
            const std::int32_t now = rig.after(1);
            EXPECT_GE(now, last);
            EXPECT_LE(now, rig.buffers * 4 + 3);
            last = now;
        }
    }
    EXPECT_EQ(last, static_cast<std::int32_t>(std::size(gaps) - 1) * 4 + 3);
}

TEST(LectureClock, RestartBeginsAtZeroAgain) {
    ClockRig rig;
    rig.buffers = 2;
    ASSERT_TRUE(rig.clock.start());
    ASSERT_TRUE(rig.pacer.waitFirstStep());
    EXPECT_EQ(rig.after(20), 11);
    rig.clock.stop();
    EXPECT_FALSE(rig.clock.isRunning());
    EXPECT_EQ(rig.clock.lectureClock(), 11);  // End reads it after the stop
    rig.buffers = -1;
    ASSERT_TRUE(rig.clock.start());
    EXPECT_EQ(rig.clock.lectureClock(), 0);
    ASSERT_TRUE(rig.pacer.step(1));
    EXPECT_EQ(rig.clock.lectureClock(), 0);
}

// Records the thread that shows the clock text.
class ThreadRecordingView : public FakeView {
  public:
    void setClockText(const std::string& text) override {
        shownBy.store(static_cast<std::uint32_t>(::syscall(SYS_gettid)));
        FakeView::setClockText(text);
    }
    std::atomic<std::uint32_t> shownBy{0};
};

TEST(LectureClock, ThreadIdIsKnownRightAfterStartAndOutlivesTheStop) {
    ThreadRecordingView view;
    std::atomic<std::int32_t> buffers{-1};
    StepPacer pacer;
    LectureClock clock(view, buffers, &pacer);
    EXPECT_EQ(clock.threadId(), 0u);
    ASSERT_TRUE(clock.start());
    const std::uint32_t id = clock.threadId();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, static_cast<std::uint32_t>(::syscall(SYS_gettid)));
    ASSERT_TRUE(pacer.waitFirstStep());
    EXPECT_EQ(view.shownBy.load(), id);  // the id is the clock thread's own
    clock.stop();
    EXPECT_EQ(clock.threadId(), id);
}

// Stops the clock on another thread so that a clock which fails to wake cannot hang the test.
bool stopsPromptly(LectureClock& clock) {
    auto stopped = std::async(std::launch::async, [&] { clock.stop(); });
    if (stopped.wait_for(kPatience) == std::future_status::ready) return true;
    std::fprintf(stderr, "the clock did not stop\n");
    std::fflush(nullptr);
    std::_Exit(1);  // the stuck thread would keep the test from ending
}

TEST(LectureClock, StopWakesASleepingThreadAtOnce) {
    FakeView view;
    std::atomic<std::int32_t> buffers{0};
    SteadyPacer hourLong(std::chrono::hours(1));
    LectureClock clock(view, buffers, &hourLong);
    ASSERT_TRUE(clock.start());
    ASSERT_TRUE(view.waitForClockText("00:00.0 sec", kPatience));  // now in its hour-long sleep
    EXPECT_TRUE(stopsPromptly(clock));
    EXPECT_FALSE(clock.isRunning());
    clock.stop();  // a second stop does nothing
}

TEST(LectureClock, RealPaceReachesTheCapAndStops) {
    FakeView view;
    std::atomic<std::int32_t> buffers{0};
    SteadyPacer fast(1ms);
    LectureClock clock(view, buffers, &fast);
    ASSERT_TRUE(clock.start());
    EXPECT_TRUE(view.waitForClockText("00:01.5 sec", kPatience));
    buffers = 1;
    EXPECT_TRUE(view.waitForClockText("00:03.5 sec", kPatience));
    EXPECT_TRUE(stopsPromptly(clock));
    EXPECT_EQ(clock.lectureClock(), 7);
}

TEST(LectureClock, DefaultPaceShowsTheClockAndDestructorStopsIt) {
    FakeView view;
    std::atomic<std::int32_t> buffers{-1};
    {
        LectureClock clock(view, buffers);
        ASSERT_TRUE(clock.start());
        EXPECT_TRUE(view.waitForClockText("00:00.0 sec", kPatience));
    }  // destroyed while running: must stop, not hang or crash
    const auto shown = view.clockTexts().size();
    EXPECT_GE(shown, 1u);
}

}  // namespace
}  // namespace vorlix
