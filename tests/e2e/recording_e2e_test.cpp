// The Qt microphone when the sound server goes away: told at once, the lecture ends cleanly. Each test runs in a process of its own (Qt keeps the first sound server
// a process used).
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>

#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "recording/recorder.h"
#include "resources/texts.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

// One lecture's recording parts, wired as the window wires them; ends when asked, waiting for the
// device to hand everything back, and gives the narration's size.
struct Lecture {
    ScratchDir dir;
    TempFolder temp{dir.path()};
    FakeView view;
    FakePrompts prompts;
    QtWaveInput device;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts};
    LectureClock clock{view, recorder.completedBuffers()};

    Lecture() {
        recorder.completedBuffers().store(-1);
        EXPECT_TRUE(clock.start() && recorder.startRecording(clock.threadId()));
    }
    std::size_t end() {
        recorder.stopRecording();
        clock.stop();
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.idle(); }, 30000));
        return readBytes(narration.path()).size();
    }
};

TEST(RecordingE2E, LostSoundServerIsToldAndTheLectureEndsCleanly) {
    Lecture lecture;
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.recorder.completedBufferCount() >= 1; }, 30000));
    ::kill(std::stoi(std::getenv("VORLIX_PULSE_PID")), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lecture.prompts.log.empty(); }, 30000));
    EXPECT_EQ(lecture.prompts.log, Log{std::string(texts::kDeviceLost)});
    const std::int32_t atStop = lecture.recorder.completedBufferCount();
    EXPECT_EQ(lecture.end(), 44 + 88200 * static_cast<std::size_t>(atStop));
    EXPECT_EQ(lecture.recorder.completedBufferCount(), atStop + 2);  // the reset hands back two
}

}  // namespace
}  // namespace vorlix::testing
