// A whole lecture with nothing faked but the user: the program's own window and dialogues on an
// X server, the Qt microphone on a sound server of the test's own playing known tones, the real
// recorder, clock, timeline and conversion. One tone per slide, switched when Next is pressed, so
// the moment of every Next can be read off the recorded sound itself.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <set>

#include "app/codec_dialog.h"
#include "app/qt_text.h"
#include "app/recorder_app.h"
#include "app/recorder_dialog.h"
#include "resources/texts.h"
#include "tests/e2e/tones.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000, kRate = 44100, kSamplesPerTick = kRate / 2;
constexpr int kToneHz[] = {400, 1200, 2400};  // far enough apart to tell by zero crossings
constexpr std::uint32_t kSlideColours[] = {0xDC2828, 0x28B43C, 0x2850DC};

// Answers every modal dialogue the program opens, as a user would, and notes its messages.
class User : public QObject {
  public:
    std::string folder, savePath, codec;
    Log messages;
    User() {
        connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start(20);
    }

  private:
    void look() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || handled_.count(w) || qobject_cast<QProgressDialog*>(w) ||
            qobject_cast<RecorderDialog*>(w))
            return;
        handled_.insert(w);
        if (auto* files = qobject_cast<QFileDialog*>(w)) {
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(qs(files->acceptMode() == QFileDialog::AcceptSave ? savePath : folder));
            QTest::keyClick(name, Qt::Key_Return);
        } else if (auto* codecs = qobject_cast<CodecDialog*>(w)) {
            codecs->list()->setCurrentItem(codecs->list()->findItems(qs(codec), Qt::MatchExactly).value(0));
            QTest::keyClick(codecs->list(), Qt::Key_Return);
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            messages.push_back(utf8(box->text()));
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->button(QMessageBox::No)->click();
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
    return t.size() < 7 ? -1 : (t.mid(0, 2).toInt() * 60 + t.mid(3, 2).toInt()) * 2 + (t.mid(6, 1) == "5");
}

// The sample where the tone changes to `to` (the first 20-ms window nearer to it), after `from`.
std::int64_t toneChange(const Bytes& audio, std::size_t from, int before, int to) {
    constexpr std::size_t kWindow = kRate / 50;
    for (std::size_t at = from; at + kWindow <= audio.size(); at += kWindow / 4) {
        const int f = frequencyOf(std::span(audio).subspan(at, kWindow));
        if (std::abs(f - to) < std::abs(f - before)) return static_cast<std::int64_t>(at);
    }
    return -1;
}

TEST(LectureE2E, SlidesAndVoiceEndUpInStepInTheVideo) {
    ScratchDir dir;
    TempFolder temp(dir.path());  // the lecture's narration and timeline stay in the folder
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(makeTone(dir.file("tone" + std::to_string(i) + ".wav"), kToneHz[i], 60, "0.4"));
        QImage slide(640, 480, QImage::Format_RGB32);
        slide.fill(QColor::fromRgb(kSlideColours[i]));
        QPainter p(&slide);  // a title in the top band, clear of the centre read back
        p.setPen(Qt::white);
        p.setFont(QFont(p.font().family(), 36));
        p.drawText(QRect(0, 30, 640, 100), Qt::AlignCenter, QStringLiteral("第%1回  講義").arg(i + 1));
        p.end();
        ASSERT_TRUE(slide.save(qs(dir.file("スライド" + std::to_string(i + 1) + ".bmp")), "BMP"));
    }
    QProcess player;
    auto playTone = [&](int i) {  // the server's low latency makes the switch near-immediate
        player.kill();
        player.waitForFinished();
        player.start("paplay", {"--latency-msec=20", "--device=lecture", qs(dir.file("tone" + std::to_string(i) + ".wav"))});
    };
    User user;
    user.folder = dir.path().string();
    user.savePath = dir.file("lecture");  // the program adds ".avi"
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
        ASSERT_TRUE(user.messages.empty()) << user.messages.front();
        const Qt::Key keys[] = {Qt::Key_PageDown, Qt::Key_Right};  // Next by the remote's keys
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
                QProcess::execute("import", {"-window", "root", "-crop",
                                             QString::asprintf("%dx%d+%d+%d", g.width(), g.height(), g.x(), g.y()), shot});
            }
        }
        const int last = shownTicks(*d);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= last + 9; }, kTimeoutMs));
        QTest::mouseClick(d->endButton(), Qt::LeftButton);  // save, codec, done: all answered
        ASSERT_TRUE(QTest::qWaitFor([&] { return d->startButton()->isEnabled(); }, kTimeoutMs));
    });
    RecorderApp().run();
    player.kill();
    player.waitForFinished();

    ASSERT_EQ(user.messages, Log{std::string(texts::kConversionEnded)});
    ASSERT_EQ(pressedAt.size(), 2u);
    // The frames: slide 1 at 0, then each Next's slide, then the last slide again at the end.
    const AviRead f = readAvi(dir.file("lecture.avi"));
    const auto positions = f.positions(0);
    ASSERT_EQ(positions.size(), 4u);
    EXPECT_EQ(positions[0], 0);
    ASSERT_EQ(f.frames.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(f.pixel(i, 320, 240) >> shift & 0xFF, kSlideColours[std::min<std::size_t>(i, 2)] >> shift & 0xFF, 24)
                << "frame " << i;
    // The sound: every tone there, each slide change within one tick of the tone change the
    // test made when it pressed Next, and sound up to the last whole buffer before End.
    const Bytes& audio = f.audio;
    ASSERT_GT(audio.size() + 2 * kRate, static_cast<std::size_t>(positions[3]) * kSamplesPerTick);
    EXPECT_NEAR(frequencyOf(std::span(audio).subspan(kRate, kRate / 2)), kToneHz[0], kToneHz[0] / 50);
    std::size_t from = 0;
    for (int change = 1; change <= 2; ++change) {
        const std::int64_t at = toneChange(audio, from, kToneHz[change - 1], kToneHz[change]);
        ASSERT_GE(at, 0) << "tone " << kToneHz[change] << " never heard";
        EXPECT_NEAR(double(positions[change]), double(at) / kSamplesPerTick, 1.0)
            << "Next " << change << " pressed at clock tick " << pressedAt[change - 1];
        const std::size_t mid = static_cast<std::size_t>(at) + kRate;  // the tone itself
        ASSERT_LT(mid + kRate / 2, audio.size());
        EXPECT_NEAR(frequencyOf(std::span(audio).subspan(mid, kRate / 2)), kToneHz[change], kToneHz[change] / 50);
        from = static_cast<std::size_t>(at) + kRate / 2;
    }
    // And a player takes it without complaint.
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-nostdin", "-i", qs(dir.file("lecture.avi")), "-f", "null", "-"});
    ASSERT_TRUE(ffmpeg.waitForFinished(kTimeoutMs));
    EXPECT_EQ(ffmpeg.exitCode(), 0);
    EXPECT_EQ(ffmpeg.readAllStandardError(), QByteArray());
}

}  // namespace
}  // namespace vorlix::testing
