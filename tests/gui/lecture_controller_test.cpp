// A lecture through the real window, controller, recorder, clock and conversion on the offscreen
// platform, the user's answers and the microphone scripted: the paths off the straight one (the
// straight one, with real sound, is the end-to-end test's).
#include "controller/lecture_controller.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/lecture_window.h"
#include "app/qt_lecture_view.h"
#include "resources/texts.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kBuffer = 88200;

struct LectureControllerTest : ::testing::Test {
    static void SetUpTestSuite() {  // kept to the end: Qt's exit handlers still reach it
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("gui_tests"), nullptr};
        static auto* app = (initResources(), new QApplication(argc, argv));
        (void)app;
    }
    // Starts a lecture on two slides and records two buffers, each seen on the clock.
    void startLecture() {
        for (const char* n : {"1", "2"})
            testing::writeFile(dir.file(std::string("スライド") + n + ".bmp"),
                               testing::bmpOf(8, 6, [](int, int) { return 0u; }));
        prompts.folder = dir.path().string();
        QTest::mouseClick(window.dialog().startButton(), Qt::LeftButton);
        ASSERT_TRUE(window.controller().lectureRunning());
        device.deliverAll();
        for (const char* shown : {"00:02.0 sec", "00:04.0 sec"}) {
            device.capture(kBuffer, 200), device.deliverAll();
            QTRY_COMPARE_WITH_TIMEOUT(window.dialog().clockField()->text(), QString(shown), 20000);
        }
    }
    testing::ScratchDir dir;
    testing::TempFolder temp{dir.path()};  // the lecture's own files go with the folder
    testing::FakePrompts prompts;
    testing::ScriptedDevice device;
    LectureWindow window{prompts, device};
};

// Closing asks first; agreed to, the narration and timeline are saved and the window says where.
TEST_F(LectureControllerTest, ClosingDuringALectureAsksThenSavesBoth) {
    RecorderDialog& d = window.dialog();
    d.show();
    startLecture();
    QTest::mouseClick(d.nextButton(), Qt::LeftButton);
    prompts.yesNo = {false};
    d.close();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(prompts.log.back(), std::string(texts::kCloseDuringLecture) + "?");
    const std::string narration = window.controller().narrationPath();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible() || window.controller().lectureRunning());
    std::string timeline;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().extension() == ".tmp") timeline = e.path().string();
    EXPECT_NE(prompts.log.back().find(narration), std::string::npos) << prompts.log.back();
    EXPECT_NE(prompts.log.back().find(timeline), std::string::npos) << prompts.log.back();
    EXPECT_EQ(testing::le32(testing::readBytes(narration), 40), 2 * kBuffer);  // header completed
    const testing::Bytes text = testing::readBytes(timeline);
    EXPECT_TRUE(std::string(text.begin(), text.end())
                    .starts_with("0," + dir.file("スライド1.bmp") + "\n8," +
                                 dir.file("スライド2.bmp") + "\n"));
}

// Start waits until the device of the lecture before has handed back its buffers and closed.
TEST_F(LectureControllerTest, StartWaitsForThePreviousDeviceToClose) {
    RecorderDialog& d = window.dialog();
    startLecture();
    prompts.yesNo = {true};  // the save dialogue cancelled, the video given up
    QTest::mouseClick(d.endButton(), Qt::LeftButton);
    ASSERT_GT(device.pending(), 0u);
    EXPECT_FALSE(d.startButton()->isEnabled());
    window.controller().start();  // a click that got through anyway
    EXPECT_FALSE(window.controller().lectureRunning());
    device.deliverAll();
    EXPECT_TRUE(d.startButton()->isEnabled());
    window.controller().start();
    EXPECT_TRUE(window.controller().lectureRunning());
}

}  // namespace
}  // namespace vorlix
