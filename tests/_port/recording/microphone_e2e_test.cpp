// Choosing the microphone, 16-bit sound, pausing and the last words, on a PulseAudio server of
// the test's own with two microphones: "mic" hears 440 Hz; "mic2", the server's default, hears
// 1000 Hz. Self-contained: it needs only PulseServer and sox. One process per test (Qt stays
// with the first sound server it used).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <fstream>
#include <regex>

#include "app/lecture_window.h"
#include "app/microphone_menu.h"
#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "recording/recorder.h"
#include "tests/e2e/pulse_server.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

// A recorder's WAV file (44-byte header) as signed 16-bit values.
std::vector<int> samplesOf(const std::string& path) {
    const auto b = readBytes(path);
    std::vector<int> s;
    const bool wide = b.size() > 44 && b[34] == 16;
    for (std::size_t i = 44; i + (wide ? 1 : 0) < b.size(); i += wide ? 2 : 1)
        s.push_back(wide ? static_cast<std::int16_t>(b[i] | b[i + 1] << 8) : (b[i] - 128) * 256);
    return s;
}

// Hz of s[from, to) by upward zero crossings; and the largest move from one sample to the next.
int frequency(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from, low = 0; i < to; ++i) {
        if (s[i] < -1500) low = 1;
        if (s[i] > 1500 && low) low = 0, ++crossings;
    }
    return static_cast<int>(std::lround(crossings * 44100.0 / static_cast<double>(to - from)));
}
int largestStep(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int largest = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        largest = std::max(largest, std::abs(s[i] - s[i - 1]));
    return largest;
}

// sox's "RMS lev dB" of 1.4 s from 0.3 s into a file, after the given effects.
double soxRms(const std::string& file, std::vector<std::string> effects = {}) {
    static int run = 0;
    const std::string log = file + ".stats" + std::to_string(++run);
    std::vector<std::string> argv = {"sox", file, "-n", "trim", "0.3", "1.4"};
    argv.insert(argv.end(), effects.begin(), effects.end());
    argv.push_back("stats");
    std::ifstream in(runProgram(argv, {}, log) == 0 ? log : "");
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, m, std::regex(R"(RMS lev dB\s+(-?[0-9.]+))")))
            return std::stod(m[1]);
    return NAN;
}

class MicrophoneE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);  // the test's own settings
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"pactl", "load-module", "module-null-sink", "sink_name=second"},
                 {"pactl", "load-module", "module-remap-source", "master=second.monitor",
                  "source_name=mic2", "channels=1", "channel_map=mono",
                  "source_properties=device.description=SecondMic"},
                 {"pactl", "set-default-source", "mic2"},
                 {"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", dir + "/low.wav", "synth",
                  "40", "sine", "440", "vol", "0.3"},
                 {"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", dir + "/word.wav", "synth",
                  "0.7", "sine", "1000", "vol", "0.3"}})
            ASSERT_EQ(runProgram(args, {}, dir + "/setup.out"), 0) << args[1];
        ASSERT_TRUE(keepalive.start({"paplay", "--raw", "--format=s16le", "--rate=44100",
                                     "--channels=1", "--device=second"},
                                    {}, dir + "/keepalive2.out", "/dev/zero"));
        ASSERT_TRUE(server.play(dir + "/low.wav"));
    }

    // Recorder and clock as the window wires them, on the input the choice resolves to.
    struct Lecture {
        FakeView view;
        FakePrompts prompts;
        QtWaveInput device;
        NarrationFile narration{prompts};
        Recorder recorder{device, narration, view, prompts};
        LectureClock clock{view, recorder.completedBuffers(), nullptr, &recorder.pausedFlag()};
        MicrophoneChoice choice;
        std::string path;

        Lecture() {
            device.setInputChooser([this] { return choice.resolve().device; });
            recorder.completedBuffers().store(-1);
            EXPECT_TRUE(clock.start());
            EXPECT_TRUE(recorder.startRecording(clock.threadId()));
            path = narration.path();
        }
        bool waitForCount(int n) {
            return QTest::qWaitFor([&] { return recorder.completedBufferCount() >= n; }, 30000);
        }
        std::int32_t end() {  // finalTime: the clock as End is pressed
            const std::int32_t finalTime = clock.lectureClock();
            recorder.stopRecording();
            clock.stop();
            EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.idle(); }, 30000));
            return finalTime;
        }
    };

    PulseServer server;
    std::string dir = server.folder();
    ChildProcess keepalive;
    TempFolder temp{dir};
};

TEST_F(MicrophoneE2E, ChosenInputInBothFilesWithAPauseThatLeavesNoMark) {
    // The choice as the user makes it: the context menu, inputs by description.
    FakePrompts windowPrompts;
    QtWaveInput windowDevice;
    LectureWindow window(windowPrompts, windowDevice);
    MicrophoneMenu menu(window.dialog(), window.controller(), windowDevice, windowPrompts);
    QMenu context;
    menu.fill(context);
    QStringList entries;
    QAction* first = nullptr;
    for (QAction* a : context.actions().first()->menu()->actions()) {
        if (!a->isSeparator()) entries << a->text();
        if (!a->isSeparator() && entries.size() > 1 && a->text() != "SecondMic") first = a;
    }
    ASSERT_EQ(entries.size(), 3) << entries.join("|").toStdString();
    EXPECT_TRUE(entries[0].contains("SecondMic")) << "the default entry names the default";
    ASSERT_NE(first, nullptr);
    first->trigger();
    EXPECT_TRUE(window.dialog().levelField()->toolTip().contains(first->text()));

    Lecture lecture;
    ASSERT_TRUE(lecture.waitForCount(1)) << server.log();
    ASSERT_TRUE(lecture.recorder.pause());
    const auto join = static_cast<std::size_t>(lecture.recorder.recordedSamples());
    const std::int32_t pausedAt = lecture.clock.lectureClock();
    QTest::qWait(1500);
    EXPECT_EQ(lecture.recorder.recordedSamples(), static_cast<std::int64_t>(join));
    EXPECT_LE(lecture.clock.lectureClock(), pausedAt + 1) << "the clock stands during a pause";
    ASSERT_TRUE(lecture.recorder.resume());
    ASSERT_TRUE(lecture.waitForCount(3)) << server.log();
    lecture.end();
    EXPECT_EQ(lecture.device.input().id(), QByteArray("mic"));

    const std::string wideFile = wideNarrationPath(lecture.path);
    const auto wide = samplesOf(wideFile), narrow = samplesOf(lecture.path);
    ASSERT_EQ(wide.size(), narrow.size());
    ASSERT_GE(wide.size(), 3 * 88200u);
    // 16 bits: the tone 60 dB above everything else (the rest: the tone notched out by sox);
    // 8 bits: the same tone at the same level.
    const double tone = soxRms(wideFile);
    const double rest =
        soxRms(wideFile, {"bandreject", "440", "100h", "bandreject", "440", "100h", "trim", "0.2"});
    EXPECT_GE(tone - rest, 60) << tone << " dB against " << rest << " dB";
    EXPECT_NEAR(soxRms(lecture.path), tone, 1.0);
    // At the join no jump beyond the tone's own (a click), and its period runs on (no gap).
    for (const auto* s : {&wide, &narrow}) {
        EXPECT_NEAR(frequency(*s, 20000, 80000), 440, 5);
        EXPECT_LE(largestStep(*s, join - 2000, join + 2000), largestStep(*s, 20000, 80000) + 256);
        EXPECT_NEAR(frequency(*s, join - 4410, join + 4410), 440, 12);
    }
}

TEST_F(MicrophoneE2E, DefaultInputWhenNoneIsThereAndEndRightAfterAWordKeepsIt) {
    // Remembered, but gone: the server's default input (not Qt's first), named for the message.
    QSettings().setValue("recording/microphone", QByteArray("gone"));
    QSettings().setValue("recording/microphoneDescription", QStringLiteral("Gone Mic"));
    const auto r = MicrophoneChoice().resolve();
    EXPECT_EQ(r.device.id(), QByteArray("mic2"));
    EXPECT_EQ(r.missing, QStringLiteral("Gone Mic"));

    Lecture lecture;
    ASSERT_TRUE(lecture.waitForCount(1)) << server.log();
    // The word begins as a buffer begins: without the last words it would all be lost.
    ASSERT_EQ(runProgram({"paplay", "--device=second", dir + "/word.wav"}, {}, dir + "/word.out"),
              0);
    const std::int32_t finalTime = lecture.end();

    const auto s = samplesOf(wideNarrationPath(lecture.path));
    ASSERT_EQ(s.size(), samplesOf(lecture.path).size());
    std::size_t loud = 0, last = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 3000) ++loud, last = i;
    EXPECT_GT(loud, 44100u * 7 / 10 / 2) << "the word is in the narration";
    EXPECT_LE(s.size() - last, 4410u) << "End came right after the word";
    EXPECT_NEAR(frequency(s, last - 22050, last), 1000, 10) << "from the default input";
    // The video's last frame (half a second from finalTime) ends within half a second of the
    // narration's end.
    EXPECT_LE(finalTime * 22050, static_cast<std::int64_t>(s.size()));
}

}  // namespace
}  // namespace vorlix::testing
