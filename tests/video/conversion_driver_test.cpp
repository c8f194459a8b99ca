#include "video/conversion_driver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/bmp_writer.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"

namespace vorlix {
namespace {

using testing::ScriptedPrompts;
using Shown = ScriptedPrompts::Shown;
using Outcome = ConversionDriver::Outcome;
const Shown kAbandon{std::string(texts::kAbandonQuestion), "?"};
const Shown kEnded{std::string(texts::kConversionEnded), ""};

TEST(ConversionDriver, AviExtensionIsAddedWhereMissing) {
    struct Case {
        std::string typed, stored;
    } cases[] = {
        {"/home/u/lecture", "/home/u/lecture.avi"},
        {"/home/u/lecture.AVI", "/home/u/lecture.AVI"},
        {"/home/u/lecture.aVi", "/home/u/lecture.aVi"},
        {"/home/u/lecture.av", "/home/u/lecture.av.avi"},
        {"/home/u/notes.avi.bak", "/home/u/notes.avi.bak.avi"},
        {"/home/u/lectureavi", "/home/u/lectureavi.avi"},
        {"", ".avi"},
        {"/講義/スライド.avi", "/講義/スライド.avi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConversionDriver::withAviExtension(c.typed), c.stored) << c.typed;
    }
}

class ConversionDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Slide 1 red over blue halves, smaller than the frame; slide 2 green.
        testing::writeFile(slide1, testing::bmp24(320, 240, [](int, int y) {
                               return y < 120 ? 0xFF0000u : 0x0000FFu;
                           }));
        testing::writeFile(slide2, testing::bmp24(100, 75, [](int, int) { return 0x00FF00u; }));
        testing::writeText(timeline, "0," + slide1 + "\n21," + slide2 + "\n60," + slide2 + "\n");
        testing::writeNarration(narration, samples);
    }

    testing::ScratchDir dir;
    std::string slide1 = dir.file("スライド1.bmp"), slide2 = dir.file("スライド2.bmp"),
                timeline = dir.file("vx_1_00000001.tmp"),
                narration = dir.file("vx_temp_1_00000001.wav");
    std::vector<std::uint8_t> samples = testing::narrationSamples(44100 * 30);
    ScriptedPrompts prompts;
    ConversionState state;
};

TEST_F(ConversionDriverTest, ConvertsTheLectureIntoTheNamedFile) {
    prompts.savePaths = {dir.file("講義")};
    prompts.codec = CodecChoice{"mjpeg", 95};
    ConversionDriver driver(prompts, state);
    std::vector<AviProgress> progress;
    driver.setProgressCallback([&](const AviProgress& p) { progress.push_back(p); });

    EXPECT_EQ(driver.runConversion(timeline, narration, 60), Outcome::Built);
    EXPECT_EQ(driver.outputPath(), dir.file("講義.avi"));
    EXPECT_EQ(driver.placementMode(), kPlaceStretch);
    EXPECT_EQ(state.conversionFinished, 1);
    EXPECT_EQ(prompts.shown, std::vector<Shown>{kEnded});
    EXPECT_EQ(prompts.saveDialogues,
              (std::vector<std::vector<std::string>>{{"AVI-type file (*.avi)", "*.avi", "*.avi"}}));
    EXPECT_EQ(driver.lastReport().framesWritten, 3);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().linesDone, 3);
    EXPECT_EQ(testing::readAvi(driver.outputPath()).videoPositions(true),
              (std::vector<std::uint32_t>{0, 21, 60}));

    // What a player shows: slide 1 stretched (red over blue), then slide 2 (green).
    const testing::Decoded d = testing::decodeAvi(driver.outputPath());
    EXPECT_EQ(d.audio, samples);
    ASSERT_EQ(d.frames.size(), 3u);
    EXPECT_EQ(d.width, 640);
    EXPECT_EQ(d.height, 480);
    struct Probe {
        int frame, x, y;
        std::uint32_t rgb;
    } probes[] = {{0, 320, 100, 0xFF0000},
                  {0, 320, 380, 0x0000FF},
                  {0, 5, 5, 0xFF0000},
                  {1, 320, 240, 0x00FF00},
                  {2, 635, 475, 0x00FF00}};
    for (const Probe& p : probes) {
        const std::uint8_t* got =
            &d.frames[p.frame][(static_cast<std::size_t>(p.y) * 640 + p.x) * 3];
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], p.rgb >> (8 * c) & 0xFF, 16)
                << p.frame << " at " << p.x << "," << p.y;
    }
}

TEST_F(ConversionDriverTest, SaveDialogueLoopUntilANameOrGivingUp) {
    struct Case {
        const char* what;
        std::deque<std::optional<std::string>> paths;
        std::deque<bool> answers;
        Outcome outcome;
        std::vector<Shown> shown;
    } cases[] = {
        {"cancel, then yes", {std::nullopt}, {true}, Outcome::Abandoned, {kAbandon}},
        {"cancel, no, cancel, yes",
         {std::nullopt, std::nullopt},
         {false, true},
         Outcome::Abandoned,
         {kAbandon, kAbandon}},
        {"cancel, no, a name", {std::nullopt, "out"}, {false}, Outcome::Built, {kAbandon, kEnded}},
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
        EXPECT_EQ(s.conversionFinished, 1);
        EXPECT_EQ(p.shown, c.shown);
        EXPECT_EQ(p.saveDialogues.size(), c.paths.size());
        EXPECT_TRUE(p.yesNo.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.avi")));
}

TEST_F(ConversionDriverTest, ReadErrorAndFailedBuildsLeaveTheFlagClear) {
    struct Case {
        const char* what;
        std::string timeline, output;
        bool codecChosen;
        Outcome outcome;
        std::vector<Shown> shown;
        int codecDialogues;
        bool written;  // the file holds the narration
    } cases[] = {
        {"timeline file removed",
         dir.file("gone.tmp"),
         "a",
         true,
         Outcome::TimelineUnreadable,
         {{std::string(texts::kTimelineReadError), ""}},
         0,
         false},
        {"codec cancelled", timeline, "b", false, Outcome::Built, {kEnded}, 1, true},
        {"unwritable output",
         timeline,
         "missing folder/c",
         true,
         Outcome::Built,
         {{"CannotOpenAviFile", "Error"}, {"WritingERR", "AVI ERR"}, kEnded},
         0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrompts p;
        p.savePaths = {dir.file(c.output)};
        if (!c.codecChosen) p.codec.reset();
        ConversionState s;
        ConversionDriver driver(p, s);
        EXPECT_EQ(driver.runConversion(c.timeline, narration, 60), c.outcome);
        EXPECT_EQ(s.conversionFinished, 0);
        EXPECT_EQ(p.shown, c.shown);
        EXPECT_EQ(p.codecDialogues, c.codecDialogues);
        const std::string file = dir.file(c.output + ".avi");
        EXPECT_EQ(std::filesystem::exists(file), c.written);
        if (c.written) EXPECT_EQ(testing::decodeAvi(file).audio, samples);
    }
}

}  // namespace
}  // namespace vorlix
