// The converter as its users run it: a process with arguments, an exit status, messages on
// stderr and an AVI file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

struct ProcessResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

ProcessResult convert(const std::vector<std::string>& args) {
    std::string command = VORLIX_BINARY_DIR "/tools/vorlix-convert";
    for (const std::string& a : args) {
        command += " '";
        for (char c : a) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    ProcessResult run;
    std::FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
    char buffer[4096];
    for (std::size_t n; p && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) run.output.append(buffer, n);
    const int rc = p ? pclose(p) : -1;
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return run;
}

class VorlixConvert : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string slide1 = dir.file("スライド1.bmp"), slide2 = dir.file("スライド2.bmp");
        testing::writeFile(slide1, testing::bmpOf(32, 24, [](int, int) { return 0x0000FFu; }));
        testing::writeFile(slide2, testing::bmpOf(32, 24, [](int, int) { return 0xFF0000u; }));
        testing::writeFile(timeline, "0," + slide1 + "\n21," + slide2 + "\n60," + slide2 + "\n");
        testing::writeNarration(narration, samples, false);  // left behind by a crash
    }
    testing::ScratchDir dir;
    std::string timeline = dir.file("vx_1_00000001.tmp"), narration = dir.file("vx_temp_1_00000001.wav");
    testing::Bytes samples = testing::noise(44100 * 30);
};

TEST_F(VorlixConvert, RemakesTheLecturesVideo) {
    struct Case {
        std::vector<std::string> extra;
        std::vector<std::int64_t> frames;
        std::uint32_t tag;
    } cases[] = {
        {{}, {0, 21, 60}, MKTAG('M', 'J', 'P', 'G')},
        {{"--codec", "rawvideo"}, {0, 21, 60}, 0},
        {{"--codec", "libx264", "--quality", "50"}, {0, 21, 60}, MKTAG('H', '2', '6', '4')},
        {{"--limit", "2"}, {0, 21}, MKTAG('M', 'J', 'P', 'G')},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {timeline, narration, "-o", dir.file("lecture")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(c.extra.empty() ? "defaults" : c.extra[0] + " " + c.extra[1]);
        const ProcessResult run = convert(args);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(dir.file("lecture.avi")), std::string::npos) << run.output;
        const testing::AviRead f = testing::readAvi(dir.file("lecture.avi"));
        ASSERT_EQ(f.streams.size(), 2u);
        EXPECT_EQ(f.streams[0].tag, c.tag);
        EXPECT_EQ(f.positions(0), c.frames);
        EXPECT_EQ(f.audio, samples);
        ASSERT_FALSE(f.frames.empty());
        EXPECT_GT(f.pixel(0, 320, 240) & 0xFF, 230u);  // slide 1 is blue
        EXPECT_LT(f.pixel(0, 320, 240) >> 16, 25u);
    }
}

TEST_F(VorlixConvert, ExitStatusAndWhatItSays) {
    testing::writeFile(dir.file("notes.txt"), std::string("not a wave file"));
    const std::string x = dir.file("x");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string_view says;
    } cases[] = {
        {{"--help"}, 0, texts::kConvertUsage},
        {{"--list-codecs"}, 0, "rawvideo "},
        {{}, 2, texts::kConvertNoTimeline},
        {{timeline}, 2, texts::kConvertNoOutput},
        {{timeline, "-o", x, "--codec", "hevc"}, 2, "hevc"},
        {{timeline, "-o", x, "--quality", "101"}, 2, "--quality"},
        {{timeline, "-o", x, "--limit", "ten"}, 2, "--limit"},
        {{timeline, "-o", x, "--fast"}, 2, "--fast"},
        {{timeline, narration, narration, "-o", x}, 2, narration},
        {{dir.file("gone.tmp"), "-o", x}, 1, texts::kTimelineReadError},
        {{timeline, "-o", dir.file("no folder/x")}, 1, "CannotOpenAviFile"},
        {{timeline, dir.file("notes.txt"), "-o", x}, 1, texts::kNarrationNotCopied},
    };
    for (const Case& c : cases) {
        const ProcessResult run = convert(c.args);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
}

}  // namespace
}  // namespace vorlix
