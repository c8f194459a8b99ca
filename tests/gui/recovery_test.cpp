// Program start after a crash: each lecture left without its video is offered once, oldest
// first, made from its journal on Yes, left alone on No; a video made with problems is followed
// by one message listing them.
#include <gtest/gtest.h>

#include "controller/lecture_controller.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix {
namespace {

TEST(Recovery, ALectureLeftWithoutItsVideoIsOfferedOnceAndMadeFromItsJournal) {
    testing::ScratchDir dir;
    testing::TempFolder temp(dir.path());
    const std::string slide = dir.file("スライド1.bmp"), gone = dir.file("スライド2.bmp"),
                      narration = dir.file("vx_temp_1_00000001.wav"),
                      crashed = dir.file("vx_1_00000001.journal"),
                      left = dir.file("vx_2_00000002.journal");
    testing::writeFile(slide, testing::bmpOf(64, 48, [](int, int) { return 0x00FF00u; }));
    testing::writeNarration(narration, testing::noise(44100 * 8), false);
    const std::string head =
        "vorlix journal 1\nnarration " + narration + "\nslide 0 0 " + slide + "\n";
    testing::writeFile(dir.file("vx_0_00000000.journal"), head + "end 2 0\nclosed /v.avi\n");
    testing::writeFile(crashed, head + "slide 4 88200 " + gone + "\nslide 6 1");  // cut mid-record
    testing::writeFile(left, head);

    testing::FakeView view;
    testing::ScriptedDevice device;
    testing::FakePrompts prompts;
    prompts.savePaths = {dir.file("recovered.avi")};
    prompts.yesNo = {true, false};
    LectureController controller(view, prompts, device);
    controller.recoverLectures();
    const testing::Log& log = prompts.log;
    ASSERT_EQ(log.size(), 5u);
    EXPECT_TRUE(log[0].ends_with("?") && log[0].find(crashed) != std::string::npos) << log[0];
    EXPECT_EQ(log[1] + "," + log[2], "save,codec");
    EXPECT_TRUE(log[3].starts_with(texts::kConversionEnded)) << log[3];
    for (const std::string& part : {std::string(texts::kProblemsHeading), gone + ": "})
        EXPECT_NE(log[3].find(part), std::string::npos) << log[3];
    EXPECT_TRUE(log[4].ends_with("?") && log[4].find(left) != std::string::npos) << log[4];
    const testing::AviRead f = testing::readAvi(dir.file("recovered.avi"));
    EXPECT_EQ(f.positions(0), (std::vector<std::int64_t>{0, 4, 16}));  // held to the sound's end
    EXPECT_EQ(f.audio.size(), 44100u * 8);

    controller.recoverLectures();  // nothing is offered twice; the one left stays for the converter
    EXPECT_EQ(log.size(), 5u);
    EXPECT_TRUE(std::filesystem::exists(left));
}

}  // namespace
}  // namespace vorlix
