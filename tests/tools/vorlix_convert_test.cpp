// The converter as its users run it: a process with arguments, an exit status, messages and an
// AVI file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

TEST(VorlixConvert, RemakesTheLecturesVideoAndSaysWhatWentWrong) {
    testing::ScratchDir dir;
    const std::string timeline = dir.file("t.tmp"), narration = dir.file("n.wav"),
                      x = dir.file("x");
    const std::string one = dir.file("1.bmp"), two = dir.file("2.bmp");
    testing::writeFile(one, testing::bmpOf(64, 48, [](int, int) { return 0xff0000u; }));
    testing::writeFile(two, testing::bmpOf(64, 48, [](int, int) { return 0x0000ffu; }));
    testing::writeFile(timeline, "0," + one + "\n21," + two + "\n60," + two + "\n");
    const testing::Bytes samples = testing::noise(44100 * 31);  // the last words after End
    testing::writeNarration(narration, samples, false);  // left behind by a crash
    const std::tuple<std::vector<std::string>, int, std::string_view> runs[] = {
        {{timeline, narration, "-o", x, "--codec", "rawvideo", "--limit", "2"}, 0, "x.avi"},
        {{}, 2, texts::kConvertNoTimeline},
        {{timeline, "-o", x, "--quality", "101"}, 2, "--quality"},
        {{dir.file("gone.tmp"), "-o", x}, 2, texts::kTimelineReadError},
        {{timeline, timeline, "-o", x}, 2, texts::kConvertNarrationUnreadable},
        {{timeline, narration, "-o", x + ".mp4"}, 0, "x.chapters.vtt"},  // the web video
        {{timeline, narration, "-o", x + "f", "--format", "mp4"}, 0, "xf.chapters.vtt"},
        {{timeline, "-o", x, "--format", "webm"}, 2, "webm"},
        {{timeline, narration, "-o", x}, 0, "x.avi"}};  // Motion JPEG, read below
    for (const auto& [args, status, says] : runs) {
        const auto [rc, output] = testing::convert(args);
        EXPECT_EQ(rc, status) << output;
        EXPECT_NE(output.find(says), std::string::npos) << output;
    }
    // One chapter a slide change; End is none, though the narration goes on past it.
    std::ifstream in(x + ".chapters.vtt");
    const std::string vtt{std::istreambuf_iterator<char>(in), {}};
    const auto second = vtt.find("-->", vtt.find("-->") + 1);
    EXPECT_EQ(vtt.rfind("-->"), second) << vtt;  // two cues
    EXPECT_NE(vtt.find("00:00:10.500 --> 00:00:31.000\nスライド 2\n"), std::string::npos) << vtt;
    for (const char* mp4 : {"f.mp4"}) EXPECT_GT(std::filesystem::file_size(x + mp4), 0u);
    const testing::AviRead f = testing::readAvi(x + ".avi");
    EXPECT_EQ(f.streams.at(0).tag, MKTAG('M', 'J', 'P', 'G'));
    EXPECT_EQ(f.positions(0), (std::vector<std::int64_t>{0, 21, 60}));
    EXPECT_EQ(f.audio, samples);
}

}  // namespace
}  // namespace vorlix
