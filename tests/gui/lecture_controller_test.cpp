// A lecture through the real window, controller, recorder, clock and conversion, with the user's
// answers and the microphone scripted. (The whole lecture into a video, with real sound, is the
// end-to-end test's.)
#include "controller/lecture_controller.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/lecture_window.h"
#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::Log;
constexpr std::size_t kBuffer = 88200;

std::string question(std::string_view text) {
    return std::string(text) + "?";
}

class LectureControllerTest : public ::testing::Test {
  protected:
    RecorderDialog& dialog() { return window_.dialog(); }
    LectureController& controller() { return window_.controller(); }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // Starts a lecture on `slides` slides and records `buffers` buffers.
    void startLecture(int slides, int buffers = 1) {
        for (int n = 1; n <= slides; ++n)
            testing::writeFile(dir_.file("スライド" + std::to_string(n) + ".bmp"),
                               testing::bmpOf(32, 24, [](int, int) { return 0x808080u; }));
        prompts_.folder = dir_.path().string();
        click(dialog().startButton());
        ASSERT_TRUE(controller().lectureRunning());
        device_.deliverAll();
        for (int i = 1; i <= buffers; ++i) {  // waits for the clock to show each
            device_.capture(kBuffer, 200);
            device_.deliverAll();
            const QString shown = QString::asprintf("00:%02d.0 sec", 2 * i);
            QTRY_COMPARE_WITH_TIMEOUT(dialog().clockField()->text(), shown, 20000);
        }
    }
    void end(std::deque<std::optional<std::string>> savePaths, std::deque<bool> yesNo = {}) {
        prompts_.savePaths = std::move(savePaths);
        prompts_.yesNo = std::move(yesNo);
        click(dialog().endButton());
    }

    QApplication& app_ = test::guiApp();
    testing::ScratchDir dir_;
    testing::TempFolder temp_{dir_.path()};  // the lecture's own files go with the folder
    testing::FakePrompts prompts_;
    testing::ScriptedDevice device_;
    LectureWindow window_{prompts_, device_};
};

TEST_F(LectureControllerTest, WithoutSlidesOrALectureNothingStarts) {
    prompts_.folder = dir_.path().string();  // empty folder
    click(dialog().startButton());
    EXPECT_EQ(prompts_.log, (Log{"folder", std::string(texts::kNoSlidesFound)}));
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    EXPECT_FALSE(device_.queue().isOpen());  // the microphone was never opened
    dialog().levelField()->setText(QStringLiteral("x"));
    click(dialog().endButton());  // End without a lecture only clears
    EXPECT_TRUE(dialog().levelField()->text().isEmpty());
    click(dialog().nextButton());
    EXPECT_EQ(prompts_.log.back(), texts::kPressStartFirst);
}

// A cancelled save asks whether to give the video up: No asks for a name again, Yes writes
// nothing. Either way the lecture's files stay for the converter.
TEST_F(LectureControllerTest, CancelledSaveAsksWhetherToGiveUp) {
    const std::string abandon = question(texts::kAbandonQuestion);
    for (const bool giveUp : {false, true}) {
        SCOPED_TRACE(giveUp ? "Yes" : "No");
        prompts_.log.clear();
        startLecture(1);
        const std::string narration = controller().narrationPath();
        end({std::nullopt, dir_.file("named.avi")}, {giveUp});
        Log expected = {"folder", "save", abandon};
        if (!giveUp) expected.insert(expected.end(), {"save", "codec", std::string(texts::kConversionEnded)});
        EXPECT_EQ(prompts_.log, expected);
        EXPECT_EQ(fs::exists(dir_.file("named.avi")), !giveUp);
        EXPECT_TRUE(fs::exists(narration));
        device_.deliverAll();
        fs::remove(dir_.file("named.avi"));
    }
}

TEST_F(LectureControllerTest, AFailedConversionIsRetried) {
    startLecture(2);
    end({dir_.file("no such folder/lecture.avi"), dir_.file("second.avi")});
    // Why it failed, then the offer to retry, then a second name and success.
    const auto& log = prompts_.log;
    const auto retry = std::find(log.begin(), log.end(), texts::kConversionRetry);
    ASSERT_NE(retry, log.end());
    EXPECT_NE(std::find(log.begin(), retry, texts::kCannotOpenAviFile), retry);
    EXPECT_EQ(Log(retry + 1, log.end()), (Log{"save", "codec", std::string(texts::kConversionEnded)}));
    EXPECT_TRUE(fs::exists(dir_.file("second.avi")));
}

TEST_F(LectureControllerTest, ClosingDuringALectureAsksThenSavesBoth) {
    dialog().show();
    startLecture(2, 2);
    click(dialog().nextButton());
    prompts_.yesNo = {false};
    dialog().close();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(prompts_.log.back(), question(texts::kCloseDuringLecture));

    const std::string narration = controller().narrationPath();
    prompts_.yesNo = {true};
    QTest::keyClick(&dialog(), Qt::Key_Escape);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_FALSE(controller().lectureRunning());
    // Both paths are named; both files hold the lecture.
    std::string timeline;
    for (const auto& e : fs::directory_iterator(dir_.path()))
        if (e.path().extension() == ".tmp") timeline = e.path().string();
    EXPECT_NE(prompts_.log.back().find(narration), std::string::npos) << prompts_.log.back();
    EXPECT_NE(prompts_.log.back().find(timeline), std::string::npos) << prompts_.log.back();
    const auto wav = testing::readBytes(narration);
    ASSERT_EQ(wav.size(), 44 + 2 * kBuffer);
    EXPECT_EQ(testing::le32(wav, 40), 2 * kBuffer);  // header completed
    const std::string text = testing::readText(timeline);
    EXPECT_NE(text.find("0," + dir_.file("スライド1.bmp")), std::string::npos) << text;
    EXPECT_NE(text.find("8," + dir_.file("スライド2.bmp")), std::string::npos) << text;
}

TEST_F(LectureControllerTest, StartWaitsForThePreviousDeviceToClose) {
    startLecture(1);
    end({std::nullopt}, {true});
    ASSERT_GT(device_.pending(), 0u);  // buffers and the close still to hand back
    EXPECT_FALSE(dialog().startButton()->isEnabled());
    const auto asked = prompts_.log.size();
    controller().start();  // a click that got through anyway
    EXPECT_EQ(prompts_.log.size(), asked);
    EXPECT_FALSE(controller().lectureRunning());
    device_.deliverAll();
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    controller().start();
    EXPECT_TRUE(controller().lectureRunning());
}

}  // namespace
}  // namespace vorlix
