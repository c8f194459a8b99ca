// A whole lecture with nothing faked but the user: the program's own window and dialogues on an
// X server, the Qt microphone on a sound server of the test's own playing known tones, the real
// recorder, clock, timeline and conversion. The test plays one tone per slide and switches tone
// when it presses Next, so the moment of every Next can be read off the recorded sound itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/codec_dialog.h"
#include "app/qt_text.h"
#include "app/recorder_app.h"
#include "app/recorder_dialog.h"
#include "resources/texts.h"
#include "tests/e2e/pulse_server.h"
#include "tests/e2e/tone_signal.h"
#include "tests/support/avi_probe.h"
#include "tests/support/pdf_deck.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr int kRate = 44100;
constexpr int kSamplesPerTick = kRate / 2;
// One tone per slide, far enough apart to tell by counting zero crossings.
constexpr int kToneHz[] = {400, 1200, 2400};
const QColor kSlideColours[] = {QColor(220, 40, 40), QColor(40, 180, 60), QColor(40, 80, 220)};

// Answers every modal dialogue the program opens, as a user would, and notes what it saw.
class User : public QObject {
  public:
    std::string folder;
    std::string savePath;
    std::string codec;
    std::vector<std::string> messages;

    User() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start();
    }

  private:
    void look() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || handled_.count(w) || qobject_cast<QProgressDialog*>(w) ||
            qobject_cast<RecorderDialog*>(w))
            return;
        handled_.insert(w);
        if (auto* files = qobject_cast<QFileDialog*>(w)) {
            const bool save = files->acceptMode() == QFileDialog::AcceptSave;
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(qs(save ? savePath : folder));
            QTest::keyClick(name, Qt::Key_Return);
        } else if (auto* codecs = qobject_cast<CodecDialog*>(w)) {
            const auto found = codecs->list()->findItems(qs(codec), Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << codec;
            codecs->list()->setCurrentItem(found.front());
            QTest::keyClick(codecs->list(), Qt::Key_Return);
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            messages.push_back(utf8(box->text()));
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click()
                                         : box->button(QMessageBox::No)->click();
        } else {
            ADD_FAILURE() << "unexpected dialogue " << w->metaObject()->className();
        }
    }

    QTimer timer_;
    std::set<QWidget*> handled_;
};

// Ticks shown by the clock field, "mm:ss.t sec".
int shownTicks(const RecorderDialog& d) {
    const QString t = d.clockField()->text();
    if (t.size() < 7) return -1;
    return (t.mid(0, 2).toInt() * 60 + t.mid(3, 2).toInt()) * 2 + (t.mid(6, 1) == "5" ? 1 : 0);
}

// The sample where the tone changes to `to` (first 20-ms window nearer to it), after `from`.
std::int64_t toneChange(const std::vector<std::uint8_t>& audio, std::size_t from, int before,
                        int to) {
    constexpr std::size_t kWindow = kRate / 50;
    for (std::size_t at = from; at + kWindow <= audio.size(); at += kWindow / 4) {
        const int f = frequencyOf(std::span(audio).subspan(at, kWindow));
        if (std::abs(f - to) < std::abs(f - before)) return static_cast<std::int64_t>(at);
    }
    return -1;
}

class LectureE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start()) << server_.error();
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(
                makeTone(dir_.file("tone" + std::to_string(i) + ".wav"), kToneHz[i], 60, "0.4"));
        // The slides as a PDF deck, the way most teachers have them: drawn into slide files at
        // Start. Two lines of text on each page, clear of the centre the test reads back.
        std::vector<PdfPage> pages;
        for (const QColor& c : kSlideColours)
            pages.push_back({960, 720, c.red(), c.green(), c.blue(), 2});
        writeText(dir_.file("講義.pdf"), pdfDeck(pages));
    }

    // Switches the microphone to tone i; the server's low latency makes it near-immediate.
    void playTone(int i) {
        player_.kill();
        ASSERT_TRUE(player_.start({"paplay", "--latency-msec=20", "--device=lecture",
                                   dir_.file("tone" + std::to_string(i) + ".wav")},
                                  {}, dir_.file("paplay.out")));
    }

    ScratchDir dir_;
    TempFolder temp_{dir_.path()};  // the lecture's narration and timeline stay in the folder
    PulseServer server_;
    ChildProcess player_;
};

TEST_F(LectureE2E, SlidesAndVoiceEndUpInStepInTheVideo) {
    User user;
    user.folder = dir_.path().string();
    user.savePath = dir_.file("lecture");  // the program adds ".avi"
    user.codec = std::string(texts::kCodecMjpeg);
    std::vector<int> pressedAt;  // clock ticks shown when Next was pressed

    QTimer::singleShot(0, [&] {
        RecorderDialog* d = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* r = qobject_cast<RecorderDialog*>(w)) d = r;
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
        const auto finish = qScopeGuard([d] { d->close(); });

        playTone(0);
        QTest::mouseClick(d->startButton(), Qt::LeftButton);  // the folder dialogue answers
        ASSERT_FALSE(d->startButton()->isEnabled());
        ASSERT_TRUE(user.messages.empty()) << user.messages.front();
        // Next by the remote's keys, each after three seconds or more of one tone.
        const Qt::Key keys[] = {Qt::Key_PageDown, Qt::Key_Right};
        for (int step = 0; step < 2; ++step) {
            const int from = std::max(0, shownTicks(*d));
            ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= from + 7; }, kTimeoutMs));
            playTone(step + 1);
            d->activateWindow();
            pressedAt.push_back(shownTicks(*d));
            QTest::keyClick(d, keys[step]);
            // VORLIX_SCREENSHOT=<file.png>: the README's picture of a lecture in progress.
            if (const char* shot = std::getenv("VORLIX_SCREENSHOT"); shot && step == 0) {
                QTest::qWait(300);
                const QRect g = d->frameGeometry();
                const QString crop =
                    QString::asprintf("%dx%d+%d+%d", g.width(), g.height(), g.x(), g.y());
                EXPECT_EQ(runProgram({"import", "-window", "root", "-crop", utf8(crop), shot}, {},
                                     dir_.file("import.out")),
                          0);
            }
        }
        const int last = shownTicks(*d);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= last + 9; }, kTimeoutMs));
        QTest::mouseClick(d->endButton(), Qt::LeftButton);  // save, codec, done: all answered
        ASSERT_TRUE(QTest::qWaitFor([&] { return d->startButton()->isEnabled(); }, kTimeoutMs));
    });
    RecorderApp().run();
    player_.kill();

    ASSERT_EQ(user.messages, std::vector<std::string>{std::string(texts::kConversionEnded)});
    ASSERT_EQ(pressedAt.size(), 2u);
    const std::string avi = dir_.file("lecture.avi");

    // The frames: slide 1 at 0, then each Next's slide, then the last slide again at the end.
    const AviFile file = readAvi(avi);
    ASSERT_TRUE(file.valid);
    const auto positions = file.videoPositions(true);
    ASSERT_EQ(positions.size(), 4u);
    EXPECT_EQ(positions[0], 0u);
    const Decoded decoded = decodeAvi(avi);
    ASSERT_EQ(decoded.frames.size(), 4u);
    for (std::size_t f = 0; f < 4; ++f) {
        const std::uint8_t* px = &decoded.frames[f][(240u * 640u + 320u) * 3u];  // the centre, BGR
        const QColor want = kSlideColours[std::min<std::size_t>(f, 2)];
        EXPECT_NEAR(px[2], want.red(), 24) << "frame " << f;
        EXPECT_NEAR(px[1], want.green(), 24) << "frame " << f;
        EXPECT_NEAR(px[0], want.blue(), 24) << "frame " << f;
    }

    // The sound: every tone there, and each slide change within one tick of the tone change
    // the test made when it pressed Next.
    ASSERT_EQ(decoded.audioRate, kRate);
    const auto& audio = decoded.audio;
    // Sound up to the last whole two-second buffer before End.
    ASSERT_GT(audio.size() + 2 * kRate, static_cast<std::size_t>(positions[3]) * kSamplesPerTick);
    std::size_t from = 0;
    for (int change = 1; change <= 2; ++change) {
        const std::int64_t at = toneChange(audio, from, kToneHz[change - 1], kToneHz[change]);
        ASSERT_GE(at, 0) << "tone " << kToneHz[change] << " never heard";
        const double tick = static_cast<double>(at) / kSamplesPerTick;
        EXPECT_NEAR(static_cast<double>(positions[change]), tick, 1.0)
            << "Next " << change << " pressed at clock tick " << pressedAt[change - 1];
        // The tone itself, in the middle of its stretch.
        const std::size_t mid = static_cast<std::size_t>(at) + kRate;
        ASSERT_LT(mid + kRate / 2, audio.size());
        EXPECT_NEAR(frequencyOf(std::span(audio).subspan(mid, kRate / 2)), kToneHz[change],
                    kToneHz[change] / 50);
        from = static_cast<std::size_t>(at) + kRate / 2;
    }
    EXPECT_NEAR(frequencyOf(std::span(audio).subspan(kRate, kRate / 2)), kToneHz[0],
                kToneHz[0] / 50);

    // And a player takes it without complaint.
    const std::string log = dir_.file("ffmpeg.out");
    EXPECT_EQ(
        runProgram({"ffmpeg", "-v", "error", "-nostdin", "-i", avi, "-f", "null", "-"}, {}, log),
        0);
    EXPECT_EQ(readText(log), "");
}

}  // namespace
}  // namespace vorlix::testing
