// The window's side of exported slides: previews turned by a JPEG's EXIF orientation and laid
// over white, and the slide folder remembered from one run to the next.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/preview_loader.h"
#include "app/qt_text.h"
#include "app/qt_user_prompts.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

TEST(SlidePreview, TurnedByEXIFAndLaidOverWhite) {
    test::guiApp();
    testing::ScratchDir dir;
    // Left half red, right half blue; turned right by its EXIF mark, red comes to the top.
    QImage halves(64, 48, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 32; ++x) halves.setPixelColor(x, y, Qt::red);
    const std::string plain = dir.file("plain.jpg"), turned = dir.file("turned.jpg");
    ASSERT_TRUE(halves.save(qs(plain), "JPG", 95));
    auto jpeg = testing::readBytes(plain);
    const std::vector<std::uint8_t> app1 = {
        0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
        0,    1,    0x01, 0x12, 0,   3,   0,   0,   0, 1, 0,   6,   0, 0,  0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    ASSERT_TRUE(testing::writeFile(turned, jpeg));
    QImage clear(64, 48, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const std::string transparent = dir.file("clear.png");
    ASSERT_TRUE(clear.save(qs(transparent), "PNG"));

    const auto preview = [](const std::string& path) {
        return PreviewLoader::prepare(path, QSize(240, 180), QSize(120, 90)).main;
    };
    const QPoint topRight(180, 45);
    EXPECT_GT(preview(plain).pixelColor(topRight).blue(), 200);
    const QColor top = preview(turned).pixelColor(topRight);
    EXPECT_GT(top.red(), 200);
    EXPECT_LT(top.blue(), 60);
    EXPECT_EQ(preview(transparent).pixelColor(topRight), QColor(Qt::white));
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
