#include "app/recorder_dialog.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "app/about_dialog.h"
#include "app/qt_lecture_view.h"
#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

using test::guiApp;

// Every control lies inside the window, none covers another, and every text has room.
void expectTidyLayout(QWidget& window) {
    const QRect inside(QPoint(0, 0), window.size());
    const auto children = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(children.empty());
    for (QWidget* a : children) {
        const std::string name = a->objectName().toStdString();
        EXPECT_TRUE(inside.contains(a->geometry())) << name;
        auto* label = qobject_cast<QLabel*>(a);
        if (qobject_cast<QPushButton*>(a) || (label && !label->text().isEmpty()))
            EXPECT_GE(a->width(), a->sizeHint().width()) << name;
        for (QWidget* b : children)
            EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                << name << " / " << b->objectName().toStdString();
    }
}

TEST(RecorderDialog, LayoutKeepsEveryControlWholeApartAndInOrder) {
    guiApp();
    RecorderDialog d;
    expectTidyLayout(d);
    AboutDialog about;
    expectTidyLayout(about);
    // Left to right: Start, End, clock, level, REC; previous left of next, buttons under previews.
    const std::pair<QWidget*, QWidget*> leftOf[] = {
        {d.startButton(), d.endButton()},       {d.endButton(), d.clockField()},
        {d.clockField(), d.levelField()},       {d.levelField(), d.recIndicator()},
        {d.previousPicture(), d.nextPicture()}, {d.previousButton(), d.nextButton()}};
    for (const auto& [left, right] : leftOf)
        EXPECT_LT(left->x(), right->x()) << right->objectName().toStdString();
    EXPECT_GT(d.previousButton()->y(), d.previousPicture()->geometry().bottom());
    const QFontMetrics fm(d.levelField()->font());  // the level field holds its longest text
    EXPECT_GT(d.levelField()->width(), fm.horizontalAdvance(qs(texts::kLevelTexts[0].text)));
}

// The remote's keys step only during a lecture; closing (Escape too) asks the guard first.
TEST(RecorderDialog, PresentationKeysAndCloseGuard) {
    guiApp();
    RecorderDialog d;
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    bool running = false;
    d.setStepKeysActive([&] { return running; });
    QSignalSpy next(&d, &RecorderDialog::nextRequested);
    QSignalSpy previous(&d, &RecorderDialog::previousRequested);
    const Qt::Key keys[] = {Qt::Key_PageDown, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_Left};
    for (Qt::Key k : keys) QTest::keyClick(d.startButton(), k);
    running = true;
    for (Qt::Key k : keys) QTest::keyClick(d.startButton(), k);
    EXPECT_EQ(next.count() * 10 + previous.count(), 22);  // two of each

    int asked = 0;
    bool allow = false;
    d.setCloseGuard([&] { return ++asked, allow; });
    QTest::keyClick(&d, Qt::Key_Escape);
    d.close();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(d.isVisible());
    allow = true;
    d.close();
    EXPECT_FALSE(d.isVisible());
}

TEST(QtLectureView, PreviewsStretchTheSlideOrFallBackToThePlaceholder) {
    guiApp();
    QTemporaryDir dir;
    const QString slide = dir.filePath(QStringLiteral("スライド1.bmp"));  // left red, right blue
    QImage image(640, 480, QImage::Format_RGB888);
    image.fill(Qt::red);
    QPainter(&image).fillRect(320, 0, 320, 480, Qt::blue);
    ASSERT_TRUE(image.save(slide, "BMP"));
    const QString broken = dir.filePath(QStringLiteral("スライド2.bmp"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("BM not really a bitmap") > 0);
    f.close();
    RecorderDialog d;
    QtLectureView view(d);
    const auto shown = [](QLabel* l) { return l->pixmap().toImage().convertToFormat(QImage::Format_RGB32); };
    const QImage placeholder =
        QImage(QStringLiteral(":/vorlix/placeholder-next.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(placeholder.isNull());
    view.showPreviews(utf8(slide), utf8(broken), "");
    const QImage main = d.mainPicture()->pixmap().toImage();
    ASSERT_EQ(main.size(), QSize(480, 360));
    EXPECT_EQ(main.pixelColor(10, 180), QColor(Qt::red));
    EXPECT_EQ(main.pixelColor(470, 180), QColor(Qt::blue));
    EXPECT_EQ(shown(d.nextPicture()), placeholder);
    EXPECT_EQ(d.previousPicture()->pixmap().toImage().pixelColor(120, 90), QColor(Qt::white));
}

TEST(QtLectureView, FieldsFollowTheViewTheClockFromAnyThread) {
    guiApp();
    RecorderDialog d;
    QtLectureView view(d);
    std::thread clock([&] { view.setClockText("00:01.5 sec"); });
    clock.join();
    EXPECT_TRUE(d.clockField()->text().isEmpty());  // queued, not written from the thread
    QTRY_COMPARE_WITH_TIMEOUT(d.clockField()->text(), QStringLiteral("00:01.5 sec"), 5000);
    view.setLevelText(std::string(texts::kLevelTexts[1].text));
    EXPECT_EQ(d.levelField()->text(), qs(texts::kLevelTexts[1].text));
    for (bool on : {true, false}) {
        view.setRecIndicator(on);
        view.setStartEnabled(!on);
        EXPECT_EQ(d.recIndicator()->isChecked(), on);
        EXPECT_EQ(d.startButton()->isEnabled(), !on);
    }
}

}  // namespace
}  // namespace vorlix
