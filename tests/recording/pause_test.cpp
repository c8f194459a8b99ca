// Pausing, resuming and ending a lecture on the scripted microphone, with the recorder, the clock
// (stepped by the test) and the timeline wired as in a lecture: what both narration files hold,
// where the clock stands and where slide changes land. Also the 16-to-8-bit narrowing.
#include <gtest/gtest.h>

#include <sstream>

#include "lecture/slide_timeline.h"
#include "recording/recorder.h"
#include "recording/sample_narrowing.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix::testing {
namespace {

using Timeline = std::vector<std::pair<int, int>>;  // (tick, slide)

struct Lecture {
    ScratchDir dir;
    TempFolder temp{dir.path()};
    ScriptedDevice device;
    FakeView view;
    FakePrompts prompts;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts};
    StepPacer pacer;
    LectureClock clock{view, recorder.completedBuffers(), &pacer, &recorder.pausedFlag()};
    LectureState state{view, prompts, clock.lectureClockValue()};
    std::string path;

    Lecture() {  // recording first, so that the clock's first step already sees it running
        state.slides().assign({"1.bmp", "2.bmp", "3.bmp"});
        state.openTimeline();
        recorder.completedBuffers().store(-1);
        EXPECT_TRUE(recorder.startRecording(0x9c4));
        device.deliverAll();
        EXPECT_TRUE(clock.start() && pacer.step(0));
    }
    ~Lecture() { clock.stop(); }
    // Words: c<n> n samples arrive (100; 250 while paused, sound that must not be kept), d the
    // notifications are handled, s<n> the clock takes n steps, p pause, r resume, n Next, e End;
    // t<n>, b<n>, x<n>, i<0|1>, o<n> check the clock, the completed buffers, recordedSamples(),
    // REC, the bytes that found no buffer.
    void run(const std::string& script) {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            SCOPED_TRACE(w);
            const long n = w.size() > 1 ? std::stol(w.substr(1)) : 0;
            // clang-format off
            switch (w[0]) {
                case 'c': device.capture(std::size_t(n), recorder.paused() ? 250 : 100); break;
                case 'd': device.deliverAll(); break;
                case 's': ASSERT_TRUE(pacer.step(int(n))); break;
                case 'p': ASSERT_TRUE(recorder.pause()); break;
                case 'r': ASSERT_TRUE(recorder.resume()); break;
                case 'n': state.next(); break;
                case 'e': state.closeTimeline(), path = narration.path(), recorder.stopRecording(),
                          clock.stop(); break;
                case 't': EXPECT_EQ(clock.lectureClock(), n); break;
                case 'b': EXPECT_EQ(recorder.completedBufferCount(), n); break;
                case 'x': EXPECT_EQ(recorder.recordedSamples(), n); break;
                case 'i': EXPECT_EQ(view.recIndicator.back(), n != 0); break;
                case 'o': EXPECT_EQ(device.queue().overrunBytes(), std::uint64_t(n)); break;
                default: FAIL() << "unknown word";
            }
            // clang-format on
        }
    }
};

// After each lecture: both files hold exactly the sound recorded (the last words at End too),
// nothing of a pause; the video's last frame (half a second from finalTime) ends within half a
// second of the narration.
TEST(Pause, NarrationClockAndTimeline) {
    // clang-format off
    const std::tuple<const char*, const char*, std::size_t, int, Timeline> cases[] = {
        // name, script, samples in the narration, finalTime, timeline
        // The clock stands at 1 through the pause; the slide changed meanwhile lands on it.
        {"mid-buffer, Next while paused",
         "c22050 s5 t1 p c30000 s12 t1 x22050 n r c66150 d b1 s1 t4 c22050 s5 t5 e",
         88200 + 22050, 5, {{0, 0}, {1, 1}, {5, 1}}},
        // A buffer that fills as the pause begins still counts: the clock catches up and stands.
        {"at a buffer boundary", "c88200 p d b1 i0 s1 t4 c9999 s9 t4 x88200 r c88200 d b2 s1 t8 n e",
         2 * 88200, 8, {{0, 0}, {8, 1}, {8, 1}}},
        {"twice inside one buffer", "c1000 p c500 r c1000 p r c2000 s2 p s7 t0 x4000 r e", 4000, 0, {{0, 0}, {0, 0}}},
        {"End while paused", "c88200 d s1 c44100 s10 p s30 t6 c8000 e", 88200 + 44100, 6, {{0, 0}, {6, 0}}},
        // A full buffer whose notification had not come, and the partly filled one.
        {"End with a buffer on its way", "c88200 c30000 x118200 e", 88200 + 30000, 0, {{0, 0}, {0, 0}}},
        {"End 1.2 s into a buffer", "c88200 d s1 c52920 s12 t6 e", 88200 + 52920, 6, {{0, 0}, {6, 0}}},
        // Sound arriving while both buffers wait to be handled finds no room and is counted.
        {"no buffer free", "c88200 c88200 c1000 o2000 d b2 c500 o2000 e", 2 * 88200 + 500, 0, {{0, 0}, {0, 0}}},
    };
    // clang-format on
    for (const auto& [name, script, samples, finalTime, timeline] : cases) {
        SCOPED_TRACE(name);
        Lecture lecture;
        lecture.run(script);
        Timeline entries;
        for (int i = 0; i < lecture.state.timeline().entryCount; ++i)
            entries.emplace_back(lecture.state.timeline().startTime[i],
                                 lecture.state.timeline().slideIndex[i]);
        EXPECT_EQ(std::tuple(lecture.recorder.paused(), lecture.recorder.recordedSamples(),
                             lecture.state.finalTime(), entries),
                  std::tuple(false, std::int64_t(samples), finalTime, timeline));
        EXPECT_LE(finalTime * 22050, int(samples));
        lecture.device.deliverAll();  // the handed-back buffers: counted, not written again
        const Bytes narrow = readBytes(lecture.path),
                    wide = readBytes(wideNarrationPath(lecture.path));
        ASSERT_EQ(
            std::tuple(narrow.size(), le32(narrow, 40), wide.size(), le32(wide, 40), wide[34]),
            std::tuple(44 + samples, samples, 44 + 2 * samples, 2 * samples, 16));
        EXPECT_TRUE(*std::max_element(narrow.begin() + 44, narrow.end()) < 200 &&
                    lecture.prompts.log.empty());
    }
}

// 8-bit steps stay exact (silence stays 128); a quarter of a step, lost to plain rounding,
// keeps its average through the dither.
TEST(Pause, NarrowingKeepsStepsAndTheAverageOfQuietSound) {
    EXPECT_EQ(wideNarrationPath("/t/vx_temp_1_000009c4.wav"), "/t/vx_temp_1_000009c4.s16.wav");
    SampleNarrowing narrowing;
    const auto narrow = [&](std::vector<std::int16_t> s) {  // little-endian machines
        Bytes out(s.size());
        narrowing.narrow({reinterpret_cast<const std::uint8_t*>(s.data()), 2 * s.size()}, out);
        return out;
    };
    EXPECT_EQ(narrow({-32768, -256, 0, 256, 32512, 32767}), (Bytes{0, 127, 128, 129, 255, 255}));
    for (const int quarter : {64, -64}) {
        double sum = 0;
        for (const auto v : narrow(std::vector<std::int16_t>(100000, std::int16_t(quarter))))
            sum += v - 128;
        EXPECT_NEAR(sum / 100000, quarter / 256.0, 0.01);
    }
}

}  // namespace
}  // namespace vorlix::testing
