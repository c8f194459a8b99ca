// A lecture through the real window, controller, recorder, clock and conversion, with the user's
// answers and the microphone scripted.
#include "lecture/lecture_controller.h"

#include <gtest/gtest.h>

#include "lecture/user_prompts.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/lecture_window.h"
#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/avi_probe.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::ScriptedWaveInput;

constexpr std::size_t kBuffer = 88200;
constexpr int kWaitMs = 20000;

// Answers from queues; every message and question is logged in order, and every dialogue too.
class ScriptedPrompts : public UserPrompts {
public:
    void showMessage(std::string_view text, std::string_view) override {
        log.push_back("message " + std::string(text));
    }
    bool askYesNo(std::string_view text) override {
        log.push_back("ask " + std::string(text));
        if (yesNo.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return true;  // gives a conversion up rather than asking for ever
        }
        const bool a = yesNo.front();
        yesNo.pop_front();
        return a;
    }
    std::optional<std::string> chooseFolder(std::string_view) override {
        log.push_back("folder");
        return folder;
    }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        log.push_back("save");
        if (savePaths.empty()) return std::nullopt;
        auto a = savePaths.front();
        savePaths.pop_front();
        return a;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        log.push_back("codec");
        return CodecChoice{"rawvideo", 0};
    }

    bool saw(std::string_view entry) const {
        return std::find(log.begin(), log.end(), entry) != log.end();
    }
    std::vector<std::string> messagesOnly() const {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (e.rfind("message ", 0) == 0) out.push_back(e.substr(8));
        return out;
    }

    std::vector<std::string> log;
    std::optional<std::string> folder;
    std::deque<std::optional<std::string>> savePaths;
    std::deque<bool> yesNo;
};

std::string message(std::string_view text) { return "message " + std::string(text); }
std::string question(std::string_view text) { return "ask " + std::string(text); }

// Slides of one colour each: red, green, blue, ...
const QColor kColours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

class LectureControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::guiApp();
        // The lecture's own files go to the test's folder and away with it.
        const char* temp = std::getenv("TEMP");
        if (temp) savedTemp_ = temp;
        fs::create_directories(dir_.path() / "temp");
        ::setenv("TEMP", (dir_.path() / "temp").c_str(), 1);
        window_ = std::make_unique<LectureWindow>(prompts_, device_);
    }
    void TearDown() override {
        window_.reset();  // before the device
        if (savedTemp_)
            ::setenv("TEMP", savedTemp_->c_str(), 1);
        else
            ::unsetenv("TEMP");
    }

    void makeSlides(int count) {
        for (int n = 1; n <= count; ++n) {
            QImage slide(320, 240, QImage::Format_RGB888);
            slide.fill(kColours[n - 1]);
            ASSERT_TRUE(slide.save(QString::fromStdString(dir_.file("スライド" + std::to_string(n) + ".bmp")), "BMP"));
        }
        prompts_.folder = dir_.path().string();
    }

    RecorderDialog& dialog() { return window_->dialog(); }
    LectureController& controller() { return window_->controller(); }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // Starts a lecture on the slides and lets the device open.
    void startLecture() {
        click(dialog().startButton());
        ASSERT_TRUE(controller().lectureRunning());
        device_.deliverAll();
        leftovers_.push_back(controller().narrationPath());
    }
    // Two seconds of a steady tone-like pattern arrive and are handed back.
    void recordBuffers(int count) {
        for (int i = 0; i < count; ++i) {
            std::vector<std::uint8_t> sound(kBuffer);
            for (std::size_t s = 0; s < kBuffer; ++s) sound[s] = (s / 22) % 2 ? 200 : 56;
            device_.capture(sound);
            device_.deliverAll();
        }
    }
    // Waits until the clock shows the given text.
    void waitForClock(const char* text) {
        QTRY_COMPARE_WITH_TIMEOUT(dialog().clockField()->text(), QString::fromLatin1(text), kWaitMs);
    }
    QColor mainPreviewColour() {
        return dialog().mainPicture()->pixmap().toImage().pixelColor(240, 180);
    }

    ScratchDir dir_;
    ScriptedPrompts prompts_;
    ScriptedWaveInput device_;
    std::unique_ptr<LectureWindow> window_;
    std::vector<std::string> leftovers_;  // the lecture's narration files
    std::optional<std::string> savedTemp_;
};

TEST_F(LectureControllerTest, NoSlidesFoundLeavesStartEnabled) {
    prompts_.folder = dir_.path().string();  // empty folder
    click(dialog().startButton());
    EXPECT_EQ(prompts_.log, (std::vector<std::string>{"folder", message(texts::kNoSlidesFound)}));
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    EXPECT_FALSE(controller().lectureRunning());
    EXPECT_TRUE(device_.calls().empty());  // the microphone was never opened
}

TEST_F(LectureControllerTest, EndWithoutALectureOnlyClears) {
    dialog().levelField()->setText(QStringLiteral("x"));
    click(dialog().endButton());
    QTest::qWait(0);
    EXPECT_TRUE(prompts_.log.empty());
    EXPECT_TRUE(dialog().levelField()->text().isEmpty());
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    // Next without a lecture asks for Start first.
    click(dialog().nextButton());
    EXPECT_EQ(prompts_.log, (std::vector<std::string>{message(texts::kPressStartFirst)}));
}

TEST_F(LectureControllerTest, ALectureOfAFewBuffersBecomesTheVideo) {
    makeSlides(3);
    startLecture();
    EXPECT_FALSE(dialog().startButton()->isEnabled());
    EXPECT_EQ(mainPreviewColour(), QColor(Qt::red));
    recordBuffers(1);
    waitForClock("00:02.0 sec");
    click(dialog().nextButton());  // slide 2 from tick 4
    EXPECT_EQ(mainPreviewColour(), QColor(Qt::green));
    recordBuffers(1);
    waitForClock("00:04.0 sec");
    click(dialog().nextButton());  // slide 3 from tick 8
    click(dialog().nextButton());  // still slide 3
    recordBuffers(1);
    waitForClock("00:06.0 sec");

    const std::string out = dir_.file("lecture");
    prompts_.savePaths = {out};
    click(dialog().endButton());

    EXPECT_EQ(prompts_.log, (std::vector<std::string>{"folder", "save", "codec",
                                                      message(texts::kConversionEnded)}));
    // Back to the start: placeholders, empty fields, Start once the device has closed.
    EXPECT_FALSE(controller().lectureRunning());
    EXPECT_NE(mainPreviewColour(), QColor(Qt::blue));
    device_.deliverAll();
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(dialog().clockField()->text().isEmpty(), kWaitMs);

    // ".avi" was added; slides 1, 2, 3 from ticks 0, 4, 8, and slide 3 again at the end (tick
    // 12) so that the video lasts as long as the narration; the three buffers as audio.
    const auto avi = testing::readAvi(out + ".avi");
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.videoPositions(true), (std::vector<std::uint32_t>{0, 4, 8, 12}));
    const auto decoded = testing::decodeAvi(out + ".avi");
    ASSERT_EQ(decoded.frames.size(), 4u);
    const auto centre = [&](std::size_t f) {
        const auto& px = decoded.frames[f];
        const std::size_t at = (240u * 640u + 320u) * 3u;
        return QColor(px[at + 2], px[at + 1], px[at]);
    };
    EXPECT_EQ(centre(0), QColor(Qt::red));
    EXPECT_EQ(centre(1), QColor(Qt::green));
    EXPECT_EQ(centre(2), QColor(Qt::blue));
    EXPECT_EQ(centre(3), QColor(Qt::blue));
    EXPECT_EQ(decoded.audio.size(), 3 * kBuffer);
    fs::remove(out + ".avi");
}

TEST_F(LectureControllerTest, SaveCancelledThenNoThenAName) {
    makeSlides(1);
    startLecture();
    recordBuffers(1);
    prompts_.savePaths = {std::nullopt, dir_.file("named.avi")};
    prompts_.yesNo = {false};
    click(dialog().endButton());
    EXPECT_EQ(prompts_.log,
              (std::vector<std::string>{"folder", "save", question(texts::kAbandonQuestion), "save",
                                        "codec", message(texts::kConversionEnded)}));
    EXPECT_TRUE(fs::exists(dir_.file("named.avi")));
}

TEST_F(LectureControllerTest, SaveCancelledThenYesWritesNothing) {
    makeSlides(1);
    startLecture();
    recordBuffers(1);
    prompts_.savePaths = {std::nullopt};
    prompts_.yesNo = {true};
    click(dialog().endButton());
    EXPECT_EQ(prompts_.log, (std::vector<std::string>{"folder", "save",
                                                      question(texts::kAbandonQuestion)}));
    EXPECT_TRUE(fs::is_empty(dir_.path()) ||
                std::none_of(fs::directory_iterator(dir_.path()), fs::directory_iterator(),
                             [](const auto& e) { return e.path().extension() == ".avi"; }));
    // The lecture's files stay for the converter.
    EXPECT_TRUE(fs::exists(leftovers_.front()));
}

TEST_F(LectureControllerTest, AFailedConversionIsRetried) {
    makeSlides(2);
    startLecture();
    recordBuffers(1);
    prompts_.savePaths = {dir_.file("no such folder/lecture.avi"), dir_.file("second.avi")};
    click(dialog().endButton());
    const auto messages = prompts_.messagesOnly();
    const auto retry = std::find(messages.begin(), messages.end(), texts::kConversionRetry);
    ASSERT_NE(retry, messages.end());
    EXPECT_EQ(std::count(messages.begin(), messages.end(), texts::kConversionRetry), 1);
    EXPECT_NE(std::find(messages.begin(), retry, texts::kCannotOpenAviFile), retry);  // first why
    EXPECT_EQ(messages.back(), texts::kConversionEnded);
    EXPECT_EQ(std::count(prompts_.log.begin(), prompts_.log.end(), "save"), 2);
    EXPECT_TRUE(fs::exists(dir_.file("second.avi")));
}

TEST_F(LectureControllerTest, ClosingDuringALectureAsksThenSavesBoth) {
    makeSlides(2);
    dialog().show();
    startLecture();
    recordBuffers(2);
    waitForClock("00:04.0 sec");
    click(dialog().nextButton());

    prompts_.yesNo = {false};
    dialog().close();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(controller().lectureRunning());
    EXPECT_TRUE(prompts_.saw(question(texts::kCloseDuringLecture)));

    const std::string narration = controller().narrationPath();
    prompts_.yesNo = {true};
    QTest::keyClick(&dialog(), Qt::Key_Escape);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_FALSE(controller().lectureRunning());
    ASSERT_FALSE(prompts_.log.empty());
    const std::string& told = prompts_.log.back();
    // Both paths are named; both files hold the lecture.
    ASSERT_NE(told.find(narration), std::string::npos) << told;
    const auto timelineAt = told.find(".tmp");
    ASSERT_NE(timelineAt, std::string::npos) << told;
    const auto timelineStart = told.rfind(' ', timelineAt) + 1;
    const std::string timeline = told.substr(timelineStart, timelineAt + 4 - timelineStart);
    EXPECT_EQ(fs::path(timeline).parent_path(), dir_.path() / "temp");
    const auto wav = testing::readBytes(narration);
    ASSERT_EQ(wav.size(), 44 + 2 * kBuffer);
    EXPECT_EQ(testing::le32(&wav[4]), wav.size() - 8);  // header completed
    EXPECT_EQ(testing::le32(&wav[40]), 2 * kBuffer);
    const auto lines = testing::readBytes(timeline);
    const std::string text(lines.begin(), lines.end());
    EXPECT_NE(text.find("0," + dir_.file("スライド1.bmp")), std::string::npos) << text;
    EXPECT_NE(text.find("8," + dir_.file("スライド2.bmp")), std::string::npos) << text;
}

TEST_F(LectureControllerTest, StartWaitsForThePreviousDeviceToClose) {
    makeSlides(1);
    startLecture();
    recordBuffers(1);
    prompts_.savePaths = {std::nullopt};
    prompts_.yesNo = {true};
    click(dialog().endButton());
    // The device still has buffers and its close to hand back.
    ASSERT_GT(device_.pendingNotifications(), 0u);
    EXPECT_FALSE(dialog().startButton()->isEnabled());
    const auto asked = prompts_.log.size();
    controller().start();  // a click that got through anyway
    EXPECT_EQ(prompts_.log.size(), asked);
    EXPECT_FALSE(controller().lectureRunning());
    device_.deliverAll();
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    // And the next lecture runs.
    startLecture();
    EXPECT_TRUE(controller().lectureRunning());
    prompts_.savePaths = {std::nullopt};
    prompts_.yesNo = {true};
    click(dialog().endButton());
}

}  // namespace
}  // namespace vorlix
