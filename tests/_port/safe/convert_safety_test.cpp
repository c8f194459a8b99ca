// The converter with bad outputs and bad inputs: it never destroys a file, never hangs, and its
// exit status and messages say what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/bmp_writer.h"
#include "support/convert_process.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::convert;

class ConvertSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::writeFile(slide, testing::bmp24(32, 24, [](int, int) { return 0x0000FFu; }));
        testing::writeNarration(narration, testing::narrationSamples(44100 * 10));
        testing::writeText(video, "a good video made earlier");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    }
    std::string timelineOf(const std::string& lines) {
        const std::string path = dir.file("t" + std::to_string(++made) + ".tmp");
        testing::writeText(path, lines);
        return path;
    }

    testing::ScratchDir dir;
    std::string slide = dir.file("スライド1.bmp"), narration = dir.file("vx_temp_1_00000001.wav"),
                video = dir.file("lecture.avi"), fifo = dir.file("fifo");
    int made = 0;
};

TEST_F(ConvertSafety, BadOutputsAndInputsNeverCostAFileAndAreToldByTheirExitStatus) {
    const std::string good = timelineOf("0," + slide + "\n10," + slide + "\n");
    fs::create_symlink(narration, dir.file("to-narration.avi"));
    fs::create_hard_link(good, dir.file("same-as-timeline.avi"));
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> says;
        bool written = false;  // lecture.avi is a new video
    } cases[] = {
        {"output is a link to the narration",
         {good, narration, "-o", dir.file("to-narration.avi")},
         2,
         {narration}},
        {"output is the timeline under another name",
         {good, narration, "-o", dir.file("same-as-timeline.avi")},
         2,
         {good}},
        {"mistyped narration",
         {good, dir.file("vx_temp_2.wav"), "-o", video},
         2,
         {std::string(texts::kConvertNarrationUnreadable), "vx_temp_2.wav"}},
        {"mistyped timeline", {dir.file("t9.tmp"), narration, "-o", video}, 2, {"t9.tmp"}},
        {"timeline is a FIFO", {fifo, narration, "-o", video}, 2, {"not a regular file"}},
        {"narration is a FIFO", {good, fifo, "-o", video}, 2, {"not a regular file"}},
        {"output folder missing",
         {good, narration, "-o", dir.file("none/x.avi")},
         1,
         {"CannotOpenAviFile"}},
        {"every line and slide", {good, narration, "-o", video}, 0, {}, true},
        {"empty timeline", {timelineOf(""), narration, "-o", video}, 3, {"t2.tmp"}, true},
        {"garbage timeline",
         {timelineOf("garbage\n"), narration, "-o", video},
         3,
         {"t3.tmp: 1 "},
         true},
        {"malformed line in the middle",
         {timelineOf("0," + slide + "\n4,\n8," + slide + "\n"), narration, "-o", video},
         3,
         {"t4.tmp: 2 "},
         true},
        {"tick far past the narration",
         {timelineOf("0," + slide + "\n2147483647," + slide + "\n"), narration, "-o", video},
         3,
         {"t5.tmp: 2 ", "2147483647"},
         true},
        {"slides that cannot be read",
         {timelineOf("0," + slide + "\n4," + fifo + "\n8," + dir.file("gone.bmp") + "\n"),
          narration, "-o", video},
         3,
         {fifo + ": not a regular file", "gone.bmp: No such file"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::writeText(video, "a good video made earlier");
        const auto run = convert(c.args);
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& s : c.says) EXPECT_NE(run.output.find(s), std::string::npos) << s;
        EXPECT_EQ(run.output.find("作成しました: ") != std::string::npos, c.status == 0)
            << run.output;
        if (c.written) {
            EXPECT_TRUE(testing::readAvi(video).valid);
        } else {
            EXPECT_EQ(testing::readText(video), "a good video made earlier");
        }
        EXPECT_EQ(testing::readBytes(narration).size(), 44u + 44100 * 10);
    }
    // The bounded tick wrote a few frames, not gigabytes.
    EXPECT_LT(fs::file_size(video), 1u << 20);
}

TEST_F(ConvertSafety, AKilledConversionLeavesTheVideoUnderItsNameAsItWas) {
    testing::writeNarration(narration, testing::narrationSamples(44100 * 60 * 20));
    const std::string timeline = timelineOf("0," + slide + "\n2400," + slide + "\n");
    const std::string program = VORLIX_BINARY_DIR "/tools/vorlix-convert";
    std::vector<std::string> args = {program, timeline,  narration, "-o",
                                     video,   "--codec", "rawvideo"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Killed once its temporary file holds something.
    bool started = false;
    for (int i = 0; i < 20000 && !started; ++i) {
        for (const auto& e : fs::directory_iterator(dir.path()))
            started = started || (e.path().extension() == ".part" && e.file_size() > 0);
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it was killed";
    EXPECT_EQ(testing::readText(video), "a good video made earlier");
}

}  // namespace
}  // namespace vorlix
