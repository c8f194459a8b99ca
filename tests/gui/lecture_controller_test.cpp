// A lecture through the real window, controller, recorder, clock and conversion, with the user's
// answers and the microphone scripted.
#include "controller/lecture_controller.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <filesystem>

#include "app/lecture_window.h"
#include "app/qt_text.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/avi_probe.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using Path = std::optional<std::string>;

constexpr std::size_t kBuffer = 88200;
constexpr int kWaitMs = 20000;
const QColor kColours[] = {Qt::red, Qt::green, Qt::blue};  // slide 1, 2, 3

template <class T>
T next(std::deque<T>& answers, T otherwise) {
    if (answers.empty()) return otherwise;
    T a = answers.front();
    answers.pop_front();
    return a;
}

// Answers from queues; logs in order every message, question ("...?") and dialogue.
class ScriptedPrompts : public UserPrompts {
  public:
    void showMessage(std::string_view text, std::string_view) override { log.emplace_back(text); }
    bool askYesNo(std::string_view text) override {
        log.push_back(std::string(text) + "?");
        return next(yesNo, true);  // out of script: give up rather than ask for ever
    }
    Path chooseFolder(std::string_view) override { return log.push_back("folder"), folder; }
    Path askSavePath(std::string_view, std::string_view, std::string_view) override {
        log.push_back("save");
        return next(savePaths, Path());
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        log.push_back("codec");
        return CodecChoice{"rawvideo", 0};
    }

    Log log;
    Path folder;
    std::deque<Path> savePaths;
    std::deque<bool> yesNo;
};

std::string question(std::string_view text) {
    return std::string(text) + "?";
}

class LectureControllerTest : public ::testing::Test {
  protected:
    RecorderDialog& dialog() { return window_.dialog(); }
    LectureController& controller() { return window_.controller(); }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QColor mainPreview() { return dialog().mainPicture()->pixmap().toImage().pixelColor(240, 180); }

    // Starts a lecture on `slides` one-colour slides and records `buffers` buffers.
    void startLecture(int slides, int buffers = 1) {
        for (int n = 1; n <= slides; ++n) {
            QImage slide(320, 240, QImage::Format_RGB888);
            slide.fill(kColours[n - 1]);
            ASSERT_TRUE(slide.save(qs(dir_.file("スライド" + std::to_string(n) + ".bmp")), "BMP"));
        }
        prompts_.folder = dir_.path().string();
        click(dialog().startButton());
        ASSERT_TRUE(controller().lectureRunning());
        device_.deliverAll();
        buffers_ = 0;
        recordBuffers(buffers);
    }
    // Buffers of a steady pattern arrive; waits for the clock to show each.
    void recordBuffers(int count) {
        for (int i = 0; i < count; ++i) {
            std::vector<std::uint8_t> sound(kBuffer);
            for (std::size_t s = 0; s < kBuffer; ++s) sound[s] = (s / 22) % 2 ? 200 : 56;
            device_.capture(sound);
            device_.deliverAll();
            const QString shown = QString::asprintf("00:%02d.0 sec", 2 * ++buffers_);
            QTRY_COMPARE_WITH_TIMEOUT(dialog().clockField()->text(), shown, kWaitMs);
        }
    }
    void end(std::deque<Path> savePaths, std::deque<bool> yesNo = {}) {
        prompts_.savePaths = std::move(savePaths);
        prompts_.yesNo = std::move(yesNo);
        click(dialog().endButton());
    }

    QApplication& app_ = test::guiApp();
    testing::ScratchDir dir_;
    testing::TempFolder temp_{dir_.path()};  // the lecture's own files go with the folder
    ScriptedPrompts prompts_;
    testing::ScriptedWaveInput device_;
    LectureWindow window_{prompts_, device_};
    int buffers_ = 0;
};

TEST_F(LectureControllerTest, NoSlidesFoundLeavesStartEnabled) {
    prompts_.folder = dir_.path().string();  // empty folder
    click(dialog().startButton());
    EXPECT_EQ(prompts_.log, (Log{"folder", std::string(texts::kNoSlidesFound)}));
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    EXPECT_FALSE(controller().lectureRunning());
    EXPECT_TRUE(device_.calls().empty());  // the microphone was never opened
}

TEST_F(LectureControllerTest, EndWithoutALectureOnlyClearsAndNextAsksForStart) {
    dialog().levelField()->setText(QStringLiteral("x"));
    click(dialog().endButton());
    EXPECT_TRUE(prompts_.log.empty());
    EXPECT_TRUE(dialog().levelField()->text().isEmpty());
    EXPECT_TRUE(dialog().startButton()->isEnabled());
    click(dialog().nextButton());
    EXPECT_EQ(prompts_.log, (Log{std::string(texts::kPressStartFirst)}));
}

TEST_F(LectureControllerTest, ALectureOfAFewBuffersBecomesTheVideo) {
    startLecture(3);
    EXPECT_FALSE(dialog().startButton()->isEnabled());
    EXPECT_EQ(mainPreview(), QColor(Qt::red));
    click(dialog().nextButton());  // slide 2 from tick 4
    EXPECT_EQ(mainPreview(), QColor(Qt::green));
    recordBuffers(1);
    click(dialog().nextButton());  // slide 3 from tick 8
    click(dialog().nextButton());  // still slide 3
    recordBuffers(1);
    const std::string out = dir_.file("lecture");
    end({out});
    EXPECT_EQ(prompts_.log, (Log{"folder", "save", "codec", std::string(texts::kConversionEnded)}));
    // Back to the start: placeholders, empty fields, Start once the device has closed.
    EXPECT_FALSE(controller().lectureRunning());
    EXPECT_NE(mainPreview(), QColor(Qt::blue));
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
    for (std::size_t f = 0; f < 4; ++f) {
        const std::uint8_t* px = &decoded.frames[f][(240u * 640u + 320u) * 3u];  // BGR
        EXPECT_EQ(QColor(px[2], px[1], px[0]), kColours[std::min<std::size_t>(f, 2)]) << f;
    }
    EXPECT_EQ(decoded.audio.size(), 3 * kBuffer);
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
        const Log expected = giveUp ? Log{"folder", "save", abandon}
                                    : Log{"folder", "save",  abandon,
                                          "save",   "codec", std::string(texts::kConversionEnded)};
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
    EXPECT_NE(
        std::find_if(log.begin(), retry,
                     [](const std::string& m) { return m.starts_with(texts::kCannotOpenAviFile); }),
        retry);
    EXPECT_EQ(Log(retry + 1, log.end()),
              (Log{"save", "codec", std::string(texts::kConversionEnded)}));
    EXPECT_TRUE(fs::exists(dir_.file("second.avi")));
}

TEST_F(LectureControllerTest, ClosingDuringALectureAsksThenSavesBoth) {
    dialog().show();
    startLecture(2, 2);
    click(dialog().nextButton());
    prompts_.yesNo = {false};
    dialog().close();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(controller().lectureRunning());
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
    const std::string& told = prompts_.log.back();
    EXPECT_NE(told.find(narration), std::string::npos) << told;
    EXPECT_NE(told.find(timeline), std::string::npos) << told;
    const auto wav = testing::readBytes(narration);
    ASSERT_EQ(wav.size(), 44 + 2 * kBuffer);
    EXPECT_EQ(testing::le32(&wav[4]), wav.size() - 8);  // header completed
    EXPECT_EQ(testing::le32(&wav[40]), 2 * kBuffer);
    const std::string text = testing::readText(timeline);
    EXPECT_NE(text.find("0," + dir_.file("スライド1.bmp")), std::string::npos) << text;
    EXPECT_NE(text.find("8," + dir_.file("スライド2.bmp")), std::string::npos) << text;
}

TEST_F(LectureControllerTest, StartWaitsForThePreviousDeviceToClose) {
    startLecture(1);
    end({std::nullopt}, {true});
    ASSERT_GT(device_.pendingNotifications(), 0u);  // buffers and the close still to hand back
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
