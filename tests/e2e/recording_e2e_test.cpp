// Recording through the real audio stack: the test's sound server plays a known tone into the
// virtual microphone, and the Qt device, the recorder and the lecture clock record it as in a
// lecture. Every wait is for a count or a state. Each test runs in a process of its own (Qt keeps
// the first sound server a process used).
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTest>

#include "app/qt_text.h"
#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "resources/texts.h"
#include "tests/e2e/tones.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000, kToneHz = 1000;
constexpr std::size_t kBuffer = 88200;

// One lecture's recording parts, wired as the window wires them, the narration in a scratch folder.
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
        EXPECT_TRUE(clock.start());
        EXPECT_TRUE(recorder.startRecording(clock.threadId()));
    }
    // Ends the lecture and waits for the device to hand everything back; the narration.
    Bytes end() {
        recorder.stopRecording();
        clock.stop();
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.idle(); }, kTimeoutMs));
        return readBytes(narration.path());
    }
    std::int32_t count() const { return recorder.completedBufferCount(); }
    bool waitFor(std::function<bool()> f) { return QTest::qWaitFor(f, kTimeoutMs); }
};

TEST(RecordingE2E, ToneIsRecordedCountedAndClockedBufferByBuffer) {
    constexpr int kBuffers = 5;
    ScratchDir dir;
    ASSERT_TRUE(makeTone(dir.file("tone.wav"), kToneHz, 40, "0.3"));
    QProcess player;
    player.start("paplay", {"--device=lecture", qs(dir.file("tone.wav"))});
    Lecture lecture;
    ASSERT_TRUE(lecture.prompts.log.empty()) << lecture.prompts.log.front();
    for (int n = 1; n <= kBuffers; ++n) {
        ASSERT_TRUE(lecture.waitFor([&] { return lecture.count() >= n; })) << "buffer " << n << " never came";
        ASSERT_TRUE(lecture.waitFor([&] { return lecture.clock.lectureClock() >= 4 * n; }));
        // The clock may run on by up to three ticks, never into the next buffer.
        EXPECT_LE(lecture.clock.lectureClock(), 4 * n + 3);
        EXPECT_EQ(lecture.count(), n);
    }
    const Bytes file = lecture.end();
    player.kill();
    EXPECT_EQ(lecture.count(), kBuffers + 2) << "the reset hands back the two queued buffers";
    EXPECT_TRUE(lecture.prompts.log.empty());
    ASSERT_EQ(file.size(), 44 + kBuffer * kBuffers);
    EXPECT_EQ(le32(file, 40), kBuffer * kBuffers);
    EXPECT_EQ(lecture.view.levelTexts[2], "音量||||||  OK");  // 0.3 of full scale
    // The buffers are assembled from small chunks: a chunk lost, doubled or put out of order
    // breaks the tone's period, also across the joins. The first buffer may begin before the
    // tone; a rare glitch of the sound server is tolerated.
    const auto crossings = upwardCrossings(std::span(file).subspan(44 + kBuffer));
    int broken = 0;
    for (std::size_t i = 1; i < crossings.size(); ++i)
        broken += std::abs(double(crossings[i] - crossings[i - 1]) - 44100.0 / kToneHz) > 2;
    EXPECT_NEAR(double(crossings.size()), (kBuffers - 1) * 2.0 * kToneHz, 2.0 * kToneHz / 100);
    EXPECT_LE(broken, 3) << "of " << crossings.size() << " periods";
}

TEST(RecordingE2E, LostSoundServerIsReportedAndTheLectureEndsCleanly) {
    Lecture lecture;
    ASSERT_TRUE(lecture.waitFor([&] { return lecture.count() >= 1; }));
    ::kill(std::stoi(std::getenv("VORLIX_PULSE_PID")), SIGKILL);
    ASSERT_TRUE(lecture.waitFor([&] { return !lecture.prompts.log.empty(); }));
    EXPECT_EQ(lecture.prompts.log, Log{std::string(texts::kDeviceLost)});
    const std::int32_t atStop = lecture.count();
    EXPECT_EQ(lecture.end().size(), 44 + kBuffer * static_cast<std::size_t>(atStop));
    EXPECT_EQ(lecture.count(), atStop + 2);
}

TEST(RecordingE2E, MissingMicrophoneIsReportedAndTheClockHolds) {
    ::setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);  // before Qt first looks
    Lecture lecture;
    EXPECT_EQ(lecture.prompts.log, Log{std::string(texts::kDeviceNotOpened)});
    ASSERT_TRUE(lecture.waitFor([&] { return lecture.clock.lectureClock() == 3; }));
    EXPECT_EQ(lecture.end().size(), 44u);
    EXPECT_EQ(lecture.count(), 0);
}

}  // namespace
}  // namespace vorlix::testing
