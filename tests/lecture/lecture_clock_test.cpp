#include "lecture/lecture_clock.h"

#include <gtest/gtest.h>

#include "tests/support/fakes.h"

namespace vorlix {
namespace {

// The buffer count as the recorder moves it ({count, steps, clock after them}): four ticks a
// buffer, one more every five steps up to three; a late buffer restarts the steps, the clock never
// goes back. Shown by its own thread, whose id outlives the stop; a restart begins at zero.
TEST(LectureClock, FollowsTheBufferCountUpToItsCap) {
    const std::vector<std::array<std::int32_t, 3>> scripts[] = {
        {{-1, 40, 0}},
        {{0, 4, 0}, {0, 1, 1}, {0, 100, 3}, {1, 12, 6}, {2, 1, 8}, {1800, 1, 7200}},
        {{4, 23, 19}, {5, 1, 20}, {5, 4, 20}, {5, 1, 21}},
    };
    for (const auto& script : scripts) {
        testing::FakeView view;
        std::atomic<std::int32_t> buffers{script[0][0]};
        testing::StepPacer pacer;
        LectureClock clock{view, buffers, &pacer};
        ASSERT_TRUE(clock.start());
        for (const auto& [count, steps, shown] : script) {
            buffers = count;
            ASSERT_TRUE(pacer.step(steps));
            EXPECT_EQ(clock.lectureClock(), shown) << count << " buffers, " << steps;
        }
        EXPECT_EQ(view.clockShownBy.load(), clock.threadId());
        clock.stop();
        EXPECT_EQ(view.clockText(), clockText(script.back()[2]));
        EXPECT_EQ(std::pair(clock.threadId(), clock.lectureClock()),
                  std::pair(view.clockShownBy.load(), script.back()[2]));
        buffers = -1;  // as the next Start stores it
        ASSERT_TRUE(clock.start());
        EXPECT_EQ(clock.lectureClock(), 0);
    }
    EXPECT_EQ(clockText(7199), "59:59.5 sec");
}

}  // namespace
}  // namespace vorlix
