// Choosing the microphone, 16-bit sound, pausing and the last words, on a PulseAudio server of
// the test's own with two microphones: "mic" hears 440 Hz, "mic2" (set as the server's default)
// hears 1000 Hz. Self-contained: it needs only PulseServer and sox.
//
// Each test needs a process of its own (Qt stays with the first sound server it used).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "app/lecture_window.h"
#include "app/microphone_menu.h"
#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "tests/e2e/pulse_server.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

constexpr int kWaitMs = 30000;

// Samples of a WAV file written by the recorder (44-byte header), as signed values.
std::vector<int> samplesOf(const std::string& path) {
    const auto bytes = readBytes(path);
    std::vector<int> s;
    if (bytes.size() < 44) return s;
    const bool wide = bytes[34] == 16;
    for (std::size_t i = 44; i + (wide ? 1 : 0) < bytes.size(); i += wide ? 2 : 1)
        s.push_back(wide ? static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8)
                         : (bytes[i] - 128) * 256);
    return s;
}

// Hz of the tone in s[from, to), from upward zero crossings with a margin against noise.
int frequency(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int crossings = 0;
    bool low = false;
    for (std::size_t i = from; i < to; ++i) {
        if (s[i] < -1500)
            low = true;
        else if (s[i] > 1500 && low)
            low = false, ++crossings;
    }
    return static_cast<int>(std::lround(crossings * 44100.0 / static_cast<double>(to - from)));
}

// Largest move from one sample to the next in s[from, to).
int largestStep(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int largest = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        largest = std::max(largest, std::abs(s[i] - s[i - 1]));
    return largest;
}

// sox's "RMS lev dB" of a stretch of a file after the given effects.
double soxRms(const std::string& file, double start, double seconds,
              std::vector<std::string> effects = {}) {
    std::vector<std::string> argv = {
        "sox", file, "-n", "trim", std::to_string(start), std::to_string(seconds)};
    argv.insert(argv.end(), effects.begin(), effects.end());
    argv.push_back("stats");
    static int run = 0;
    const std::string log = file + ".stats" + std::to_string(++run);
    if (runProgram(argv, {}, log) != 0) return NAN;
    std::ifstream in(log);
    const std::regex rms(R"(RMS lev dB\s+(-?[0-9.]+))");
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, m, rms)) return std::stod(m[1]);
    return NAN;
}

class MicrophoneE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        const std::string dir = server.folder();
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);  // the test's own settings
        ASSERT_EQ(pactl({"load-module", "module-null-sink", "sink_name=second"}), 0);
        ASSERT_EQ(pactl({"load-module", "module-remap-source", "master=second.monitor",
                         "source_name=mic2", "channels=1", "channel_map=mono",
                         "source_properties=device.description=SecondMic"}),
                  0);
        ASSERT_EQ(pactl({"set-default-source", "mic2"}), 0);
        ASSERT_TRUE(second.start({"paplay", "--raw", "--format=s16le", "--rate=44100",
                                  "--channels=1", "--latency-msec=20", "--device=second"},
                                 {}, dir + "/keepalive2.out", "/dev/zero"));
        ASSERT_EQ(sox({"-n", "-r", "44100", "-c", "1", "-b", "16", dir + "/low.wav", "synth", "40",
                       "sine", "440", "vol", "0.3"}),
                  0);
        ASSERT_EQ(sox({"-n", "-r", "44100", "-c", "1", "-b", "16", dir + "/high.wav", "synth", "40",
                       "sine", "1000", "vol", "0.3"}),
                  0);
    }
    int pactl(std::vector<std::string> args) {
        args.insert(args.begin(), "pactl");
        return runProgram(args, {}, server.folder() + "/pactl2.out");
    }
    int sox(std::vector<std::string> args) {
        args.insert(args.begin(), "sox");
        return runProgram(args, {}, server.folder() + "/sox.out");
    }
    void playTones() {
        ASSERT_TRUE(server.play(server.folder() + "/low.wav"));
        ASSERT_TRUE(high.start({"paplay", "--device=second", server.folder() + "/high.wav"}, {},
                               server.folder() + "/high.out"));
    }

    PulseServer server;
    ChildProcess second;
    ChildProcess high;
    TempFolder temp{server.folder()};
};

// The recording parts as the window wires them, on the input the user's choice resolves to.
struct Lecture {
    FakeView view;
    FakePrompts prompts;
    QtWaveInput device;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts};
    LectureClock clock{view, recorder.completedBuffers(), nullptr, &recorder.pausedFlag()};
    MicrophoneChoice choice;
    std::string path;

    void start() {
        device.setInputChooser([this] { return choice.resolve().device; });
        recorder.completedBuffers().store(-1);
        ASSERT_TRUE(clock.start());
        ASSERT_TRUE(recorder.startRecording(clock.threadId()));
        path = narration.path();
    }
    bool waitForCount(int n) {
        return QTest::qWaitFor([&] { return recorder.completedBufferCount() >= n; }, kWaitMs);
    }
    // End: the timeline's finalTime is the clock at this moment.
    std::int32_t end() {
        const std::int32_t finalTime = clock.lectureClock();
        recorder.stopRecording();
        clock.stop();
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.idle(); }, kWaitMs));
        return finalTime;
    }
};

TEST_F(MicrophoneE2E, TheServersDefaultIsRecordedWhenNothingIsChosen) {
    playTones();
    Lecture lecture;
    EXPECT_EQ(MicrophoneChoice::serverDefault().id(), QByteArray("mic2"));
    // A remembered input that is gone: the default, and its name for the message.
    QSettings().setValue("recording/microphone", QByteArray("gone"));
    QSettings().setValue("recording/microphoneDescription", QStringLiteral("Gone Mic"));
    const auto r = lecture.choice.resolve();
    EXPECT_EQ(r.device.id(), QByteArray("mic2"));
    EXPECT_EQ(r.missing, QStringLiteral("Gone Mic"));

    lecture.start();
    ASSERT_TRUE(lecture.waitForCount(2)) << server.log();
    lecture.end();
    EXPECT_EQ(lecture.device.input().id(), QByteArray("mic2"));
    const auto s = samplesOf(wideNarrationPath(lecture.path));
    ASSERT_GE(s.size(), 2 * 88200u);
    EXPECT_NEAR(frequency(s, 88200, 2 * 88200), 1000, 10);
}

TEST_F(MicrophoneE2E, ChosenInputInBothFilesWithAPauseThatLeavesNoMark) {
    playTones();
    // The choice as the user makes it: the window's context menu, by description.
    FakePrompts windowPrompts;
    QtWaveInput windowDevice;
    LectureWindow window(windowPrompts, windowDevice);
    MicrophoneMenu menu(window.dialog(), window.controller(), windowDevice, windowPrompts);
    QMenu context;
    menu.fill(context);
    QMenu* microphones = context.actions().first()->menu();
    ASSERT_NE(microphones, nullptr);
    QStringList entries;
    QAction* first = nullptr;
    for (QAction* a : microphones->actions()) {
        if (a->isSeparator()) continue;
        entries << a->text();
        if (a->text() != "SecondMic" && entries.size() > 1) first = a;
    }
    ASSERT_EQ(entries.size(), 3) << entries.join("|").toStdString();
    EXPECT_TRUE(entries[0].contains("SecondMic")) << "the default entry names the default";
    EXPECT_TRUE(entries.contains("SecondMic"));
    ASSERT_NE(first, nullptr);
    first->trigger();
    EXPECT_TRUE(window.dialog().levelField()->toolTip().contains(first->text()));

    Lecture lecture;
    lecture.start();
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
    const auto wide = samplesOf(wideFile);
    const auto narrow = samplesOf(lecture.path);
    ASSERT_EQ(wide.size(), narrow.size());
    ASSERT_GE(wide.size(), 3 * 88200u);
    EXPECT_NEAR(frequency(wide, 20000, 80000), 440, 5);
    EXPECT_NEAR(frequency(narrow, 20000, 80000), 440, 5);

    // 16 bits: the tone stands 60 dB above everything else (the tone notched out by sox).
    const double tone = soxRms(wideFile, 0.3, 1.4);
    const double rest =
        soxRms(wideFile, 0.3, 1.4,
               {"bandreject", "440", "100h", "bandreject", "440", "100h", "trim", "0.2"});
    EXPECT_GE(tone - rest, 60) << tone << " dB against " << rest << " dB";
    // 8 bits: the same tone at the same level.
    EXPECT_NEAR(soxRms(lecture.path, 0.3, 1.4), tone, 1.0);

    // The join: no sample-to-sample jump beyond the tone's own (a click), and no stretch of
    // quiet (a gap): the tone's period runs on.
    for (const auto* s : {&wide, &narrow}) {
        const int usual = largestStep(*s, 20000, 80000);
        EXPECT_LE(largestStep(*s, join - 2000, join + 2000), usual + 256);
        EXPECT_NEAR(frequency(*s, join - 4410, join + 4410), 440, 12);
    }
}

TEST_F(MicrophoneE2E, EndRightAfterAWordKeepsTheWord) {
    QSettings().setValue("recording/microphone", QByteArray("mic"));
    ASSERT_EQ(sox({"-n", "-r", "44100", "-c", "1", "-b", "16", server.folder() + "/word.wav",
                   "synth", "0.7", "sine", "440", "vol", "0.3"}),
              0);
    Lecture lecture;
    lecture.start();
    ASSERT_TRUE(lecture.waitForCount(1)) << server.log();
    // The word begins as a buffer begins: without the last words it would all be lost.
    ASSERT_EQ(runProgram({"paplay", "--device=lecture", server.folder() + "/word.wav"}, {},
                         server.folder() + "/word.out"),
              0);
    const std::int32_t finalTime = lecture.end();

    const auto s = samplesOf(wideNarrationPath(lecture.path));
    const auto narrow = samplesOf(lecture.path);
    ASSERT_EQ(s.size(), narrow.size());
    std::size_t loud = 0, last = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 3000) ++loud, last = i;
    EXPECT_GT(loud, 44100u * 7 / 10 / 2) << "the word is in the narration";
    EXPECT_LE(s.size() - last, 4410u) << "End came right after the word";
    // The video's last frame (half a second from finalTime) ends within half a second of the
    // narration's end.
    EXPECT_LE(finalTime * 22050, static_cast<std::int64_t>(s.size()));
}

}  // namespace
}  // namespace vorlix::testing
