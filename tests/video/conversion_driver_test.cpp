#include "video/conversion_driver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"
#include "tests/support/bmp_writer.h"

namespace vorlix {
namespace {

using testing::ScriptedPrompts;
using Shown = ScriptedPrompts::Shown;
const Shown kAbandon{std::string(texts::kAbandonQuestion), "?"};
const Shown kEnded{std::string(texts::kConversionEnded), ""};

TEST(ConversionDriver, AviExtensionIsAddedWhereMissing) {
    struct Case {
        std::string typed, stored;
    } cases[] = {
        {"/home/u/lecture", "/home/u/lecture.avi"},
        {"/home/u/lecture.avi", "/home/u/lecture.avi"},
        {"/home/u/lecture.AVI", "/home/u/lecture.AVI"},
        {"/home/u/lecture.aVi", "/home/u/lecture.aVi"},
        {"/home/u/lecture.av", "/home/u/lecture.av.avi"},
        {"/home/u/notes.avi.bak", "/home/u/notes.avi.bak.avi"},
        {"/home/u/lectureavi", "/home/u/lectureavi.avi"},
        {"avi", "avi.avi"},
        {".av", ".av.avi"},
        {"", ".avi"},
        {".avi", ".avi"},
        {"/講義/スライド.avi", "/講義/スライド.avi"},
        {"/講義/スライド", "/講義/スライド.avi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConversionDriver::withAviExtension(c.typed), c.stored) << c.typed;
    }
}

class ConversionDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Two slides: the first red over blue halves, the second green.
        slide1 = dir.file("スライド1.bmp");
        slide2 = dir.file("スライド2.bmp");
        testing::writeFile(slide1, testing::bmp24(320, 240, [](int, int y) {
                               return y < 120 ? 0xFF0000u : 0x0000FFu;
                           }));
        testing::writeFile(slide2, testing::bmp24(100, 75, [](int, int) { return 0x00FF00u; }));
        timeline = dir.file("vx_1_00000001.tmp");
        testing::writeText(timeline, "0," + slide1 + "\n21," + slide2 + "\n60," + slide2 + "\n");
        narration = dir.file("vx_temp_1_00000001.wav");
        samples = testing::narrationSamples(44100 * 30);
        testing::writeNarration(narration, samples);
    }

    testing::ScratchDir dir;
    std::string slide1, slide2, timeline, narration;
    std::vector<std::uint8_t> samples;
    ScriptedPrompts prompts;
    ConversionState state;
};

TEST_F(ConversionDriverTest, ConvertsTheLectureIntoTheNamedFile) {
    prompts.savePaths = {dir.file("講義")};
    prompts.codec = CodecChoice{"mjpeg", 95};
    ConversionDriver driver(prompts, state);
    std::vector<AviProgress> progress;
    driver.setProgressCallback([&](const AviProgress& p) { progress.push_back(p); });
    EXPECT_EQ(driver.placementMode(), kPlaceCentred);

    EXPECT_EQ(driver.runConversion(timeline, narration, 60), ConversionDriver::Outcome::Built);
    EXPECT_EQ(driver.outputPath(), dir.file("講義.avi"));
    EXPECT_EQ(driver.placementMode(), kPlaceStretch);
    EXPECT_EQ(state.conversionFinished, 1);
    EXPECT_EQ(prompts.shown, std::vector<Shown>{kEnded});
    ASSERT_EQ(prompts.saveDialogues.size(), 1u);
    EXPECT_EQ(prompts.saveDialogues[0],
              (std::vector<std::string>{"AVI-type file (*.avi)", "*.avi", "*.avi"}));
    EXPECT_EQ(driver.lastReport().framesWritten, 3);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().linesDone, 3);

    testing::AviFile f = testing::readAvi(driver.outputPath());
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0, 21, 60}));
    const std::vector<std::uint8_t>& bih = f.streams[0].format;
    ASSERT_GE(bih.size(), 40u);
    EXPECT_EQ(testing::le32(&bih[4]), 640u);
    EXPECT_EQ(testing::le32(&bih[8]), 480u);

    // What a player shows: slide 1 stretched (red over blue), then slide 2 (green).
    testing::Decoded d = testing::decodeAvi(driver.outputPath());
    EXPECT_EQ(d.audio, samples);
    ASSERT_EQ(d.frames.size(), 3u);
    EXPECT_EQ(d.width, 640);
    EXPECT_EQ(d.height, 480);
    auto pixel = [&](int frame, int x, int y) {
        const std::uint8_t* p = &d.frames[frame][(static_cast<std::size_t>(y) * 640 + x) * 3];
        return std::array<int, 3>{p[2], p[1], p[0]};  // red, green, blue
    };
    auto near = [](std::array<int, 3> got, std::array<int, 3> want) {
        for (int i = 0; i < 3; ++i) {
            if (std::abs(got[i] - want[i]) > 16) return false;
        }
        return true;
    };
    EXPECT_TRUE(near(pixel(0, 320, 100), {255, 0, 0}));
    EXPECT_TRUE(near(pixel(0, 320, 380), {0, 0, 255}));
    EXPECT_TRUE(near(pixel(0, 5, 5), {255, 0, 0}));  // stretched to the corners
    EXPECT_TRUE(near(pixel(1, 320, 240), {0, 255, 0}));
    EXPECT_TRUE(near(pixel(2, 635, 475), {0, 255, 0}));
}

TEST_F(ConversionDriverTest, SaveDialogueLoopUntilANameOrGivingUp) {
    struct Case {
        const char* what;
        std::deque<std::optional<std::string>> paths;
        std::deque<bool> answers;
        ConversionDriver::Outcome outcome;
        std::int32_t flag;
        std::vector<Shown> shown;
    } cases[] = {
        {"cancel, then yes",
         {std::nullopt},
         {true},
         ConversionDriver::Outcome::Abandoned,
         1,
         {kAbandon}},
        {"cancel, no, cancel, yes",
         {std::nullopt, std::nullopt},
         {false, true},
         ConversionDriver::Outcome::Abandoned,
         1,
         {kAbandon, kAbandon}},
        {"cancel, no, a name",
         {std::nullopt, "out"},
         {false},
         ConversionDriver::Outcome::Built,
         1,
         {kAbandon, kEnded}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrompts p;
        p.savePaths = c.paths;
        for (auto& path : p.savePaths) {
            if (path) path = dir.file(*path);
        }
        p.yesNo = c.answers;
        ConversionState s;
        ConversionDriver driver(p, s);
        EXPECT_EQ(driver.runConversion(timeline, "", 60), c.outcome);
        EXPECT_EQ(s.conversionFinished, c.flag);
        EXPECT_EQ(p.shown, c.shown);
        EXPECT_EQ(p.saveDialogues.size(), c.paths.size());
        EXPECT_TRUE(p.yesNo.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.avi")));
}

TEST_F(ConversionDriverTest, ReadErrorAndFailedBuildsLeaveTheFlagClear) {
    {
        SCOPED_TRACE("timeline file removed");
        ScriptedPrompts p;
        p.savePaths = {dir.file("a")};
        ConversionDriver driver(p, state);
        EXPECT_EQ(driver.runConversion(dir.file("gone.tmp"), narration, 60),
                  ConversionDriver::Outcome::TimelineUnreadable);
        EXPECT_EQ(state.conversionFinished, 0);
        EXPECT_EQ(p.shown, (std::vector<Shown>{{std::string(texts::kTimelineReadError), ""}}));
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.avi")));
    }
    {
        SCOPED_TRACE("codec cancelled");
        ScriptedPrompts p;
        p.savePaths = {dir.file("b")};
        p.codec.reset();
        ConversionDriver driver(p, state);
        EXPECT_EQ(driver.runConversion(timeline, narration, 60), ConversionDriver::Outcome::Built);
        EXPECT_EQ(state.conversionFinished, 0);
        EXPECT_EQ(driver.lastReport().failures, 1);
        EXPECT_EQ(p.shown, std::vector<Shown>{kEnded});
        EXPECT_EQ(testing::decodeAvi(dir.file("b.avi")).audio, samples);
    }
    {
        SCOPED_TRACE("unwritable output");
        ScriptedPrompts p;
        p.savePaths = {dir.file("missing folder/c")};
        ConversionDriver driver(p, state);
        EXPECT_EQ(driver.runConversion(timeline, narration, 60), ConversionDriver::Outcome::Built);
        EXPECT_EQ(state.conversionFinished, 0);
        EXPECT_EQ(p.shown, (std::vector<Shown>{
                               {"CannotOpenAviFile", "Error"}, {"WritingERR", "AVI ERR"}, kEnded}));
    }
}

}  // namespace
}  // namespace vorlix
