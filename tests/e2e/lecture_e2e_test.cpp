// A whole lecture with nothing faked but the user: the program's own window and dialogues on an
// X server, the Qt microphone on a sound server of the test's own playing known tones, the real
// recorder, clock, timeline and conversion, over a PDF deck. One tone per slide, switched when Next
// is pressed, so the moment of every Next can be read off the recorded sound itself.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
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
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

constexpr int kTimeoutMs = 30000, kRate = 44100, kSamplesPerTick = kRate / 2;
constexpr int kToneHz[] = {400, 1200, 2400};  // far enough apart to tell by zero crossings
constexpr std::uint32_t kSlideColours[] = {0xDC2828, 0x28B43C, 0x2850DC};

// Where the recorded 8-bit sound crosses its zero line (128) upwards, with a margin against
// quantisation noise; the frequency of a stretch from them.
std::vector<std::size_t> upwardCrossings(std::span<const std::uint8_t> samples) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0, low = 0; i < samples.size(); ++i) {
        if (samples[i] < 128 - 6)
            low = 1;
        else if (samples[i] > 128 + 6 && low)
            low = 0, at.push_back(i);
    }
    return at;
}
int frequencyOf(std::span<const std::uint8_t> s) {
    return static_cast<int>(upwardCrossings(s).size() * kRate / s.size());
}

// Answers the program's dialogues (the folder, "lecture" in it, Motion JPEG, OK); notes messages.
struct User : QObject {
    QString folder;
    Log messages;
    QTimer timer;
    std::set<QWidget*> seen;
    User() {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !seen.insert(w).second || qobject_cast<QProgressDialog*>(w)) return;
            if (auto* files = qobject_cast<QFileDialog*>(w)) {
                auto* name = files->findChild<QLineEdit*>("fileNameEdit");
                name->setText(files->acceptMode() == QFileDialog::AcceptSave ? folder + "/lecture"
                                                                             : folder);
                QTest::keyClick(name, Qt::Key_Return);
            } else if (auto* codecs = qobject_cast<CodecDialog*>(w)) {
                codecs->list()->setCurrentItem(
                    codecs->list()->findItems(qs(texts::kCodecMjpeg), Qt::MatchExactly)[0]);
                QTest::keyClick(codecs->list(), Qt::Key_Return);
            } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                messages.push_back(utf8(box->text()));
                box->accept();
            }
        });
        timer.start(20);
    }
};

// Ticks shown by the clock field, "mm:ss.t sec".
int shownTicks(const RecorderDialog& d) {
    const QString t = d.clockField()->text() + "00:00.0";
    return (t.mid(0, 2).toInt() * 60 + t.mid(3, 2).toInt()) * 2 + (t.mid(6, 1) == "5");
}

TEST(LectureE2E, SlidesAndVoiceEndUpInStepInTheVideo) {
    ScratchDir dir;
    TempFolder temp(dir.path());  // the lecture's narration and timeline stay in the folder
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(std::system(("sox -n -r 44100 -c 1 -b 16 " +
                               dir.file("tone" + std::to_string(i) + ".wav") + " synth 60 sine " +
                               std::to_string(kToneHz[i]) + " vol 0.4")
                                  .c_str()),
                  0);
    }
    {  // the slides as a PDF deck, as most teachers have them: drawn into slide files at Start
        QPdfWriter deck(qs(dir.file("講義.pdf")));
        deck.setPageSize(QPageSize(QSizeF(640, 480), QPageSize::Point));
        deck.setPageMargins(QMarginsF());
        deck.setResolution(72);  // painter units are points
        QPainter page(&deck);
        for (int i = 0; i < 3; ++i) {
            if (i) deck.newPage();
            page.fillRect(page.window(), QColor::fromRgb(kSlideColours[i]));
            page.drawText(QRect(0, 30, 640, 100), Qt::AlignCenter, QString("第%1回 講義").arg(i + 1));
        }
    }
    QProcess player;
    auto playTone = [&](int i) {  // the server's low latency makes the switch near-immediate
        player.kill(), player.waitForFinished();
        player.start("paplay", {"--latency-msec=20", "--device=lecture",
                                qs(dir.file("tone" + std::to_string(i) + ".wav"))});
    };
    User user;  // the program adds ".avi" to the name
    user.folder = qs(dir.path().string());
    QTimer::singleShot(0, [&] {
        RecorderDialog* d = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            d = d ? d : qobject_cast<RecorderDialog*>(w);
        ASSERT_TRUE(d && QTest::qWaitForWindowExposed(d));
        const auto finish = qScopeGuard([d] { d->close(); });
        playTone(0);
        QTest::mouseClick(d->startButton(), Qt::LeftButton);  // the folder dialogue answers
        ASSERT_TRUE(user.messages.empty()) << user.messages.front();
        for (int step = 0; step < 2; ++step) {  // Next by the remote's keys, after 3.5 s or more
            const int from = shownTicks(*d);
            ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= from + 7; }, kTimeoutMs));
            playTone(step + 1);
            d->activateWindow();
            QTest::keyClick(d, step ? Qt::Key_Right : Qt::Key_PageDown);
        }
        const int last = shownTicks(*d);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= last + 9; }, kTimeoutMs));
        QTest::mouseClick(d->endButton(), Qt::LeftButton);  // save, codec, done: all answered
        ASSERT_TRUE(QTest::qWaitFor([&] { return d->startButton()->isEnabled(); }, kTimeoutMs));
    });
    RecorderApp().run();
    player.kill(), player.waitForFinished();

    ASSERT_EQ(user.messages, Log{std::string(texts::kConversionEnded)});
    // The frames: slide 1 at 0, then each Next's slide, then the last slide again at the end.
    const AviRead f = readAvi(dir.file("lecture.avi"));
    const auto positions = f.positions(0);
    ASSERT_EQ(std::tuple(positions.size(), positions[0], f.frames.size()), std::tuple(4u, 0, 4u));
    for (std::size_t i = 0; i < 4; ++i)
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(f.pixel(i, 320, 240) >> shift & 0xFF,
                        kSlideColours[std::min<std::size_t>(i, 2)] >> shift & 0xFF, 24)
                << i;
    // The sound: up to the last whole buffer before End.
    const Bytes& audio = f.audio;
    ASSERT_GT(audio.size() + 2 * kRate, static_cast<std::size_t>(positions[3]) * kSamplesPerTick);
    // The buffers are assembled from small chunks: a chunk lost, doubled or put out of order
    // breaks the tone's period, also across the joins. A rare glitch of the server is tolerated.
    const auto crossings = upwardCrossings(
        std::span(audio).subspan(kRate, positions[1] * kSamplesPerTick - 2 * kRate));
    int broken = 0;
    for (std::size_t i = 1; i < crossings.size(); ++i)
        broken +=
            std::abs(double(crossings[i] - crossings[i - 1]) - double(kRate) / kToneHz[0]) > 2;
    EXPECT_LE(broken, 8) << "of " << crossings.size() << " periods";
    // Each slide change within one tick of the tone change the test made when it pressed Next.
    std::size_t at = 0;
    for (int change = 1; change <= 2; ++change) {
        const auto near = [&](std::size_t a, int hz) {
            return std::abs(frequencyOf(std::span(audio).subspan(a, kRate / 50)) - hz);
        };
        while (at + kRate / 50 <= audio.size() &&
               near(at, kToneHz[change]) >= near(at, kToneHz[change - 1]))
            at += kRate / 200;
        ASSERT_LT(at + kRate + kRate / 2, audio.size())
            << "tone " << kToneHz[change] << " never heard";
        EXPECT_NEAR(double(positions[change]), double(at) / kSamplesPerTick, 1.0) << change;
        at += kRate / 2;
    }
}

}  // namespace
}  // namespace vorlix::testing
