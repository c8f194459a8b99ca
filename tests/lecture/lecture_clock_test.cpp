#include "lecture/lecture_clock.h"

#include <gtest/gtest.h>

#include <future>
#include <limits>

#include "tests/support/fakes.h"

namespace vorlix {
namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 20s;  // a loaded machine may be slow; a broken clock hangs

TEST(LectureClock, TicksAndText) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::int32_t buffers, steps, ticks;
    } cases[] = {{-1, 500, 0}, {0, 4, 0},  {0, 5, 1},      {0, 19, 3},         {0, 9999, 3},
                 {1, 0, 4},    {4, 23, 19}, {1800, 0, 7200}, {kMax / 2, 0, kMax}};
    for (const auto& c : cases)
        EXPECT_EQ(clockTicks(c.buffers, c.steps), c.ticks) << c.buffers << "/" << c.steps;
    struct Text {
        std::int32_t ticks;
        const char* text;
    } texts[] = {{3, "00:01.5 sec"}, {119, "00:59.5 sec"}, {7199, "59:59.5 sec"},
                 {14400, "120:00.0 sec"}};
    for (const auto& t : texts) EXPECT_EQ(clockText(t.ticks), t.text) << t.ticks;
}

// Lets the clock thread take one step at a time.
class StepPacer : public ClockPacer {
  public:
    bool sleepStep(std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        return changed_.wait(lock, stop, [&] { return released_ >= entered_; });
    }
    // Lets the clock take n more steps and waits until it has shown the value after them.
    bool step(int n) {
        std::unique_lock lock(mutex_);
        released_ += n;
        changed_.notify_all();
        return changed_.wait_for(lock, kPatience, [&] { return entered_ >= released_ + 1; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    int entered_ = 0, released_ = 0;
};

struct ClockRig {
    testing::FakeView view;
    std::atomic<std::int32_t> buffers{-1};
    StepPacer pacer;
    LectureClock clock{view, buffers, &pacer};
    std::int32_t after(int steps) {
        EXPECT_TRUE(pacer.step(steps));
        return clock.lectureClock();
    }
};

// The buffer count as the recorder moves it, and the clock after the given steps: held at the
// cap, an early buffer jumps ahead, a late one restarts the steps without the clock going back.
TEST(LectureClock, FollowsTheBufferCountUpToItsCap) {
    struct Step {
        std::int32_t buffers;
        int steps;
        std::int32_t clock;
    };
    const std::vector<Step> scripts[] = {
        {{-1, 40, 0}},
        {{0, 5, 1}, {0, 100, 3}, {1, 12, 6}, {2, 1, 8}},
        {{4, 23, 19}, {5, 1, 20}, {5, 4, 20}, {5, 1, 21}},
    };
    for (const auto& script : scripts) {
        ClockRig rig;
        rig.buffers = script[0].buffers;
        ASSERT_TRUE(rig.clock.start());
        for (const auto& s : script) {
            rig.buffers = s.buffers;
            EXPECT_EQ(rig.after(s.steps), s.clock) << s.buffers << " buffers, " << s.steps;
        }
        EXPECT_EQ(rig.view.lastClockText(), clockText(script.back().clock));
    }
}

TEST(LectureClock, ThreadIdAndClockOutliveTheStopAndRestartBeginsAtZero) {
    ClockRig rig;
    rig.buffers = 2;
    ASSERT_TRUE(rig.clock.start());
    const std::uint32_t id = rig.clock.threadId();  // known as soon as start returns
    EXPECT_EQ(rig.after(20), 11);
    EXPECT_EQ(rig.view.clockShownBy.load(), id);  // the id is the clock thread's own
    rig.clock.stop();
    EXPECT_EQ(rig.clock.threadId(), id);
    EXPECT_EQ(rig.clock.lectureClock(), 11);  // End reads it after the stop
    rig.buffers = -1;
    ASSERT_TRUE(rig.clock.start());
    EXPECT_EQ(rig.clock.lectureClock(), 0);
}

// Runs f on another thread so that a clock which fails to wake cannot hang the test.
template <class F>
void promptly(F f) {
    auto done = std::async(std::launch::async, f);
    if (done.wait_for(kPatience) == std::future_status::ready) return;
    std::fprintf(stderr, "the clock did not stop\n");
    std::fflush(nullptr);
    std::_Exit(1);
}

TEST(LectureClock, StopAndDestructionWakeASleepingThreadAtOnce) {
    testing::FakeView view;
    std::atomic<std::int32_t> buffers{0};
    SteadyPacer hourLong(std::chrono::hours(1));
    auto clock = std::make_unique<LectureClock>(view, buffers, &hourLong);
    ASSERT_TRUE(clock->start());
    ASSERT_TRUE(view.waitForClockText("00:00.0 sec", kPatience));  // now in its hour-long sleep
    promptly([&] { clock->stop(); });
    EXPECT_FALSE(clock->isRunning());
    ASSERT_TRUE(clock->start());
    promptly([&] { clock.reset(); });  // destroyed while running
}

}  // namespace
}  // namespace vorlix
