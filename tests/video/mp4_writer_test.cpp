// The web video read back: codecs, frame shape, key frames and chapters at the slide changes,
// index before data, duration, size, and the sound's level as ffmpeg measures it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/narration_wav.h"
#include "tests/support/web_video.h"
#include "video/mp4_writer.h"
#include "video/web_chapters.h"

namespace vorlix {
namespace {

using testing::ScratchDir;

// Slide changes off the half-second ticks: at 0, 3.3 s and 6.05 s.
const std::vector<std::int64_t> kChanges = {0, 145530, 266805};
const std::uint32_t kColours[] = {0xC04040, 0x40A040, 0x4060D0};

std::vector<SlideChange> writeSlides(const ScratchDir& dir, int w, int h) {
    std::vector<SlideChange> changes;
    for (std::size_t i = 0; i < kChanges.size(); ++i) {
        const std::string path = dir.file("スライド" + std::to_string(i + 1) + ".bmp");
        testing::writeSlide(path, w, h, kColours[i]);
        changes.push_back({kChanges[i], path});
    }
    return changes;
}

struct ShapeCase {
    const char* name;
    int slideW, slideH;
    int frameW, frameH;
    Placement slide;  // where the slide lands inside the frame
};

class Mp4Shape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Mp4Shape, ReadsBackWithKeyFramesAndChaptersAtTheChanges) {
    const ShapeCase& c = GetParam();
    ScratchDir dir;
    ASSERT_TRUE(testing::writeSpeech(dir.file("n.wav"), 8.0, 0.5));
    Mp4Job job{.outputPath = dir.file("lecture.mp4"),
               .changes = writeSlides(dir, c.slideW, c.slideH),
               .endSample = 8 * kChangeRate,
               .narrationPath = dir.file("n.wav")};
    const Mp4Result r = writeMp4(job);
    ASSERT_TRUE(r.ok) << r.error;

    const testing::ProbedMp4 m = testing::probeMp4(job.outputPath);
    ASSERT_TRUE(m.opened);
    EXPECT_EQ(m.videoCodec, "h264");
    EXPECT_EQ(m.profile, FF_PROFILE_H264_HIGH);
    EXPECT_EQ(m.pixFmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(m.audioCodec, "aac");
    EXPECT_EQ(m.sampleRate, 48000);
    EXPECT_EQ(m.channels, 1);
    EXPECT_EQ(m.width, c.frameW);
    EXPECT_EQ(m.height, c.frameH);
    EXPECT_NEAR(m.duration, 8.0, 0.05);
    const auto moov = std::find(m.boxes.begin(), m.boxes.end(), "moov");
    const auto mdat = std::find(m.boxes.begin(), m.boxes.end(), "mdat");
    EXPECT_TRUE(moov < mdat && mdat != m.boxes.end()) << "the index must come before the data";

    ASSERT_EQ(m.video.size(), kChanges.size()) << "one frame per change, none between";
    ASSERT_EQ(m.chapters.size(), kChanges.size());
    const std::string vtt = testing::readText(r.chaptersPath);
    EXPECT_EQ(r.chaptersPath, dir.file("lecture.chapters.vtt"));
    for (std::size_t i = 0; i < kChanges.size(); ++i) {
        const double at = static_cast<double>(kChanges[i]) / kChangeRate;
        EXPECT_TRUE(m.video[i].key) << i;
        EXPECT_NEAR(m.video[i].time, at, 0.001) << i;
        EXPECT_NEAR(m.chapters[i].start, at, 0.001) << i;
        EXPECT_EQ(m.chapters[i].title, "スライド " + std::to_string(i + 1));
        EXPECT_NE(vtt.find(vttTime(at) + " --> "), std::string::npos) << vtt;
    }
    EXPECT_NE(vtt.find("00:00:06.050 --> 00:00:08.000\nスライド 3"), std::string::npos) << vtt;

    // The slide inside its bars: black outside, the slide's colour inside.
    const testing::Luma f = testing::lumaAt(job.outputPath, 0, c.frameW);
    ASSERT_EQ(f.y.size(), static_cast<std::size_t>(c.frameW * c.frameH));
    const Placement& s = c.slide;
    if (s.x > 0) EXPECT_LE(f.at(s.x / 2, c.frameH / 2), 20) << "left bar";
    if (s.y > 0) EXPECT_LE(f.at(c.frameW / 2, s.y / 2), 20) << "top bar";
    EXPECT_NEAR(
        f.at(s.x + 4, s.y + 4),
        0.2126 * 0xC0 * 219 / 255 + 0.7152 * 0x40 * 219 / 255 + 0.0722 * 0x40 * 219 / 255 + 16, 6)
        << "the slide's corner";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Mp4Shape,
    ::testing::Values(ShapeCase{"wide16x9", 1920, 1080, 1280, 720, {0, 0, 1280, 720}},
                      ShapeCase{"classic4x3", 1024, 768, 960, 720, {0, 0, 960, 720}},
                      ShapeCase{"square", 800, 800, 960, 720, {120, 0, 720, 720}},
                      ShapeCase{"panorama", 2560, 720, 1280, 720, {0, 180, 1280, 360}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LevelCase {
    const char* name;
    double volume;    // of the recorded speech
    bool wideBeside;  // the speech in the 16-bit narration, silence in the 8-bit one
};

class Mp4Level : public ::testing::TestWithParam<LevelCase> {};

TEST_P(Mp4Level, SoundIsAtTheTargetLevelUnderTheTruePeakLimit) {
    const LevelCase& c = GetParam();
    ScratchDir dir;
    const double seconds = 30;
    const std::string narration = dir.file("vx_temp_1_2.wav");
    if (c.wideBeside) {
        testing::writeNarration(narration, std::vector<std::uint8_t>(30 * 44100, 128));
        ASSERT_TRUE(testing::writeSpeech(dir.file("vx_temp_1_2.s16.wav"), seconds, c.volume, 16));
    } else {
        ASSERT_TRUE(testing::writeSpeech(narration, seconds, c.volume));
    }
    Mp4Job job{.outputPath = dir.file("talk.mp4"),
               .changes = writeSlides(dir, 1280, 720),
               .endSample = static_cast<std::int64_t>(seconds) * kChangeRate,
               .narrationPath = narration};
    const Mp4Result r = writeMp4(job);
    ASSERT_TRUE(r.ok) << r.error;

    const std::optional<testing::Loudness> l = testing::measureLoudness(job.outputPath);
    ASSERT_TRUE(l);
    EXPECT_NEAR(l->integrated, -16.0, 1.0);
    EXPECT_LE(l->truePeak, -1.0);
    const double bytesPerMinute =
        static_cast<double>(std::filesystem::file_size(job.outputPath)) / seconds * 60;
    EXPECT_LE(bytesPerMinute, 1.0e6);
}

INSTANTIATE_TEST_SUITE_P(Levels, Mp4Level,
                         ::testing::Values(LevelCase{"quiet", 0.1, false},
                                           LevelCase{"loud", 1.0, false},
                                           LevelCase{"quietWideNarration", 0.03, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mp4Failure, LeavesNoFileAndNamesTheOneThatFailed) {
    ScratchDir dir;
    testing::writeNarration(dir.file("n.wav"), testing::narrationSamples(44100));
    const std::string slides = dir.file("s.bmp");
    testing::writeSlide(slides, 64, 48, 0xFFFFFF);
    struct Case {
        std::string output, narration, named;
    } cases[] = {
        {dir.file("missing/x.mp4"), dir.file("n.wav"), dir.file("missing/x.mp4")},
        {dir.file("x.mp4"), dir.file("none.wav"), dir.file("none.wav")},
    };
    for (const Case& c : cases) {
        const Mp4Result r = writeMp4({.outputPath = c.output,
                                      .changes = {{0, slides}},
                                      .endSample = kChangeRate,
                                      .narrationPath = c.narration});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.named, 0), 0u) << r.error;
        EXPECT_FALSE(std::filesystem::exists(c.output));
        EXPECT_FALSE(std::filesystem::exists(c.output + ".part"));
    }
}

}  // namespace
}  // namespace vorlix
