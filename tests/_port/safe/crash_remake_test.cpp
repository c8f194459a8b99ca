// A lecture killed with SIGKILL half-way: the journal and the narration on disk are all that is
// left, and the one command README names remakes the video from them with every slide change
// and every completed buffer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "controller/lecture_controller.h"
#include "support/avi_probe.h"
#include "support/bmp_writer.h"
#include "support/convert_process.h"
#include "support/lecture_fakes.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "tests/recording/scripted_wave_input.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kBuffer = 88200;
constexpr int kChanges = 4;  // one Next or Previous after each buffer
constexpr std::uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF};  // slides 1, 2, 3

struct Change {
    std::int32_t tick, slide;
};

// The recording child: a lecture on a scripted microphone, every change reported to the
// parent through the pipe, then it waits to be killed.
[[noreturn]] void lecture(int out, const std::string& slides,
                          const std::vector<std::uint8_t>& sound) {
    testing::FakeView view;
    testing::FakePrompts prompts;
    prompts.folder = slides;
    testing::ScriptedWaveInput device;
    LectureController controller(view, prompts, device);
    controller.start();
    device.deliverAll();
    auto report = [&](const Change& c) { (void)!::write(out, &c, sizeof c); };
    std::size_t at = 0;
    for (int b = 0; b <= kChanges; ++b) {
        device.capture(std::span(sound).subspan(at, kBuffer));
        at += kBuffer;
        device.deliverAll();
        // The clock takes the buffer within its 100-ms step.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (b == kChanges) break;  // the last buffer completes after the last change
        b == 2 ? controller.previous() : controller.next();
        const SlideTimeline& t = controller.state().timeline();
        report({t.startTime[t.entryCount - 1], t.slideIndex[t.entryCount - 1]});
    }
    device.capture(std::span(sound).subspan(at, 1000));  // a buffer never completed
    device.deliverAll();
    report({-1, -1});
    for (;;) ::pause();
}

TEST(CrashRemake, AKilledLectureIsRemadeWithEveryChangeAndEveryCompletedBuffer) {
    testing::ScratchDir dir;
    fs::create_directory(dir.path() / "slides");
    fs::create_directory(dir.path() / "lectures");
    for (int i = 0; i < 3; ++i) {
        testing::writeFile(
            (dir.path() / "slides" / ("スライド" + std::to_string(i + 1) + ".bmp")).string(),
            testing::bmp24(64, 48, [&](int, int) { return kColours[i]; }));
    }
    const auto sound = testing::narrationSamples(kBuffer * (kChanges + 1) + 1000);
    testing::TempFolder temp(dir.path() / "lectures");

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        lecture(fds[1], (dir.path() / "slides").string(), sound);
    }
    ::close(fds[1]);
    std::vector<Change> changes{{0, 0}};
    Change c{};
    while (::read(fds[0], &c, sizeof c) == sizeof c && c.tick >= 0) changes.push_back(c);
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(c.tick, -1) << "the lecture did not get through";
    ASSERT_EQ(changes.size(), kChanges + 1u);

    std::string journal;
    for (const auto& e : fs::directory_iterator(dir.path() / "lectures"))
        if (e.path().extension() == ".journal") journal = e.path().string();
    ASSERT_FALSE(journal.empty());
    const std::string video = dir.file("lecture.avi");
    const auto run = testing::convert({journal, "-o", video, "--codec", "rawvideo"});
    ASSERT_EQ(run.status, 0) << run.output;

    // Every change at its tick, then the last slide held to the end of the sound on disk.
    std::vector<std::int64_t> ticks;
    for (const Change& ch : changes) ticks.push_back(ch.tick);
    ticks.push_back(4 * (kChanges + 1));
    const testing::Decoded d = testing::decodeAvi(video);
    EXPECT_EQ(d.framePositions, ticks);
    EXPECT_EQ(d.audio, std::vector<std::uint8_t>(sound.begin(), sound.end() - 1000));
    ASSERT_EQ(d.frames.size(), ticks.size());
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        const std::uint32_t want = kColours[changes[std::min(i, changes.size() - 1)].slide];
        const std::uint8_t* p = d.frames[i].data() + (24 * d.width + 32) * 3;  // BGR
        EXPECT_EQ(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0], want) << i;
    }
}

}  // namespace
}  // namespace vorlix
