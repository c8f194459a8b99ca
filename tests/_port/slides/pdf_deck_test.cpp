// A PDF deck through a whole lecture: its pages drawn at Start into slide files in the lecture's
// folder, stepped through, and found again in the frames of the video. Damaged decks are told
// about and start nothing.
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

using namespace std::chrono_literals;

struct Lecture {
    testing::ScratchDir dir;
    testing::TempFolder temp{dir.path()};
    testing::FakeView view;
    testing::FakePrompts prompts;
    testing::ScriptedWaveInput device;
    LectureController controller{view, prompts, device};
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    int progressEnded = 0;

    explicit Lecture(const std::string& pdf) {
        std::filesystem::create_directories(dir.path() / "deck");
        testing::writeText(dir.file("deck/lecture.pdf"), pdf);
        prompts.folder = dir.file("deck");
        controller.setSlidePreparationProgress(
            [this](std::int64_t done, std::int64_t total) { progress.emplace_back(done, total); },
            [this] { ++progressEnded; });
    }
    // One two-second buffer of sound, waited for on the clock.
    void record(int seconds) {
        device.capture(88200, 128);
        while (device.deliverNext()) {
        }
        ASSERT_TRUE(view.waitForClockText("00:0" + std::to_string(seconds) + ".0 sec", 10s));
    }
};

TEST(PdfDeck, PagesBecomeTheSlidesOfTheVideo) {
    using testing::PdfPage;
    Lecture l(testing::pdfDeck({PdfPage{960, 540, 255, 0, 0}, PdfPage{960, 540, 0, 160, 0},
                                PdfPage{540, 960, 0, 0, 255, 0, 90}}));  // a portrait page turned
    l.controller.start();
    ASSERT_TRUE(l.controller.lectureRunning())
        << (l.prompts.messages.empty() ? "" : l.prompts.messages[0]);
    EXPECT_EQ(l.progress,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(l.progressEnded, 1);
    const auto& slides = l.controller.state().slides();
    ASSERT_EQ(slides.slideCount, 3);
    // Full-HD wide, shaped like their pages, in the lecture's folder.
    const std::pair<int, int> sizes[] = {{1920, 1080}, {1920, 1080}, {1920, 1080}};
    for (int i = 0; i < 3; ++i) {
        const std::string path = slides.path(i);
        EXPECT_EQ(path.rfind(l.dir.path().string() + "/vx_slides_", 0), 0u) << path;
        const auto picture = readSlidePicture(path);
        ASSERT_TRUE(picture) << path;
        EXPECT_EQ(std::make_pair(picture->width(), picture->height()), sizes[i]) << path;
    }

    l.device.deliverAll();
    l.record(2);
    l.controller.next();
    l.record(4);
    l.controller.next();
    l.record(6);
    l.prompts.savePath = l.dir.file("lecture.avi");
    l.prompts.codec = CodecChoice{"rawvideo", 0};
    l.controller.end();
    EXPECT_EQ(l.prompts.messages, std::vector<std::string>{std::string(texts::kConversionEnded)});

    const auto video = testing::decodeAvi(l.dir.file("lecture.avi"));
    ASSERT_EQ(video.frames.size(), 4u);  // the last slide again at End
    // Each frame shows its page: the page's colour right of the black bar along its left edge
    // (along the top for the turned page).
    const std::array<std::uint8_t, 3> colours[] = {
        {0, 0, 255}, {0, 160, 0}, {255, 0, 0}, {255, 0, 0}};  // BGR
    for (std::size_t f = 0; f < 4; ++f) {
        const std::uint8_t* middle = video.frames[f].data() + (240 * 640 + 400) * 3;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(middle[c], colours[f][c], 2) << "frame " << f;
        const std::uint8_t* bar = f < 2 ? video.frames[f].data() + (240 * 640 + 20) * 3
                                        : video.frames[f].data() + (10 * 640 + 320) * 3;
        EXPECT_LT(bar[0] + bar[1] + bar[2], 30) << "frame " << f;
    }
}

TEST(PdfDeck, ADamagedDeckIsNamedAndStartsNothing) {
    const std::string whole = testing::pdfDeck({testing::PdfPage{}, testing::PdfPage{}});
    for (const std::string& pdf :
         {whole.substr(0, 120), std::string("%PDF-1.4\n") + std::string(300, '\x9c'),
          std::string()}) {
        Lecture l(pdf);
        l.controller.start();
        EXPECT_FALSE(l.controller.lectureRunning());
        ASSERT_EQ(l.prompts.messages.size(), 1u);
        EXPECT_NE(l.prompts.messages[0].find(l.dir.file("deck/lecture.pdf")), std::string::npos)
            << l.prompts.messages[0];
        EXPECT_TRUE(l.device.calls().empty());  // the microphone was never opened
    }
}

}  // namespace
}  // namespace vorlix
