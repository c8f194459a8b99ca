// Pausing, resuming and ending a lecture on a scripted microphone, with the recorder, the clock
// (stepped by the test) and the timeline wired as in a lecture: what the narration files hold,
// where the clock stands and where slide changes land. Also the join of a resumed stream and the
// 16-to-8-bit narrowing on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>
#include <sstream>

#include "lecture/lecture_clock.h"
#include "lecture/slide_timeline.h"
#include "recording/capture_queue.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "recording/sample_narrowing.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

using Timeline = std::vector<std::pair<int, int>>;  // (tick, slide)

// The clock thread takes exactly the steps the test releases.
class HandPacer : public ClockPacer {
  public:
    bool sleepStep(std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        return changed_.wait(lock, stop, [&] { return released_ >= entered_; });
    }
    // Releases n steps and waits until the clock has shown the value after them.
    void step(int n) {
        std::unique_lock lock(mutex_);
        released_ += n;
        changed_.notify_all();
        ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(20),
                                      [&] { return entered_ >= released_ + 1; }));
    }

  private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    int entered_ = 0, released_ = 0;
};

struct Lecture {
    ScratchDir dir;
    TempFolder temp{dir.path()};
    ScriptedWaveInput device;
    FakeView view;
    FakePrompts prompts;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts};
    HandPacer pacer;
    LectureClock clock{view, recorder.completedBuffers(), &pacer, &recorder.pausedFlag()};
    LectureState state{view, prompts, clock.lectureClockValue()};

    Lecture() {
        state.slides().assign({"1.bmp", "2.bmp", "3.bmp"});
        state.openTimeline();
        // Recording first, so that the clock's first step already sees it running.
        recorder.completedBuffers().store(-1);
        EXPECT_TRUE(recorder.startRecording(0x9c4));
        device.deliverAll();
        EXPECT_TRUE(clock.start());
        pacer.step(0);
    }
    ~Lecture() { clock.stop(); }

    // Runs a script of words: c<n> n samples arrive (value 100, or 250 while paused: sound that
    // must not be kept), d the posted notifications are handled, s<n> the clock takes n steps,
    // p pause, r resume, n Next, e End; t=<n>, b=<n>, x=<n>, i=<0|1> check the clock's ticks,
    // the completed buffers, recordedSamples() and the REC mark.
    void run(const std::string& script) {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            SCOPED_TRACE(w);
            const long n = w.size() > 1 ? std::stol(w.substr(w[1] == '=' ? 2 : 1)) : 0;
            // clang-format off
            switch (w[0]) {
                case 'c': device.capture(static_cast<std::size_t>(n), recorder.paused() ? 250 : 100); break;
                case 'd': device.deliverAll(); break;
                case 's': pacer.step(static_cast<int>(n)); break;
                case 'p': ASSERT_TRUE(recorder.pause()); break;
                case 'r': ASSERT_TRUE(recorder.resume()); break;
                case 'n': state.next(); break;
                case 'e':
                    state.closeTimeline();
                    path = narration.path();
                    recorder.stopRecording();
                    clock.stop();
                    break;
                case 't': EXPECT_EQ(clock.lectureClock(), n); break;
                case 'b': EXPECT_EQ(recorder.completedBufferCount(), n); break;
                case 'x': EXPECT_EQ(recorder.recordedSamples(), n); break;
                case 'i': EXPECT_EQ(view.recIndicator.back(), n != 0); break;
                default: FAIL() << "unknown word";
            }
            // clang-format on
        }
    }
    Timeline timeline() const {
        Timeline t;
        for (int i = 0; i < state.timeline().entryCount; ++i)
            t.emplace_back(state.timeline().startTime[i], state.timeline().slideIndex[i]);
        return t;
    }
    std::string path;
};

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(PauseAndLastWords, NarrationClockAndTimeline) {
    struct Case {
        const char* name;
        const char* script;
        std::size_t samples;  // in the narration at the end
        int finalTime;
        Timeline timeline;
    } cases[] = {
        // Half a second into buffer A the clock shows 1; it stays there through the pause, and
        // the slide changed meanwhile lands on it. The resumed sound fills A up.
        {"pause mid-buffer, Next while paused",
         "c22050 s5 t=1 p c30000 s12 t=1 x=22050 n r c66150 d b=1 s1 t=4 c22050 s5 t=5 e",
         88200 + 22050,
         5,
         {{0, 0}, {1, 1}, {5, 1}}},
        // A buffer that fills as the pause begins still counts: the clock catches up to it
        // and stands.
        {"pause at a buffer boundary",
         "c88200 p d b=1 i=0 s1 t=4 c9999 s9 t=4 x=88200 r c88200 d b=2 s1 t=8 n e",
         2 * 88200,
         8,
         {{0, 0}, {8, 1}, {8, 1}}},
        {"pause and resume twice inside one buffer",
         "c1000 p c500 r c1000 p r c2000 s2 p s7 t=0 x=4000 r e",
         4000,
         0,
         {{0, 0}, {0, 0}}},
        // End during a pause ends the lecture with everything recorded up to the pause.
        {"End while paused",
         "c88200 d s1 c44100 s10 p s30 t=6 c8000 e",
         88200 + 44100,
         6,
         {{0, 0}, {6, 0}}},
        // The last words: the partly filled buffer, and a full one whose notification had not
        // come, both reach the narration.
        {"End with a buffer on its way and one partly filled",
         "c88200 c30000 x=118200 e",
         88200 + 30000,
         0,
         {{0, 0}, {0, 0}}},
        {"End 1.2 s into a buffer",
         "c88200 d s1 c52920 s12 t=6 e",
         88200 + 52920,
         6,
         {{0, 0}, {6, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lecture lecture;
        lecture.run(c.script);
        EXPECT_FALSE(lecture.recorder.paused());
        EXPECT_EQ(lecture.recorder.recordedSamples(), static_cast<std::int64_t>(c.samples));
        EXPECT_EQ(lecture.state.finalTime(), c.finalTime);
        EXPECT_EQ(lecture.timeline(), c.timeline);
        // The video's last frame (half a second from finalTime) ends within half a second of
        // the narration's end.
        EXPECT_LE(lecture.state.finalTime() * 22050, static_cast<int>(c.samples));

        lecture.device.deliverAll();  // the handed-back buffers: counted, not written again
        const auto narrow = readBytes(lecture.path);
        const auto wide = readBytes(wideNarrationPath(lecture.path));
        ASSERT_EQ(narrow.size(), 44 + c.samples);
        ASSERT_EQ(wide.size(), 44 + 2 * c.samples);
        EXPECT_EQ(le32(narrow, 40), c.samples);
        EXPECT_EQ(le32(wide, 40), 2 * c.samples);
        EXPECT_EQ(wide[34], 16);
        // Nothing of the sound made during a pause (value 250) got in.
        EXPECT_LT(*std::max_element(narrow.begin() + 44, narrow.end()), 200);
        EXPECT_TRUE(lecture.prompts.messages.empty());
    }
}

// A steady 441-Hz tone, cut by a pause and resumed at another phase (or by silence): the joined
// sound moves no more than the tone does from one sample to the next; at most a period (20 ms
// for silence) is dropped.
TEST(PauseAndLastWords, ResumedToneJoinsWithoutAStep) {
    const auto tone = [](int from, int count, double amplitude = 12000) {
        std::vector<std::int16_t> s;
        for (int i = from; i < from + count; ++i)
            s.push_back(static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * std::numbers::pi * i / 100.0))));
        return s;
    };
    for (const int resumeAt : {1080, 1000, -1}) {  // -1: silence
        SCOPED_TRACE(resumeAt);
        ScriptedWaveInput device;
        std::vector<std::int16_t> memory(10000);
        WaveBuffer buffer{reinterpret_cast<std::uint8_t*>(memory.data()), 20000};
        struct : WaveInputEvents {
            void onWaveOpen() override {}
            void onWaveData(WaveBuffer&) override {}
            void onWaveClose() override {}
            void onWaveFailed() override {}
        } owner;
        device.open(kWideCaptureFormat, owner);
        device.prepare(buffer);
        device.addBuffer(buffer);
        device.start();
        device.captureWide(tone(0, 1013));
        device.pause();
        device.captureWide(tone(1013, 3000));
        device.start();
        const std::size_t dropped =
            device.captureWide(tone(resumeAt, 2000, resumeAt < 0 ? 0 : 12000));
        EXPECT_LE(dropped, resumeAt < 0 ? 882u : 100u);
        ASSERT_EQ(buffer.bytesRecorded, static_cast<int>(2 * (1013 + 2000 - dropped)));
        int largest = 0;
        for (int i = 1; i < buffer.bytesRecorded / 2; ++i)
            largest = std::max(largest, std::abs(memory[i] - memory[i - 1]));
        EXPECT_LE(largest, 12000 * 2 * std::numbers::pi / 100 * 1.05);
    }
}

TEST(PauseAndLastWords, NarrowingKeepsStepsAndTheAverageOfQuietSound) {
    EXPECT_EQ(wideNarrationPath("/t/vx_temp_1_000009c4.wav"), "/t/vx_temp_1_000009c4.s16.wav");
    SampleNarrowing narrowing;
    const auto narrow = [&](std::vector<std::int16_t> s) {  // little-endian machines
        std::vector<std::uint8_t> out(s.size());
        narrowing.narrow({reinterpret_cast<const std::uint8_t*>(s.data()), 2 * s.size()}, out);
        return out;
    };
    EXPECT_EQ(narrow({-32768, -256, 0, 256, 32512, 32767}),
              (std::vector<std::uint8_t>{0, 127, 128, 129, 255, 255}));
    // A quarter of an 8-bit step: rounding would lose it; dithered, its average survives.
    for (const int quarter : {64, -64}) {
        double sum = 0;
        for (const auto v : narrow(std::vector<std::int16_t>(100000, quarter))) sum += v - 128;
        EXPECT_NEAR(sum / 100000, quarter / 256.0, 0.01);
    }
}

}  // namespace
}  // namespace vorlix::testing
