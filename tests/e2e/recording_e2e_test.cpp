// Recording through the real audio stack: a PulseAudio server of the test's own plays a known
// tone into a virtual microphone, and the Qt device, the recorder and the lecture clock record it
// as in a lecture. Every wait is for a count or a state, with generous timeouts.
//
// Each test needs a process of its own, as ctest runs them: Qt's PulseAudio connection, once
// made, stays with the first server a process used.
#include <gtest/gtest.h>

#include <QTest>

#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "recording/level_meter.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "resources/texts.h"
#include "tests/e2e/pulse_server.h"
#include "tests/e2e/tone_signal.h"
#include "tests/support/avi_probe.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr std::size_t kBuffer = 88200;
constexpr int kToneHz = 1000;

// One lecture's worth of recording parts, wired as the window wires them.
struct Lecture {
    FakeView view;
    FakePrompts prompts;
    QtWaveInput device;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts};
    LectureClock clock{view, recorder.completedBuffers()};

    void start() {
        recorder.completedBuffers().store(-1);
        ASSERT_TRUE(clock.start());
        ASSERT_TRUE(recorder.startRecording(clock.threadId()));
    }
    // Ends the lecture and waits for the device to hand everything back; the narration.
    std::vector<std::uint8_t> end() {
        const std::string path = narration.path();
        recorder.stopRecording();
        clock.stop();
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.idle(); }, kTimeoutMs));
        return readBytes(path);
    }
    std::int32_t count() const { return recorder.completedBufferCount(); }
    bool waitForCount(std::int32_t n) {
        return QTest::qWaitFor([&] { return count() >= n; }, kTimeoutMs);
    }
};

class RecordingE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        // 0.3 of full scale: about ±38 around 128 in 8 bits, a level range well inside one grade.
        ASSERT_TRUE(makeTone(tone, kToneHz, 40, "0.3"));
        ASSERT_TRUE(server.play(tone));
    }

    PulseServer server;
    TempFolder temp{server.folder()};  // the narration goes with the server's folder
    std::string tone = server.folder() + "/tone.wav";
};

TEST_F(RecordingE2E, ToneIsRecordedCountedShownAndClockedBufferByBuffer) {
    constexpr int kBuffers = 5;
    Lecture lecture;
    lecture.start();
    ASSERT_TRUE(lecture.prompts.messages.empty()) << lecture.prompts.messages.front();
    ASSERT_EQ(lecture.count(), 0);

    for (int n = 1; n <= kBuffers; ++n) {
        ASSERT_TRUE(lecture.waitForCount(n)) << "buffer " << n << " never came:\n" << server.log();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return lecture.clock.lectureClock() >= 4 * n; }, kTimeoutMs));
        // The clock may have run on by up to three ticks, never into the next buffer.
        EXPECT_LE(lecture.clock.lectureClock(), 4 * n + 3);
        EXPECT_EQ(lecture.count(), n);
    }
    const auto file = lecture.end();
    server.stopPlaying();

    EXPECT_EQ(lecture.count(), kBuffers + 2) << "the reset hands back the two queued buffers";
    EXPECT_TRUE(lecture.prompts.messages.empty());
    // The whole buffers, and the sound of the partly filled one up to the stop.
    ASSERT_GE(file.size(), 44 + kBuffer * kBuffers);
    ASSERT_LT(file.size(), 44 + kBuffer * (kBuffers + 1));
    EXPECT_EQ(le32(&file[4]), file.size() - 8);
    EXPECT_EQ(le32(&file[40]), file.size() - 44);

    // The first buffer may begin before the tone reaches the microphone; the others hold it all.
    ASSERT_EQ(lecture.view.levelTexts.size(), static_cast<std::size_t>(kBuffers + 2));
    for (int i = 0; i < kBuffers; ++i) {
        const std::span<const std::uint8_t> buffer(file.data() + 44 + i * kBuffer, kBuffer);
        const int range = levelRange(buffer);
        EXPECT_EQ(lecture.view.levelTexts[i], levelText(range)) << "buffer " << i + 1;
        EXPECT_EQ(lecture.view.recIndicator[i], i % 2 == 0);
        if (i == 0) continue;
        EXPECT_GE(range, 64) << "buffer " << i + 1;
        EXPECT_LT(range, 96) << "buffer " << i + 1;
        EXPECT_NEAR(upwardCrossings(buffer).size() / 2, kToneHz, kToneHz / 100)
            << "buffer " << i + 1;
    }

    // The buffers are assembled from small chunks: a chunk lost, doubled or put out of order
    // breaks the tone's period, also across the joins between buffers. A rare glitch of the
    // sound server is tolerated; a fault in the assembly breaks it every chunk.
    const auto crossings = upwardCrossings(
        std::span<const std::uint8_t>(file.data() + 44 + kBuffer, kBuffer * (kBuffers - 1)));
    const double period = 44100.0 / kToneHz;
    int broken = 0;
    for (std::size_t i = 1; i < crossings.size(); ++i) {
        const double interval = static_cast<double>(crossings[i] - crossings[i - 1]);
        if (interval < period - 2 || interval > period + 2) ++broken;
    }
    EXPECT_LE(broken, 3) << "of " << crossings.size() << " periods";
}

TEST_F(RecordingE2E, LostSoundServerIsReportedAndTheLectureEndsCleanly) {
    Lecture lecture;
    lecture.start();
    ASSERT_TRUE(lecture.waitForCount(1)) << server.log();
    server.kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lecture.prompts.messages.empty(); }, kTimeoutMs));
    EXPECT_EQ(lecture.prompts.messages, std::vector<std::string>{std::string(texts::kDeviceLost)});
    EXPECT_TRUE(lecture.recorder.recording()) << "the lecture goes on";

    const std::int32_t atStop = lecture.count();
    const auto size = lecture.end().size();
    EXPECT_GE(size, 44 + kBuffer * static_cast<std::size_t>(atStop));
    EXPECT_LT(size, 44 + kBuffer * static_cast<std::size_t>(atStop + 1));
    EXPECT_EQ(lecture.count(), atStop + 2);
}

TEST(RecordingE2ENoServer, MissingMicrophoneIsReportedAndTheClockHolds) {
    PulseServer none;
    none.pointAtNoServer();
    TempFolder temp(none.folder());
    Lecture lecture;
    lecture.start();
    EXPECT_EQ(lecture.prompts.messages,
              std::vector<std::string>{std::string(texts::kDeviceNotOpened)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.clock.lectureClock() == 3; }, kTimeoutMs));
    EXPECT_EQ(lecture.end().size(), 44u);
    EXPECT_EQ(lecture.count(), 0);
}

}  // namespace
}  // namespace vorlix::testing
