// Program start after a crash: each lecture left without its video is offered once, made from its
// journal on Yes, left alone on No; a video with problems is followed by one message listing them.
#include <gtest/gtest.h>

#include <filesystem>

#include "controller/lecture_controller.h"
#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/bmp_writer.h"
#include "support/lecture_fakes.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "tests/recording/scripted_wave_input.h"

namespace vorlix {
namespace {

class Answers : public testing::FakePrompts {
  public:
    bool askYesNo(std::string_view text) override {
        questions.emplace_back(text);
        return yes;
    }
    std::vector<std::string> questions;
    bool yes = true;
};

TEST(Recovery, ALectureLeftWithoutItsVideoIsOfferedOnceAndMadeFromItsJournal) {
    testing::ScratchDir dir;
    testing::TempFolder temp(dir.path());
    const std::string slide = dir.file("スライド1.bmp"), gone = dir.file("スライド2.bmp"),
                      narration = dir.file("vx_temp_1_00000001.wav");
    testing::writeFile(slide, testing::bmp24(64, 48, [](int, int) { return 0x00FF00u; }));
    testing::writeNarration(narration, testing::narrationSamples(44100 * 8), false);
    const std::string head =
        "vorlix journal 1\nnarration " + narration + "\nslide 0 0 " + slide + "\n";
    const std::string crashed = dir.file("vx_1_00000001.journal"),
                      left = dir.file("vx_2_00000002.journal");
    testing::writeText(crashed,
                       head + "slide 4 88200 " + gone + "\nslide 6 1");  // killed mid-record
    testing::writeText(left, head);
    testing::writeText(dir.file("vx_0_00000000.journal"), head + "end 2 0\nclosed /v.avi\n");

    testing::FakeView view;
    testing::ScriptedWaveInput device;
    Answers prompts;
    prompts.savePath = dir.file("recovered.avi");
    prompts.codec = CodecChoice{"rawvideo", 0};
    LectureController controller(view, prompts, device);
    // The first is made, the second left: two questions naming their journals.
    controller.recoverLecture(crashed);
    prompts.yes = false;
    controller.recoverLectures();
    ASSERT_EQ(prompts.questions.size(), 2u);
    EXPECT_NE(prompts.questions[0].find(crashed), std::string::npos);
    EXPECT_NE(prompts.questions[1].find(left), std::string::npos);

    // One message: the end, and the slide that could not be read.
    ASSERT_EQ(prompts.messages.size(), 1u);
    const std::string& told = prompts.messages.back();
    EXPECT_EQ(told.rfind(texts::kConversionEnded, 0), 0u) << told;
    EXPECT_NE(told.find(texts::kProblemsHeading), std::string::npos);
    EXPECT_NE(told.find(gone + ": No such file"), std::string::npos) << told;
    const testing::Decoded d = testing::decodeAvi(dir.file("recovered.avi"));
    EXPECT_EQ(d.framePositions, (std::vector<std::int64_t>{0, 4, 16}));  // held to the sound's end
    EXPECT_EQ(d.audio.size(), 44100u * 8);

    controller.recoverLectures();  // nothing is offered twice
    EXPECT_EQ(prompts.questions.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(left));
}

}  // namespace
}  // namespace vorlix
