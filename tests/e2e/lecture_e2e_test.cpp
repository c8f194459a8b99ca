// A whole lecture with nothing faked but the user: the program's own window and dialogues on an
// X server, the Qt microphone on a sound server of the test's own playing known tones, the real
// recorder, clock, timeline and conversion, over a PDF deck. One tone per slide, switched when Next
// is pressed, so the moment of every Next can be read off the recorded sound itself. Saved once as
// the AVI and once as the web video (MP4), each through the save dialogue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <atomic>
#include <cmath>
#include <optional>
#include <set>
#include <thread>

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
int frequencyOf(std::span<const std::uint8_t> s, int rate) {
    return static_cast<int>(upwardCrossings(s).size() * rate / s.size());
}

// The test's voice: a tone fed to the sound server as it plays (at a high rate through the
// smallest pipe, so little of it waits on the way), changed the moment the test says.
struct Voice {
    std::atomic<int> hz = kToneHz[0];
    std::FILE* pipe = popen(
        "exec paplay --raw --format=s16le --rate=176400 --channels=1 "
        "--latency-msec=10 --device=lecture",
        "w");
    std::jthread feed{[this](std::stop_token stop) {
        ::fcntl(fileno(pipe), F_SETPIPE_SZ, 4096);
        std::array<std::int16_t, 256> block;
        for (double phase = 0; !stop.stop_requested();) {
            for (std::int16_t& s : block)
                s = static_cast<std::int16_t>(0.4 * 32767 * std::sin(phase)),
                phase = std::fmod(phase + 2 * M_PI * hz / 176400, 2 * M_PI);
            if (::write(fileno(pipe), block.data(), sizeof block) != sizeof block) break;
        }
    }};
    ~Voice() { feed.request_stop(), feed.join(), pclose(pipe); }
};

// Answers the program's dialogues (the folder, "lecture" in it, the kind, Motion JPEG, OK);
// notes messages.
struct User : QObject {
    QString folder;
    bool mp4 = false;
    Log messages;
    QTimer timer;
    std::set<QWidget*> seen;
    User() {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !seen.insert(w).second || qobject_cast<QProgressDialog*>(w)) return;
            if (auto* files = qobject_cast<QFileDialog*>(w)) {
                auto* name = files->findChild<QLineEdit*>("fileNameEdit");
                if (mp4)  // the second kind, picked from the list of kinds by key
                    QTest::keyClick(files->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
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

class LectureE2E : public ::testing::TestWithParam<bool> {};  // true: the MP4
INSTANTIATE_TEST_SUITE_P(Kinds, LectureE2E, ::testing::Values(false, true));

TEST_P(LectureE2E, SlidesAndVoiceEndUpInStepInTheVideo) {
    const bool mp4 = GetParam();
    ScratchDir dir;
    TempFolder temp(dir.path());  // the lecture's narration and timeline stay in the folder
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
    std::optional<Voice> voice;
    User user;  // the program adds ".avi" or ".mp4" to the name
    user.folder = qs(dir.path().string());
    user.mp4 = mp4;
    QTimer::singleShot(0, [&] {
        RecorderDialog* d = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            d = d ? d : qobject_cast<RecorderDialog*>(w);
        ASSERT_TRUE(d && QTest::qWaitForWindowExposed(d));
        const auto finish = qScopeGuard([d] { d->close(); });
        voice.emplace();
        QTest::mouseClick(d->startButton(), Qt::LeftButton);  // the folder dialogue answers
        ASSERT_TRUE(user.messages.empty()) << user.messages.front();
        for (int step = 0; step < 2; ++step) {  // Next by the remote's keys, after 3.5 s or more
            const int from = shownTicks(*d);
            ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= from + 7; }, kTimeoutMs));
            d->activateWindow();
            voice->hz = kToneHz[step + 1];
            QTest::keyClick(d, step ? Qt::Key_Right : Qt::Key_PageDown);
        }
        const int last = shownTicks(*d);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownTicks(*d) >= last + 9; }, kTimeoutMs));
        QTest::mouseClick(d->endButton(), Qt::LeftButton);  // save, codec, done: all answered
        ASSERT_TRUE(QTest::qWaitFor([&] { return d->startButton()->isEnabled(); }, kTimeoutMs));
    });
    RecorderApp().run();
    voice.reset();

    const std::string video = dir.file(mp4 ? "lecture.mp4" : "lecture.avi");
    std::string done = std::string(texts::kConversionEnded) + "\n動画: " + video;  // names the file
    if (mp4) {
        done.resize(4096);
        done.resize(std::snprintf(done.data(), done.size(), texts::kMp4WrittenFormat, video.c_str(),
                                  dir.file("lecture.chapters.vtt").c_str()));
    }
    ASSERT_EQ(user.messages, Log{done});
    // The frames: slide 1 at 0, then each Next's slide (in the AVI the last slide again at End).
    const AviRead f = readAvi(video);
    std::vector<double> shown;
    int rate = 0;
    for (const AviRead::Packet& p : f.packets)
        if (f.streams[p.stream].type == AVMEDIA_TYPE_VIDEO) shown.push_back(p.key ? p.time : -1);
    for (const AviRead::Stream& s : f.streams)
        if (s.type == AVMEDIA_TYPE_AUDIO) rate = s.rate;
    ASSERT_EQ(std::tuple(shown.size(), shown[0], f.frames.size()),
              mp4 ? std::tuple(3u, 0.0, 3u) : std::tuple(4u, 0.0, 4u));
    for (std::size_t i = 0; i < f.frames.size(); ++i)
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(f.pixel(i, f.width / 2, f.height / 2) >> shift & 0xFF,
                        kSlideColours[std::min<std::size_t>(i, 2)] >> shift & 0xFF, 24)
                << i;
    const Bytes& audio = f.audio;
    if (!mp4) {
        // The sound: up to the last whole buffer before End.
        const auto positions = f.positions(0);
        ASSERT_GT(audio.size() + 2 * kRate,
                  static_cast<std::size_t>(positions[3]) * kSamplesPerTick);
        // The buffers are assembled from small chunks: a chunk lost, doubled or put out of order
        // breaks the tone's period, also across the joins. A rare glitch of the server is
        // tolerated.
        const auto crossings = upwardCrossings(
            std::span(audio).subspan(kRate, positions[1] * kSamplesPerTick - 2 * kRate));
        int broken = 0;
        for (std::size_t i = 1; i < crossings.size(); ++i)
            broken +=
                std::abs(double(crossings[i] - crossings[i - 1]) - double(kRate) / kToneHz[0]) > 2;
        EXPECT_LE(broken, 8) << "of " << crossings.size() << " periods";
    } else {
        ASSERT_EQ(f.chapters.size(), 3u);
    }
    // Each slide change near the tone change the test made when it pressed Next: within one tick
    // in the AVI, within 50 ms in the MP4 (key frame and chapter), measured on the video's sound.
    const double within = mp4 ? 0.05 : 0.5;
    const std::size_t window = rate / 50;
    std::size_t at = 0;
    for (int change = 1; change <= 2; ++change) {
        const auto near = [&](std::size_t a, int hz) {
            return std::abs(frequencyOf(std::span(audio).subspan(a, window), rate) - hz);
        };
        while (at + window <= audio.size() &&
               near(at, kToneHz[change]) >= near(at, kToneHz[change - 1]))
            at += rate / 200;
        ASSERT_LT(at + rate + rate / 2, audio.size())
            << "tone " << kToneHz[change] << " never heard";
        const double heard = double(at + window / 2) / rate;  // the new tone fills most of it
        EXPECT_NEAR(shown[change], heard, within) << change;
        if (mp4) { EXPECT_NEAR(f.chapters[change], heard, within) << change; }
        at += rate / 2;
    }
}

}  // namespace
}  // namespace vorlix::testing
