// A PDF deck through a whole lecture: pages drawn at Start into slide files in the lecture's
// folder, stepped through, and found again in the frames of the video; a damaged deck is named
// and starts nothing.
#include <gtest/gtest.h>

#include <chrono>

#include "controller/lecture_controller.h"
#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/lecture_fakes.h"
#include "support/pdf_deck.h"
#include "support/scratch_dir.h"
#include "tests/recording/scripted_wave_input.h"
#include "video/slide_picture.h"

namespace vorlix {
namespace {

struct Lecture {
    testing::ScratchDir dir;
    testing::TempFolder temp{dir.path()};
    testing::FakeView view;
    testing::FakePrompts prompts;
    testing::ScriptedWaveInput device;
    LectureController controller{view, prompts, device};
    std::vector<std::int64_t> pagesDone;

    explicit Lecture(const std::string& pdf) {
        std::filesystem::create_directories(dir.path() / "deck");
        testing::writeText(dir.file("deck/講義.pdf"), pdf);
        prompts.folder = dir.file("deck");
        controller.setSlidePreparationProgress(
            [this](std::int64_t done, std::int64_t) { pagesDone.push_back(done); },
            [this] { pagesDone.push_back(-1); });
    }
};

TEST(PdfDeck, PagesBecomeTheSlidesOfTheVideo) {
    using testing::PdfPage;
    Lecture l(testing::pdfDeck({PdfPage{960, 540, 255, 0, 0}, PdfPage{960, 540, 0, 160, 0},
                                PdfPage{540, 960, 0, 0, 255, 0, 90}}));  // portrait, turned
    l.controller.start();
    ASSERT_TRUE(l.controller.lectureRunning());
    EXPECT_EQ(l.pagesDone, (std::vector<std::int64_t>{0, 1, 2, 3, -1}));
    const std::string last = l.controller.state().slides().path(2);
    EXPECT_EQ(last.rfind(l.dir.path().string() + "/vx_slides_", 0), 0u) << last;
    const auto picture = readSlidePicture(last);  // full-HD wide, shaped like the turned page
    ASSERT_TRUE(picture);
    EXPECT_EQ(std::make_pair(picture->width(), picture->height()), std::make_pair(1920, 1080));

    l.device.deliverAll();
    for (int seconds = 2; seconds <= 6; seconds += 2) {
        l.device.capture(88200, 128);
        l.device.deliverAll();
        const std::string shown = "00:0" + std::to_string(seconds) + ".0 sec";
        ASSERT_TRUE(l.view.waitForClockText(shown, std::chrono::seconds(10)));
        if (seconds < 6) l.controller.next();
    }
    l.prompts.savePath = l.dir.file("lecture.avi");
    l.prompts.codec = CodecChoice{"rawvideo", 0};
    l.controller.end();
    EXPECT_EQ(l.prompts.messages, std::vector<std::string>{std::string(texts::kConversionEnded)});

    // Each frame shows its page's colour beside the black bar along the page's left edge (the
    // top, once turned); the last page again at End.
    const auto video = testing::decodeAvi(l.dir.file("lecture.avi"));
    ASSERT_EQ(video.frames.size(), 4u);
    const std::array<int, 3> colours[] = {{0, 0, 255}, {0, 160, 0}, {255, 0, 0}, {255, 0, 0}};
    for (std::size_t f = 0; f < 4; ++f) {
        const std::uint8_t* middle = &video.frames[f][(240 * 640 + 400) * 3];
        const std::uint8_t* bar = &video.frames[f][(f < 2 ? 240 * 640 + 20 : 10 * 640 + 320) * 3];
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(middle[c], colours[f][c], 2) << "frame " << f;
        EXPECT_LT(bar[0] + bar[1] + bar[2], 30) << "frame " << f;
    }
}

TEST(PdfDeck, ADamagedDeckIsNamedAndStartsNothing) {
    const std::string cut = testing::pdfDeck({testing::PdfPage{}}).substr(0, 120);
    for (const std::string& pdf : {cut, "%PDF-1.4\n" + std::string(300, '\x9c'), std::string()}) {
        Lecture l(pdf);
        l.controller.start();
        EXPECT_FALSE(l.controller.lectureRunning());
        ASSERT_EQ(l.prompts.messages.size(), 1u);
        EXPECT_NE(l.prompts.messages[0].find(l.dir.file("deck/講義.pdf")), std::string::npos);
        EXPECT_TRUE(l.device.calls().empty());  // the microphone was never opened
    }
}

}  // namespace
}  // namespace vorlix
