// Nothing lost, nothing destroyed: a lecture killed with SIGKILL is remade by the converter with
// every slide change and every completed buffer; no output costs an input or a finished video;
// the exit status and the messages say what happened.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "controller/lecture_controller.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kBuffer = 88200;

// The recording child: five buffers, a Next or Previous after each of the first four (its tick
// and slide told to the parent), part of a sixth buffer, then it waits to be killed.
[[noreturn]] void lecture(int out, const std::string& slides, const testing::Bytes& sound) {
    testing::FakeView view;
    testing::FakePrompts prompts;
    prompts.folder = slides;
    testing::ScriptedDevice device;
    LectureController controller(view, prompts, device);
    controller.start();
    device.deliverAll();
    for (std::size_t b = 0; b < 5; ++b) {
        device.capture(std::span(sound).subspan(b * kBuffer, kBuffer)), device.deliverAll();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the clock takes it
        if (b == 4) break;
        b == 2 ? controller.previous() : controller.next();
        const SlideTimeline& t = controller.state().timeline();
        const std::int32_t change[2] = {t.startTime[t.entryCount - 1],
                                        t.slideIndex[t.entryCount - 1]};
        (void)!::write(out, change, sizeof change);
    }
    device.capture(std::span(sound).subspan(5 * kBuffer)), device.deliverAll();
    ::close(out);
    for (;;) ::pause();
}

TEST(CrashSafety, ALectureKilledMidwayIsRemadeWithEveryChangeAndCompletedBuffer) {
    testing::ScratchDir dir;
    const fs::path slides = dir.path() / "slides", lectures = dir.path() / "lectures";
    fs::create_directory(slides), fs::create_directory(lectures);
    constexpr std::uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int i = 0; i < 3; ++i)
        testing::writeFile((slides / ("スライド" + std::to_string(i + 1) + ".bmp")).string(),
                           testing::bmpOf(64, 48, [&](int, int) { return kColours[i]; }));
    const testing::Bytes sound = testing::noise(5 * kBuffer + 1000);
    testing::TempFolder temp(lectures);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) ::close(fds[0]), lecture(fds[1], slides.string(), sound);
    ::close(fds[1]);
    std::vector<std::array<std::int32_t, 2>> changes{{0, 0}};
    for (std::array<std::int32_t, 2> c; ::read(fds[0], c.data(), sizeof c) == sizeof c;)
        changes.push_back(c);
    ::close(fds[0]);
    ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    ASSERT_EQ(changes.size(), 5u) << "the lecture did not get through";

    std::string journal;
    for (const auto& e : fs::directory_iterator(lectures))
        if (e.path().extension() == ".journal") journal = e.path().string();
    const auto [status, output] =
        testing::convert({journal, "-o", dir.file("l.avi"), "--codec", "rawvideo"});
    ASSERT_EQ(status, 0) << output;
    const testing::AviRead f = testing::readAvi(dir.file("l.avi"));
    std::vector<std::int64_t> ticks;
    for (const auto& c : changes) ticks.push_back(c[0]);
    ticks.push_back(20);  // the last slide held to the end of the sound on disk
    EXPECT_EQ(f.positions(0), ticks);
    EXPECT_EQ(f.audio, testing::Bytes(sound.begin(), sound.end() - 1000));
    ASSERT_EQ(f.frames.size(), ticks.size());
    for (std::size_t i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(f.pixel(i, 32, 24), kColours[changes[std::min<std::size_t>(i, 4)][1]]) << i;
}

// Refused (2) or failed (1): nothing written, the old video intact. Written with problems (3):
// each named. The narration is never touched. Killed while writing: the old video intact.
TEST(ConvertSafety, BadOutputsAndInputsCostNoFileAndAreToldByTheExitStatus) {
    testing::ScratchDir dir;
    const std::string slide = dir.file("スライド1.bmp"), n = dir.file("vx_1.wav"),
                      v = dir.file("lecture.avi"), fifo = dir.file("fifo"),
                      gone = dir.file("gone.bmp");
    const testing::Bytes old = testing::noise(100);  // a good video made earlier
    testing::writeFile(slide, testing::bmpOf(32, 24, [](int, int) { return 0x0000FFu; }));
    testing::writeNarration(n, testing::noise(44100 * 10));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int made = 0;
    const auto tl = [&](const std::string& lines) {
        const std::string path = dir.file("t" + std::to_string(++made) + ".tmp");
        return testing::writeFile(path, lines), path;
    };
    const std::string s = "0," + slide + "\n", good = tl(s + "10," + slide + "\n");
    const std::string unread(texts::kConvertNarrationUnreadable);
    fs::create_symlink(n, dir.file("to-narration.avi"));
    fs::create_hard_link(good, dir.file("same-as-timeline.avi"));
    // timeline, narration, output, exit status, what the messages name
    using Case = std::tuple<std::string, std::string, std::string, int, std::vector<std::string>>;
    const Case cases[] = {
        {good, n, dir.file("to-narration.avi"), 2, {n}},
        {good, n, dir.file("same-as-timeline.avi"), 2, {good}},
        {good, dir.file("vx_2.wav"), v, 2, {unread, "vx_2.wav"}},
        {dir.file("t9.tmp"), n, v, 2, {"t9.tmp"}},
        {fifo, n, v, 2, {"not a regular file"}},
        {good, fifo, v, 2, {"not a regular file"}},
        {good, n, dir.file("none/x.avi"), 1, {"CannotOpenAviFile"}},
        {good, n, v, 0, {}},
        {tl(""), n, v, 3, {"t2.tmp"}},
        {tl("garbage\n"), n, v, 3, {"t3.tmp: 1 "}},
        {tl(s + "4,\n8," + slide + "\n"), n, v, 3, {"t4.tmp: 2 "}},
        {tl(s + "2147483647," + slide + "\n"), n, v, 3, {"t5.tmp: 2 ", "2147483647"}},
        {tl(s + "4," + fifo + "\n8," + gone + "\n"), n, v, 3, {fifo + ": ", gone + ": "}},
    };
    for (const auto& [t, narration, out, want, says] : cases) {
        SCOPED_TRACE(t + " " + narration + " -o " + out);
        testing::writeFile(v, old);
        const auto [status, output] = testing::convert({t, narration, "-o", out});
        EXPECT_EQ(status, want) << output;
        for (const std::string& said : says) EXPECT_THAT(output, ::testing::HasSubstr(said));
        EXPECT_EQ(output.find("作成しました: ") != std::string::npos, want == 0) << output;
        if (want == 0 || want == 3) {
            EXPECT_FALSE(testing::readAvi(v).streams.empty());
            EXPECT_LT(fs::file_size(v), 1u << 20);  // a tick far past the sound: few frames
        } else {
            EXPECT_EQ(testing::readBytes(v), old);
        }
        EXPECT_EQ(fs::file_size(n), 44u + 44100 * 10);
        for (const auto& e : fs::directory_iterator(dir.path()))  // no temporary file left
            EXPECT_NE(e.path().extension(), ".part");
    }

    testing::writeNarration(n, testing::noise(44100 * 60 * 20));
    testing::writeFile(v, old);
    const std::string t2 = tl(s + "2400," + slide + "\n");
    const pid_t pid = ::fork();
    if (pid == 0)
        ::execl(testing::kConverter.c_str(), "vorlix-convert", t2.c_str(), n.c_str(), "-o",
                v.c_str(), "--codec", "rawvideo", nullptr),
            ::_exit(127);
    bool started = false;  // killed once its temporary file holds something
    for (int i = 0; i < 20000 && !started; ++i, ::usleep(1000))
        for (const auto& e : fs::directory_iterator(dir.path()))
            started = started || (e.path().extension() == ".part" && e.file_size() > 0);
    int status = 0;
    ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
    ASSERT_TRUE(started && WIFSIGNALED(status)) << "the conversion ended before it was killed";
    EXPECT_EQ(testing::readBytes(v), old);
}

}  // namespace
}  // namespace vorlix
