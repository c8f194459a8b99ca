#include "video/conversion_driver.h"

#include <gtest/gtest.h>

#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::Log;
using Outcome = ConversionDriver::Outcome;
const std::string kAbandon = std::string(texts::kAbandonQuestion) + "?";
const std::string kEnded(texts::kConversionEnded);

TEST(ConversionDriver, AviExtensionIsAddedWhereMissing) {
    struct Case {
        std::string typed, stored;
    } cases[] = {{"/home/u/lecture", "/home/u/lecture.avi"},  {"/home/u/lecture.aVi", "/home/u/lecture.aVi"},
                 {"/home/u/lecture.av", "/home/u/lecture.av.avi"}, {"/u/notes.avi.bak", "/u/notes.avi.bak.avi"},
                 {"/home/u/lectureavi", "/home/u/lectureavi.avi"}, {"", ".avi"}};
    for (const Case& c : cases) EXPECT_EQ(ConversionDriver::withAviExtension(c.typed), c.stored) << c.typed;
}

class ConversionDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Slide 1 red over blue halves, smaller than the frame; slide 2 green.
        testing::writeFile(slide1, testing::bmpOf(320, 240, [](int, int y) { return y < 120 ? 0xFF0000u : 0x0000FFu; }));
        testing::writeFile(slide2, testing::bmpOf(100, 75, [](int, int) { return 0x00FF00u; }));
        testing::writeFile(timeline, "0," + slide1 + "\n21," + slide2 + "\n60," + slide2 + "\n");
        testing::writeNarration(narration, samples);
    }
    testing::ScratchDir dir;
    std::string slide1 = dir.file("スライド1.bmp"), slide2 = dir.file("スライド2.bmp"),
                timeline = dir.file("vx_1_00000001.tmp"), narration = dir.file("vx_temp_1_00000001.wav");
    testing::Bytes samples = testing::noise(44100 * 30);
};

// The user's moves: C cancels the save dialogue, N and Y answer whether to give up, anything
// else is a name typed. The lecture goes into the named file, its slides stretched to the frame.
TEST_F(ConversionDriverTest, SaveDialogueLoopUntilANameOrGivingUp) {
    struct Case {
        std::vector<std::string> moves;
        Outcome outcome;
    } cases[] = {{{"C", "Y"}, Outcome::Abandoned},
                 {{"C", "N", "C", "Y"}, Outcome::Abandoned},
                 {{"C", "N", "講義"}, Outcome::Built}};
    for (const Case& c : cases) {
        testing::FakePrompts p;
        Log expected;
        for (const std::string& move : c.moves) {
            if (move == "C" || move.size() > 1) expected.push_back("save");
            if (move == "C") p.savePaths.push_back(std::nullopt);
            else if (move == "Y" || move == "N") p.yesNo.push_back(move == "Y"), expected.push_back(kAbandon);
            else p.savePaths.push_back(dir.file(move));
        }
        if (c.outcome == Outcome::Built) expected.insert(expected.end(), {"codec", kEnded});
        ConversionState s;
        ConversionDriver driver(p, s);
        EXPECT_EQ(driver.runConversion(timeline, narration, 60), c.outcome);
        EXPECT_EQ(s.conversionFinished, 1);
        EXPECT_EQ(p.log, expected);
    }
    const testing::AviRead f = testing::readAvi(dir.file("講義.avi"));
    EXPECT_EQ(f.positions(0), (std::vector<std::int64_t>{0, 21, 60}));
    EXPECT_EQ(f.audio, samples);
    ASSERT_EQ(f.frames.size(), 3u);
    ASSERT_EQ(std::pair(f.width, f.height), std::pair(640, 480));
    struct Probe {
        std::size_t frame;
        int x, y;
        std::uint32_t rgb;
    } probes[] = {{0, 320, 100, 0xFF0000}, {0, 320, 380, 0x0000FF}, {0, 5, 5, 0xFF0000},
                  {1, 320, 240, 0x00FF00}, {2, 635, 475, 0x00FF00}};
    for (const Probe& p : probes) EXPECT_EQ(f.pixel(p.frame, p.x, p.y), p.rgb) << p.frame << " at " << p.x << "," << p.y;
}

TEST_F(ConversionDriverTest, ReadErrorAndFailedBuildsLeaveTheFlagClear) {
    struct Case {
        std::string timeline, output;
        bool codecChosen;
        Outcome outcome;
        Log log;
    } cases[] = {
        {dir.file("gone.tmp"), "a", true, Outcome::TimelineUnreadable, {"save", std::string(texts::kTimelineReadError)}},
        {timeline, "b", false, Outcome::Built, {"save", "codec", kEnded}},
        {timeline, "missing folder/c", true, Outcome::Built,
         {"save", std::string(texts::kCannotOpenAviFile), std::string(texts::kWritingErr), kEnded}},
    };
    for (const Case& c : cases) {
        testing::FakePrompts p;
        p.savePaths = {dir.file(c.output)};
        if (!c.codecChosen) p.codec.reset();
        ConversionState s;
        EXPECT_EQ(ConversionDriver(p, s).runConversion(c.timeline, narration, 60), c.outcome);
        EXPECT_EQ(s.conversionFinished, 0);
        EXPECT_EQ(p.log, c.log);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.avi")));
    EXPECT_EQ(testing::readAvi(dir.file("b.avi")).audio, samples);
}

}  // namespace
}  // namespace vorlix
