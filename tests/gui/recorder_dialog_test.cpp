#include "app/recorder_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>
#include <thread>

#include "app/about_dialog.h"
#include "app/qt_lecture_view.h"
#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

using test::guiApp;

std::vector<QWidget*> directChildren(QWidget& parent) {
    std::vector<QWidget*> out;
    for (QWidget* w : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) out.push_back(w);
    return out;
}

// Every control lies inside the window, none covers another, and every text has room.
void expectTidyLayout(QWidget& window) {
    const QRect inside(QPoint(0, 0), window.size());
    const auto children = directChildren(window);
    ASSERT_FALSE(children.empty());
    for (QWidget* a : children) {
        EXPECT_TRUE(inside.contains(a->geometry())) << a->objectName().toStdString();
        if (auto* b = qobject_cast<QPushButton*>(a)) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << a->objectName().toStdString();
        }
        if (auto* l = qobject_cast<QLabel*>(a); l && !l->text().isEmpty()) {
            EXPECT_GE(l->width(), l->sizeHint().width()) << a->objectName().toStdString();
        }
        for (QWidget* b : children) {
            if (a == b) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " / " << b->objectName().toStdString();
        }
    }
}

TEST(RecorderDialog, ControlsCarryTheirTextsAndState) {
    guiApp();
    RecorderDialog d;
    EXPECT_EQ(d.windowTitle(), qs(texts::kWindowCaption));
    EXPECT_EQ(d.startButton()->text(), qs(texts::kStartButton));
    EXPECT_TRUE(d.startButton()->isDefault());
    EXPECT_EQ(d.endButton()->text(), qs(texts::kEndButton));
    EXPECT_EQ(d.previousButton()->text(), qs(texts::kPreviousButton));
    EXPECT_EQ(d.nextButton()->text(), qs(texts::kNextButton));
    EXPECT_TRUE(d.clockField()->isReadOnly());
    EXPECT_TRUE(d.levelField()->isReadOnly());
    EXPECT_EQ(d.recIndicator()->text(), qs(texts::kRecIndicator));
    EXPECT_FALSE(d.recIndicator()->isEnabled());
    EXPECT_FALSE(d.windowIcon().isNull());
    EXPECT_EQ(d.mainPicture()->size(), QSize(480, 360));
    EXPECT_EQ(d.nextPicture()->size(), QSize(240, 180));
    EXPECT_EQ(d.previousPicture()->size(), QSize(240, 180));
}

TEST(RecorderDialog, LayoutKeepsEveryControlWholeAndApart) {
    guiApp();
    RecorderDialog d;
    expectTidyLayout(d);
    // The places of the layout: Start left of End, the previous preview left of the next one,
    // the buttons under the previews.
    EXPECT_LT(d.startButton()->x(), d.endButton()->x());
    EXPECT_LT(d.endButton()->x(), d.clockField()->x());
    EXPECT_LT(d.clockField()->x(), d.levelField()->x());
    EXPECT_LT(d.levelField()->x(), d.recIndicator()->x());
    EXPECT_LT(d.previousPicture()->x(), d.nextPicture()->x());
    EXPECT_GT(d.previousButton()->y(), d.previousPicture()->geometry().bottom());
    EXPECT_LT(d.previousButton()->x(), d.nextButton()->x());
    // The level field holds its longest text.
    const QFontMetrics fm(d.levelField()->font());
    EXPECT_GT(d.levelField()->width(), fm.horizontalAdvance(qs(texts::kLevelTexts[0].text)));
}

TEST(RecorderDialog, AboutBoxIsWholeAndTidy) {
    guiApp();
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), qs(texts::kAboutCaption));
    QStringList texts;
    for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
    EXPECT_TRUE(texts.contains(qs(texts::kAboutVersion)));
    EXPECT_TRUE(texts.contains(qs(texts::kAboutSecondLine)));
    expectTidyLayout(about);
}

TEST(RecorderDialog, PresentationKeysStepOnlyDuringALecture) {
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
    EXPECT_EQ(next.count(), 0);
    EXPECT_EQ(previous.count(), 0);
    running = true;
    for (Qt::Key k : keys) QTest::keyClick(d.startButton(), k);
    EXPECT_EQ(next.count(), 2);
    EXPECT_EQ(previous.count(), 2);
}

TEST(RecorderDialog, CloseAsksTheGuardFirst) {
    guiApp();
    RecorderDialog d;
    d.show();
    int asked = 0;
    bool allow = false;
    d.setCloseGuard([&] {
        ++asked;
        return allow;
    });
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(d.isVisible());
    d.close();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(d.isVisible());
    allow = true;
    d.close();
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(d.isVisible());
}

// A 4:3 slide in two colours: left half red, right half blue.
QString writeSlide(const QTemporaryDir& dir, const QString& name) {
    QImage slide(640, 480, QImage::Format_RGB888);
    slide.fill(Qt::red);
    for (int y = 0; y < slide.height(); ++y)
        for (int x = slide.width() / 2; x < slide.width(); ++x) slide.setPixelColor(x, y, Qt::blue);
    const QString path = dir.filePath(name);
    EXPECT_TRUE(slide.save(path, "BMP"));
    return path;
}

TEST(QtLectureView, PreviewsStretchTheSlideOrFallBackToThePlaceholder) {
    guiApp();
    QTemporaryDir dir;
    const QString slide = writeSlide(dir, QStringLiteral("スライド1.bmp"));
    const QString broken = dir.filePath(QStringLiteral("スライド2.bmp"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM not really a bitmap");
    }
    RecorderDialog d;
    QtLectureView view(d);
    const QImage placeholderMain(QStringLiteral(":/vorlix/placeholder-main.png"));
    const QImage placeholderNext(QStringLiteral(":/vorlix/placeholder-next.png"));
    ASSERT_FALSE(placeholderMain.isNull());
    EXPECT_EQ(d.mainPicture()->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              placeholderMain.convertToFormat(QImage::Format_RGB32));

    view.showPreviews(utf8(slide), utf8(broken), "");
    const QImage main = d.mainPicture()->pixmap().toImage();
    ASSERT_EQ(main.size(), QSize(480, 360));
    EXPECT_EQ(main.pixelColor(10, 180), QColor(Qt::red));
    EXPECT_EQ(main.pixelColor(470, 180), QColor(Qt::blue));
    EXPECT_EQ(d.nextPicture()->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              placeholderNext.convertToFormat(QImage::Format_RGB32));
    const QImage previous = d.previousPicture()->pixmap().toImage();
    EXPECT_EQ(previous.size(), QSize(240, 180));
    EXPECT_EQ(previous.pixelColor(120, 90), QColor(Qt::white));  // the placeholder's background
}

TEST(QtLectureView, ClockTextFromAnotherThreadArrivesOnTheWindowsThread) {
    guiApp();
    RecorderDialog d;
    QtLectureView view(d);
    std::thread clock([&] { view.setClockText("00:01.5 sec"); });
    clock.join();
    EXPECT_TRUE(d.clockField()->text().isEmpty());  // queued, not written from the thread
    QTRY_COMPARE_WITH_TIMEOUT(d.clockField()->text(), QStringLiteral("00:01.5 sec"), 5000);
}

TEST(QtLectureView, FieldsAndStartButtonFollowTheView) {
    guiApp();
    RecorderDialog d;
    QtLectureView view(d);
    view.setLevelText(std::string(texts::kLevelTexts[1].text));
    view.setRecIndicator(true);
    view.setStartEnabled(false);
    EXPECT_EQ(d.levelField()->text(), qs(texts::kLevelTexts[1].text));
    EXPECT_TRUE(d.recIndicator()->isChecked());
    EXPECT_FALSE(d.startButton()->isEnabled());
    view.setRecIndicator(false);
    view.setStartEnabled(true);
    EXPECT_FALSE(d.recIndicator()->isChecked());
    EXPECT_TRUE(d.startButton()->isEnabled());
}

}  // namespace
}  // namespace vorlix
