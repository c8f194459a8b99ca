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
    // The user's moves: C cancels the save dialogue, N and Y answer whether to give up, anything
    // else is a name typed. Each answer follows one question; a build ends with its message.
    struct Case {
        std::vector<std::string> moves;
        Outcome outcome;
    } cases[] = {{{"C", "Y"}, Outcome::Abandoned},
                 {{"C", "N", "C", "Y"}, Outcome::Abandoned},
                 {{"C", "N", "out"}, Outcome::Built}};
    for (const Case& c : cases) {
        ScriptedPrompts p;
        std::vector<Shown> shown;
        for (const std::string& move : c.moves) {
            if (move == "C") {
                p.savePaths.push_back(std::nullopt);
            } else if (move == "Y" || move == "N") {
                p.yesNo.push_back(move == "Y");
                shown.push_back(kAbandon);
            } else {
                p.savePaths.push_back(dir.file(move));
            }
        }
        if (c.outcome == Outcome::Built) shown.push_back(kEnded);
        const std::size_t dialogues = p.savePaths.size();
        ConversionState s;
        ConversionDriver driver(p, s);
        EXPECT_EQ(driver.runConversion(timeline, "", 60), c.outcome) << c.moves.size();
        EXPECT_EQ(s.conversionFinished, 1);
        EXPECT_EQ(p.shown, shown);
        EXPECT_EQ(p.saveDialogues.size(), dialogues);
        EXPECT_TRUE(p.yesNo.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.avi")));
}

TEST_F(ConversionDriverTest, ReadErrorAndFailedBuildsLeaveTheFlagClear) {
    auto run = [&](const std::string& timelinePath, const std::string& output, Outcome outcome,
                   bool codecChosen = true) {
        auto p = std::make_unique<ScriptedPrompts>();
        p->savePaths = {dir.file(output)};
        if (!codecChosen) p->codec.reset();
        ConversionState s;
        EXPECT_EQ(ConversionDriver(*p, s).runConversion(timelinePath, narration, 60), outcome);
        EXPECT_EQ(s.conversionFinished, 0);
        return p;
    };
    const auto removed = run(dir.file("gone.tmp"), "a", Outcome::TimelineUnreadable);
    EXPECT_EQ(removed->firstLines(),
              (std::vector<Shown>{{std::string(texts::kTimelineReadError), ""}}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.avi")));

    // A failed build says nothing of an end and leaves no file.
    const auto cancelled = run(timeline, "b", Outcome::Built, false);
    EXPECT_EQ(cancelled->shown, std::vector<Shown>{});
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.avi")));

    const auto unwritable = run(timeline, "missing folder/c", Outcome::Built);
    EXPECT_EQ(unwritable->firstLines(), (std::vector<Shown>{{"CannotOpenAviFile", "Error"}}));
    EXPECT_EQ(unwritable->codecDialogues, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing folder/c.avi")));
}

}  // namespace
}  // namespace vorlix
