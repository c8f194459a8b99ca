// The converter writes the web video when the output's name ends in .mp4: changes at the
// timeline's ticks, the lecture's length from its last line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>

#include "tests/support/narration_wav.h"
#include "tests/support/web_video.h"

namespace vorlix {
namespace {

TEST(ConvertMp4, TimelineAndNarrationBecomeAnMp4WithChapters) {
    testing::ScratchDir dir;
    std::string timeline;
    const int ticks[] = {0, 7, 19};
    for (int i = 0; i < 3; ++i) {
        const std::string slide = dir.file("スライド" + std::to_string(i + 1) + ".bmp");
        testing::writeSlide(slide, 320, 240, 0x808080);
        timeline += std::to_string(ticks[i]) + "," + slide + "\n";
    }
    timeline += "24," + dir.file("スライド3.bmp") + "\n";  // the closing line: End at 12 s
    testing::writeFile(dir.file("t.tmp"),
                       std::vector<std::uint8_t>(timeline.begin(), timeline.end()));
    testing::writeNarration(dir.file("n.wav"), testing::narrationSamples(12 * 44100));

    const std::string out = dir.file("lecture.MP4");
    const std::string log = testing::runCommand(
        std::string(VORLIX_BINARY_DIR "/tools/vorlix-convert '") + dir.file("t.tmp") + "' '" +
        dir.file("n.wav") + "' -o '" + out + "' 2>&1; echo status=$?");
    ASSERT_NE(log.find("status=0"), std::string::npos) << log;
    const testing::ProbedMp4 m = testing::probeMp4(out);
    EXPECT_EQ(m.videoCodec, "h264");
    EXPECT_EQ(m.audioCodec, "aac");
    EXPECT_NEAR(m.duration, 12.0, 0.05);
    ASSERT_EQ(m.chapters.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(m.chapters[i].start, ticks[i] * 0.5, 0.001);
    EXPECT_TRUE(std::filesystem::exists(dir.file("lecture.chapters.vtt")));
}

}  // namespace
}  // namespace vorlix
