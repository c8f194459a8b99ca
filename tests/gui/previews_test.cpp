// The previews are read ahead, off the window's thread: Next shows prepared pictures at once,
// and a file that never answers leaves its placeholder without holding up the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLabel>
#include <QTest>

#include "app/qt_lecture_view.h"
#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "lecture/slide_timeline.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

const std::uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF};

struct Previews : ::testing::Test {
    static void SetUpTestSuite() {  // unless the window's tests made it already
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("gui_tests"), nullptr};
        if (!qApp) initResources(), new QApplication(argc, argv);
    }
    std::string slide(int n) {
        const std::string path = dir.file("スライド" + std::to_string(n) + ".bmp");
        writeFile(path, bmpOf(320, 240, [n](int, int) { return kColours[n - 1]; }));
        return path;
    }
    static std::uint32_t middle(QLabel* label) {
        const QImage image = label->pixmap().toImage();
        return image.pixel(image.width() / 2, image.height() / 2) & 0xFFFFFF;
    }
    ScratchDir dir;
    RecorderDialog d;
    QtLectureView view{d};
};

TEST_F(Previews, NextShowsThePreparedNeighboursAtOnce) {
    std::vector<std::string> paths;
    for (int n = 1; n <= 5; ++n) paths.push_back(slide(n));
    FakePrompts prompts;
    const std::atomic<std::int32_t> clock{0};
    LectureState lecture(view, prompts, clock);
    lecture.slides().assign(paths);
    lecture.openTimeline();  // slide 1 on screen; slide 3 is two steps ahead, read already
    for (int step = 1; step <= 3; ++step) {
        // The three pictures the step will show; two workers may finish them in any order.
        const auto& before = paths[std::size_t(step - 1)];
        const auto& now = paths[std::size_t(step)];
        const auto& ahead = paths[std::size_t(std::min(step + 1, 4))];
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return view.isPrepared(before) && view.isPrepared(now) && view.isPrepared(ahead); },
            5000));
        lecture.next();  // no event served between the step and the check: it was ready before
        EXPECT_EQ(std::tuple(middle(d.mainPicture()), middle(d.nextPicture()),
                             middle(d.previousPicture())),
                  std::tuple(kColours[step], kColours[std::min(step + 1, 4)], kColours[step - 1]))
            << step;
    }
}

TEST_F(Previews, AFileThatNeverAnswersShowsThePlaceholder) {
    const std::string good = slide(2), stuck = dir.file("スライド1.bmp");
    ASSERT_EQ(::mkfifo(stuck.c_str(), 0600), 0);  // no writer: opening it waits for ever
    const QImage placeholder = d.mainPicture()->pixmap().toImage();
    view.showPreviews(stuck, good, stuck);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isPrepared(good); }, 5000));
    EXPECT_EQ(middle(d.nextPicture()), kColours[1]);
    EXPECT_EQ(d.mainPicture()->pixmap().toImage(), placeholder);
    ::close(::open(stuck.c_str(), O_RDWR));  // lets the reader go with an empty file
}

}  // namespace
}  // namespace vorlix::testing
