// Recording through the real audio stack: a PulseAudio server of the test's own plays a known
// tone into a virtual microphone, and the Qt device, the recorder and the lecture clock record it
// as in a lecture. Every wait is for a count or a state, with generous timeouts.
//
// Each test starts its own server and needs a process of its own, as ctest runs them: Qt's
// PulseAudio connection, once made, stays with the first server a process used.
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "lecture/lecture_view.h"
#include "recording/level_meter.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "resources/texts.h"
#include "tests/e2e/pulse_server.h"
#include "tests/support/lecture_fakes.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr std::size_t kBuffer = 88200;
constexpr int kToneHz = 1000;

class View final : public LectureView {
  public:
    void setClockText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        clockText_ = text;
    }
    void setLevelText(const std::string& text) override { levelTexts.push_back(text); }
    void setRecIndicator(bool checked) override { recIndicator.push_back(checked); }
    void setStartEnabled(bool) override {}
    void showPreviews(const std::string&, const std::string&, const std::string&) override {}
    std::string clockText() {
        std::lock_guard lock(mutex_);
        return clockText_;
    }

    std::vector<std::string> levelTexts;
    std::vector<bool> recIndicator;

  private:
    std::mutex mutex_;
    std::string clockText_;
};

// One lecture's worth of recording parts, wired as the window wires them.
struct Lecture {
    View view;
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
    void end() {
        recorder.stopRecording();
        clock.stop();
    }
    std::int32_t count() const { return recorder.completedBufferCount(); }
};

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Where the signal crosses the zero line (128) upwards, with a margin so that quantisation
// noise is not counted.
std::vector<std::size_t> upwardCrossings(std::span<const std::uint8_t> samples) {
    std::vector<std::size_t> at;
    bool low = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < 128 - 8) {
            low = true;
        } else if (samples[i] > 128 + 8 && low) {
            low = false;
            at.push_back(i);
        }
    }
    return at;
}

class RecordingE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        // The narration file goes with the server's folder.
        ::setenv("TEMP", server.folder().c_str(), 1);
        tone = server.folder() + "/tone.wav";
        // 0.3 of full scale: about ±38 around 128 in 8 bits, a level range well inside one grade.
        ASSERT_EQ(runProgram({"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", tone, "synth",
                              "40", "sine", std::to_string(kToneHz), "vol", "0.3"},
                             {}, server.folder() + "/sox.out"),
                  0);
    }

    PulseServer server;
    std::string tone;
};

TEST_F(RecordingE2E, ToneIsRecordedCountedShownAndClockedBufferByBuffer) {
    constexpr int kBuffers = 5;
    ASSERT_TRUE(server.play(tone));
    Lecture lecture;
    lecture.start();
    ASSERT_TRUE(lecture.prompts.messages.empty()) << lecture.prompts.messages.front();
    ASSERT_EQ(lecture.count(), 0);

    std::vector<std::int32_t> clockAtBuffer;
    for (int n = 1; n <= kBuffers; ++n) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.count() >= n; }, kTimeoutMs))
            << "buffer " << n << " never came; server log:\n"
            << server.log();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return lecture.clock.lectureClock() >= 4 * n; }, kTimeoutMs));
        clockAtBuffer.push_back(lecture.clock.lectureClock());
        // The clock may have run on by up to three ticks, never into the next buffer.
        EXPECT_LE(clockAtBuffer.back(), 4 * n + 3);
        EXPECT_EQ(lecture.count(), n);
    }
    const std::string path = lecture.narration.path();
    lecture.end();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.recorder.idle(); }, kTimeoutMs));
    server.stopPlaying();

    EXPECT_EQ(lecture.count(), kBuffers + 2) << "the reset hands back the two queued buffers";
    EXPECT_TRUE(lecture.prompts.messages.empty());
    const auto file = readFile(path);
    ASSERT_EQ(file.size(), 44 + kBuffer * kBuffers);
    EXPECT_EQ(le32(file, 4), kBuffer * kBuffers + 36);
    EXPECT_EQ(le32(file, 40), kBuffer * kBuffers);

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
        EXPECT_EQ(lecture.view.levelTexts[i], "音量||||||  OK");
        const auto hz = static_cast<int>(upwardCrossings(buffer).size() / 2);
        EXPECT_NEAR(hz, kToneHz, kToneHz / 100) << "buffer " << i + 1;
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
    ASSERT_TRUE(server.play(tone));
    Lecture lecture;
    lecture.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.count() >= 1; }, kTimeoutMs)) << server.log();
    server.kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lecture.prompts.messages.empty(); }, kTimeoutMs));
    EXPECT_EQ(lecture.prompts.messages, std::vector<std::string>{std::string(texts::kDeviceLost)});
    EXPECT_TRUE(lecture.recorder.recording()) << "the lecture goes on";

    const std::int32_t atStop = lecture.count();
    const std::string path = lecture.narration.path();
    lecture.end();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.recorder.idle(); }, kTimeoutMs));
    EXPECT_EQ(lecture.count(), atStop + 2);
    EXPECT_EQ(readFile(path).size(), 44 + kBuffer * static_cast<std::size_t>(atStop));
}

TEST(RecordingE2ENoServer, MissingMicrophoneIsReportedAndTheClockHolds) {
    PulseServer none;
    none.pointAtNoServer();
    ::setenv("TEMP", none.folder().c_str(), 1);
    Lecture lecture;
    lecture.start();
    EXPECT_EQ(lecture.prompts.messages,
              std::vector<std::string>{std::string(texts::kDeviceNotOpened)});
    EXPECT_EQ(lecture.count(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lecture.clock.lectureClock() == 3; }, kTimeoutMs));
    const std::string path = lecture.narration.path();
    lecture.end();
    EXPECT_TRUE(lecture.recorder.idle());
    EXPECT_EQ(readFile(path).size(), 44u);
}

}  // namespace
}  // namespace vorlix::testing
