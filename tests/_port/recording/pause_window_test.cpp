// Pausing from the window: the button between the slide buttons and the Pause key pause and
// resume the lecture, the window shows which, and End during a pause ends as usual.
#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/lecture_window.h"
#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

struct GiveUpPrompts : testing::FakePrompts {
    bool askYesNo(std::string_view text) override {
        messages.emplace_back(text);
        return true;  // abandon the video: this test is about the lecture
    }
};

TEST(PauseWindow, ButtonAndKeyPauseAndResumeAndEndDuringAPauseEnds) {
    test::guiApp();
    testing::ScratchDir dir;
    testing::TempFolder temp(dir.path());
    QImage slide(64, 48, QImage::Format_RGB888);
    slide.fill(Qt::red);
    for (const char* name : {"スライド1.bmp", "スライド2.bmp"})
        ASSERT_TRUE(slide.save(qs(dir.file(name)), "BMP"));
    GiveUpPrompts prompts;
    prompts.folder = dir.path().string();
    testing::ScriptedWaveInput device;
    LectureWindow window(prompts, device);
    RecorderDialog& d = window.dialog();
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    const auto look = [&] { return std::pair(d.pauseButton()->text(), d.recIndicator()->text()); };
    const auto recording = std::pair(qs(texts::kPauseButton), qs(texts::kRecIndicator));
    const auto paused = std::pair(qs(texts::kResumeButton), qs(texts::kRecPaused));

    QTest::keyClick(&d, Qt::Key_Pause);
    EXPECT_FALSE(window.controller().paused()) << "no lecture, nothing to pause";
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    device.deliverAll();
    ASSERT_TRUE(window.controller().lectureRunning());
    EXPECT_EQ(look(), recording);

    QTest::mouseClick(d.pauseButton(), Qt::LeftButton);
    EXPECT_TRUE(window.controller().paused());
    EXPECT_EQ(look(), paused);
    EXPECT_FALSE(d.recIndicator()->isChecked());
    QTest::keyClick(&d, Qt::Key_Pause);
    EXPECT_FALSE(window.controller().paused());
    EXPECT_EQ(look(), recording);
    QTest::keyClick(&d, Qt::Key_Pause);
    QTest::mouseClick(d.nextButton(), Qt::LeftButton);
    EXPECT_EQ(window.controller().state().slides().currentSlide, 1) << "slides move while paused";
    const std::vector<std::string> calls(device.calls().end() - 3, device.calls().end());
    EXPECT_EQ(calls, (std::vector<std::string>{"pause", "start", "pause"}));

    QTest::mouseClick(d.endButton(), Qt::LeftButton);
    EXPECT_FALSE(window.controller().lectureRunning());
    EXPECT_FALSE(window.controller().paused());
    EXPECT_EQ(look(), recording);
    device.deliverAll();
}

}  // namespace
}  // namespace vorlix
