// The previews are read ahead, off the window's thread: Next shows prepared pictures at once,
// and a file that never answers leaves its placeholder without holding up the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QLabel>
#include <QTest>
#include <atomic>

#include "app/qt_lecture_view.h"
#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "lecture/slide_timeline.h"
#include "tests/gui/gui_app.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

const QColor kColours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};

QColor middle(QLabel* label) {
    const QImage image = label->pixmap().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

std::string slide(const testing::ScratchDir& dir, int n) {
    const std::string path = dir.file("スライド" + std::to_string(n) + ".bmp");
    QImage image(320, 240, QImage::Format_RGB888);
    image.fill(kColours[n - 1]);
    EXPECT_TRUE(image.save(qs(path), "BMP"));
    return path;
}

TEST(Previews, NextShowsThePreparedNeighboursAtOnce) {
    test::guiApp();
    const testing::ScratchDir dir;
    std::vector<std::string> paths;
    for (int n = 1; n <= 5; ++n) paths.push_back(slide(dir, n));
    RecorderDialog d;
    QtLectureView view(d);
    testing::FakePrompts prompts;
    const std::atomic<std::int32_t> clock{0};
    LectureState lecture(view, prompts, clock);
    lecture.slides().assign(paths);
    lecture.openTimeline();  // slide 1 on screen; slide 3 is two steps ahead
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isPrepared(paths[2]); }, 5000));
    for (int step = 1; step <= 3; ++step) {
        // No event is served between the step and the check: what shows was ready before.
        lecture.next();
        SCOPED_TRACE(step);
        EXPECT_EQ(middle(d.mainPicture()), kColours[step]);
        EXPECT_EQ(middle(d.nextPicture()), kColours[std::min(step + 1, 4)]);
        EXPECT_EQ(middle(d.previousPicture()), kColours[step - 1]);
        const std::string& ahead = paths[static_cast<std::size_t>(std::min(step + 2, 4))];
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.isPrepared(ahead); }, 5000));
    }
}

TEST(Previews, AFileThatNeverAnswersShowsThePlaceholder) {
    test::guiApp();
    const testing::ScratchDir dir;
    const std::string good = slide(dir, 2);
    // A pipe with no writer: opening it for reading waits for ever.
    const std::string stuck = dir.file("スライド1.bmp");
    ASSERT_EQ(::mkfifo(stuck.c_str(), 0600), 0);
    RecorderDialog d;
    QtLectureView view(d);
    const QImage placeholder = d.mainPicture()->pixmap().toImage();
    view.showPreviews(stuck, good, stuck);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isPrepared(good); }, 5000));
    EXPECT_EQ(middle(d.nextPicture()), kColours[1]);
    EXPECT_EQ(d.mainPicture()->pixmap().toImage(), placeholder);
    // Let the reader go: a writer that opens and closes gives it an empty file.
    const int fd = ::open(stuck.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ::close(fd);
}

}  // namespace
}  // namespace vorlix
