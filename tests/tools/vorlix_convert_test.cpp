// The converter as its users run it: a process with arguments, an exit status, messages on
// stderr and an AVI file.
#include <gtest/gtest.h>

#include <filesystem>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/bmp_writer.h"
#include "support/convert_process.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"

namespace vorlix {
namespace {

using testing::convert;
using testing::ProcessResult;

class VorlixConvert : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string slide1 = dir.file("スライド1.bmp"), slide2 = dir.file("スライド2.bmp");
        testing::writeFile(slide1, testing::bmp24(32, 24, [](int, int) { return 0x0000FFu; }));
        testing::writeFile(slide2, testing::bmp24(32, 24, [](int, int) { return 0xFF0000u; }));
        testing::writeText(timeline, "0," + slide1 + "\n21," + slide2 + "\n60," + slide2 + "\n");
        testing::writeNarration(narration, samples, false);  // left behind by a crash
    }
    testing::ScratchDir dir;
    std::string timeline = dir.file("vx_1_00000001.tmp"),
                narration = dir.file("vx_temp_1_00000001.wav");
    std::vector<std::uint8_t> samples = testing::narrationSamples(44100 * 30);
};

TEST_F(VorlixConvert, RemakesTheLecturesVideo) {
    struct Case {
        std::vector<std::string> extra;
        std::vector<std::uint32_t> frames;
        std::string handler;
    } cases[] = {
        {{}, {0, 21, 60}, "MJPG"},
        {{"--codec", "rawvideo"}, {0, 21, 60}, std::string(4, '\0')},
        {{"--codec", "libx264", "--quality", "50"}, {0, 21, 60}, "H264"},
        {{"--limit", "2"}, {0, 21}, "MJPG"},
        {{"--limit", "0"}, {}, "MJPG"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {timeline, narration, "-o", dir.file("lecture")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(c.extra.empty() ? "defaults" : c.extra[0] + " " + c.extra[1]);
        ProcessResult run = convert(args);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(dir.file("lecture.avi")), std::string::npos) << run.output;
        testing::AviFile f = testing::readAvi(dir.file("lecture.avi"));
        ASSERT_EQ(f.streams.size(), 2u);
        EXPECT_EQ(f.videoPositions(true), c.frames);
        EXPECT_EQ(f.streams[0].handler, c.handler);
        testing::Decoded d = testing::decodeAvi(dir.file("lecture.avi"));
        EXPECT_EQ(d.audio, samples);
        if (!d.frames.empty()) {
            EXPECT_GT(d.frames[0][0], 230);  // slide 1 is blue
            EXPECT_LT(d.frames[0][2], 25);
        }
    }
}

TEST_F(VorlixConvert, ExitStatusAndWhatItSays) {
    testing::writeText(dir.file("notes.txt"), "not a wave file");
    const std::string x = dir.file("x");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string_view says;
    } cases[] = {
        {"help", {"--help"}, 0, texts::kConvertUsage},
        {"codec list", {"--list-codecs"}, 0, "\nlibx264 "},
        {"no arguments", {}, 2, texts::kConvertNoTimeline},
        {"no output", {timeline}, 2, texts::kConvertNoOutput},
        {"unknown codec", {timeline, "-o", x, "--codec", "hevc"}, 2, "hevc"},
        {"bad quality", {timeline, "-o", x, "--quality", "101"}, 2, "--quality"},
        {"bad limit", {timeline, "-o", x, "--limit", "ten"}, 2, "--limit"},
        {"unknown option", {timeline, "-o", x, "--fast"}, 2, "--fast"},
        {"three files", {timeline, narration, narration, "-o", x}, 2, narration},
        {"timeline missing", {dir.file("gone.tmp"), "-o", x}, 2, texts::kTimelineReadError},
        {"unwritable output", {timeline, "-o", dir.file("no folder/x")}, 1, "CannotOpenAviFile"},
        {"narration missing",
         {timeline, dir.file("gone.wav"), "-o", x},
         2,
         texts::kConvertNarrationUnreadable},
        {"narration not a WAV",
         {timeline, dir.file("notes.txt"), "-o", x},
         2,
         texts::kConvertNarrationUnreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessResult run = convert(c.args);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    // Help is the usage text alone; the codec list starts with the uncompressed choice.
    EXPECT_EQ(convert({"--help"}).output, texts::kConvertUsage);
    EXPECT_EQ(convert({"--list-codecs"}).output.rfind("rawvideo", 0), 0u);
}

}  // namespace
}  // namespace vorlix
