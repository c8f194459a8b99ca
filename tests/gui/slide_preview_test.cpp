// The window's side of exported slides: previews turned by a JPEG's EXIF orientation and laid
// over white, and the slide folder remembered from one run to the next.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/qt_text.h"
#include "app/qt_user_prompts.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/support/exif_jpeg.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

TEST(SlidePreview, TurnedByEXIFAndLaidOverWhite) {
    test::guiApp();
    testing::ScratchDir dir;
    // Left half red, right half blue: turned right by its EXIF mark, red comes to the top.
    QImage halves(64, 48, QImage::Format_RGB32), clear(64, 48, QImage::Format_ARGB32);
    halves.fill(Qt::blue);
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 48; ++y) halves.setPixelColor(x, y, Qt::red);
    clear.fill(Qt::transparent);
    const std::string plain = dir.file("a.jpg"), turned = dir.file("b.jpg"),
                      png = dir.file("c.png");
    ASSERT_TRUE(halves.save(qs(plain), "JPG", 95) && clear.save(qs(png), "PNG"));
    ASSERT_TRUE(testing::writeFile(turned, testing::withOrientation(testing::readBytes(plain), 6)));
    const QImage placeholder(240, 180, QImage::Format_RGB32);
    const auto topRight = [&](const std::string& path) {
        return QtLectureView::previewImage(path, placeholder).pixelColor(180, 45);
    };
    EXPECT_GT(topRight(plain).blue(), 200);
    EXPECT_GT(topRight(turned).red(), 200);
    EXPECT_EQ(topRight(png), QColor(Qt::white));
}

TEST(SlideFolderMemory, TheDialogueOpensAtTheLastFolder) {
    test::guiApp();
    QTemporaryDir config, slides;
    ::setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);  // not the user's own
    QString openedAt;
    const auto answer = [&](bool choose) {
        QTimer::singleShot(50, [&, choose] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            openedAt = d->directory().absolutePath();
            if (!choose) return d->reject();
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(slides.path());
            QTest::keyClick(name, Qt::Key_Return);
        });
    };
    answer(true);
    EXPECT_EQ(QtUserPrompts(nullptr).chooseFolder(texts::kChooseSlideFolder), utf8(slides.path()));
    EXPECT_NE(openedAt, slides.path());
    answer(false);  // the next run: a new window, the same settings
    EXPECT_EQ(QtUserPrompts(nullptr).chooseFolder(texts::kChooseSlideFolder), std::nullopt);
    EXPECT_EQ(openedAt, slides.path());
}

}  // namespace
}  // namespace vorlix
