// The microphone and the pause in the program's own window, on the test's sound server with a
// second microphone: "mic" hears 440 Hz, "mic2" (the server's default) 1000 Hz, so the input
// recorded is told by the tone. Two lectures: nothing chosen, then "mic" chosen in the context
// menu and a pause in the middle; the video is given up, the narrations read.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>

#include "app/lecture_window.h"
#include "app/microphone_menu.h"
#include "app/qt_text.h"
#include "app/qt_wave_input.h"
#include "resources/texts.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

// A narration WAV (44-byte header, 8 or 16 bits) as signed 16-bit values.
std::vector<int> samplesOf(const std::string& path) {
    const Bytes b = readBytes(path);
    const bool wide = b.size() > 44 && b[34] == 16;  // else 8 bits
    std::vector<int> s;
    for (std::size_t i = 44; i + wide < b.size(); i += 1 + wide)
        s.push_back(wide ? std::int16_t(b[i] | b[i + 1] << 8) : (b[i] - 128) * 256);
    return s;
}
// Hz of s[from, to) by upward crossings; the largest move from one sample to the next.
int frequency(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from, low = 0; i < to; ++i) {
        if (s[i] < -1500) low = 1;
        if (s[i] > 1500 && low) low = 0, ++crossings;
    }
    return int(std::lround(crossings * 44100.0 / double(to - from)));
}
int largestStep(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int largest = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        largest = std::max(largest, std::abs(s[i] - s[i - 1]));
    return largest;
}
// sox's "RMS lev dB" of 1.4 s from 0.3 s into a file, after the effects.
double soxRms(const std::string& file, const std::string& effects = "") {
    const std::string log = file + ".stats";
    if (std::system(("sox " + file + " -n trim 0.3 1.4 " + effects + " stats 2>" + log).c_str()))
        return NAN;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("RMS lev dB")) return std::stod(line.substr(10));
    return NAN;
}

TEST(MicrophoneE2E, DefaultOrChosenInputIn16And8BitsPausedWithoutAMark) {
    ScratchDir dir;
    TempFolder temp(dir.path());
    ASSERT_EQ(std::system("pactl load-module module-null-sink sink_name=second >/dev/null && "
                          "pactl load-module module-remap-source master=second.monitor "
                          "source_name=mic2 channels=1 channel_map=mono "
                          "source_properties=device.description=SecondMic >/dev/null && "
                          "pactl set-default-source mic2"),
              0);
    QProcess players[2];
    for (int i = 0; i < 2; ++i) {
        const std::string wav = dir.file(std::to_string(i) + ".wav");
        const std::string tone = i ? " synth 40 sine 1000 vol 0.3" : " synth 40 sine 440 vol 0.3";
        ASSERT_EQ(std::system(("sox -n -r 44100 -c 1 -b 16 " + wav + tone).c_str()), 0);
        players[i].start(
            "paplay", {"--latency-msec=20", i ? "--device=second" : "--device=lecture", qs(wav)});
        writeFile(dir.file("スライド" + std::to_string(i + 1) + ".bmp"),
                  bmpOf(8, 6, [](int, int) { return 0x808080u; }));
    }
    initResources();
    FakePrompts prompts;  // at End the save dialogue is cancelled and the video given up
    prompts.folder = dir.path().string();
    QtWaveInput device;
    LectureWindow window(prompts, device);
    MicrophoneMenu menu(window.dialog(), window.controller(), device, prompts);
    RecorderDialog& d = window.dialog();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    const Recorder& recorder = window.controller().recorder();
    const auto reach = [&](std::int64_t samples) {
        return QTest::qWaitFor([&] { return recorder.recordedSamples() >= samples; }, 30000);
    };
    const auto lecture = [&](const std::function<void()>& during) {  // the narration's path
        QTest::mouseClick(d.startButton(), Qt::LeftButton);
        const std::string path = window.controller().narrationPath();
        during();
        QTest::mouseClick(d.endButton(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.startButton()->isEnabled(); }, 30000));
        return path;
    };

    // Nothing chosen: the server's default input, not Qt's first one.
    const auto first = samplesOf(wideNarrationPath(lecture([&] { EXPECT_TRUE(reach(44100)); })));
    ASSERT_GT(first.size(), 22050u);
    EXPECT_NEAR(frequency(first, 4410, first.size()), 1000, 10);
    // The menu: the default entry naming it, a separator, the inputs by description.
    QMenu context;
    menu.fill(context);
    const QList<QAction*> entries = context.actions().first()->menu()->actions();
    ASSERT_TRUE(entries.size() == 4 && entries[0]->text().contains("SecondMic"));
    QAction* mic = entries[entries[2]->text() == "SecondMic" ? 3 : 2];
    mic->trigger();
    EXPECT_TRUE(d.levelField()->toolTip().contains(mic->text()));

    std::size_t join = 0;  // where the pause cut the narration
    const std::string narrowFile = lecture([&] {
        ASSERT_TRUE(reach(88200 + 4410));
        QTest::mouseClick(d.pauseButton(), Qt::LeftButton);
        join = std::size_t(recorder.recordedSamples());
        EXPECT_EQ(std::tuple(d.pauseButton()->text(), d.recIndicator()->text(),
                             d.recIndicator()->isChecked()),
                  std::tuple(qs(texts::kResumeButton), qs(texts::kRecPaused), false));
        QTest::qWait(300);
        const QString clock = d.clockField()->text();
        QTest::qWait(1200);
        EXPECT_EQ(std::pair(d.clockField()->text(), std::size_t(recorder.recordedSamples())),
                  std::pair(clock, join))
            << "the clock and the sound stand";
        d.activateWindow();  // the key is the window's shortcut
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        QTest::keyClick(&d, Qt::Key_Pause);
        ASSERT_TRUE(reach(std::int64_t(join) + 66150));
    });
    EXPECT_EQ(device.input().id(), QByteArray("mic"));
    const std::string wideFile = wideNarrationPath(narrowFile);
    const auto wide = samplesOf(wideFile), narrow = samplesOf(narrowFile);
    ASSERT_EQ(wide.size(), narrow.size());
    ASSERT_GE(wide.size(), join + 66150) << "the last words";
    // 16 bits: the tone 60 dB above everything else (the tone notched out); 8 bits: the same level.
    const double tone = soxRms(wideFile),
                 rest = soxRms(wideFile, "bandreject 440 100h bandreject 440 100h trim 0.2");
    EXPECT_GE(tone - rest, 60) << tone << " dB against " << rest << " dB";
    EXPECT_NEAR(soxRms(narrowFile), tone, 1.0);
    // At the join no jump beyond the tone's own (a click), and its period runs on (no gap).
    for (const auto* s : {&wide, &narrow}) {
        EXPECT_NEAR(frequency(*s, 20000, 80000), 440, 5);
        EXPECT_LE(largestStep(*s, join - 2000, join + 2000), largestStep(*s, 20000, 80000) + 256);
        EXPECT_NEAR(frequency(*s, join - 4410, join + 4410), 440, 12);
    }
}

}  // namespace
}  // namespace vorlix::testing
