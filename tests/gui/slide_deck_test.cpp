// Exported slides in the window: a PDF deck drawn at Start into slide files and found again in
// the frames of the video, and the slide folder remembered from one run to the next.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/lecture_window.h"
#include "app/qt_text.h"
#include "app/qt_user_prompts.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"
#include "video/pdf_slides.h"
#include "video/slide_picture.h"

namespace vorlix {
namespace {

void guiApp() {  // the lecture window's test may have made it already
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("gui_tests"), nullptr};
    if (qApp == nullptr) initResources(), new QApplication(argc, argv);
}

// A deck written by hand, its cross-reference exact: pages {width, height, 0xRRGGBB, rotate}
// in their colour with a black bar a tenth wide along the left edge and a black corner cut off
// at the bottom right.
std::string pdfDeck(const std::vector<std::array<int, 4>>& pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids, pdf = "%PDF-1.4\n", xref;
    char content[256], page[200];
    for (const auto& [w, h, rgb, rotate] : pages) {
        kids += std::to_string(objects.size() + 1) + " 0 R ";
        const int n = std::snprintf(content, sizeof content, "%.3f %.3f %.3f rg 0 0 %d %d re f 0 g 0 0 %d %d re f %d 0 m %d 0 l %d %d l f",
                                    (rgb >> 16) / 255.0, (rgb >> 8 & 255) / 255.0, (rgb & 255) / 255.0, w, h, w / 10, h,
                                    w * 4 / 5, w, w, h / 5);
        std::snprintf(page, sizeof page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Rotate %d /Contents %zu 0 R >>",
                      w, h, rotate, objects.size() + 2);
        objects.insert(objects.end(), {page, "<< /Length " + std::to_string(n) + " >>\nstream\n" + content + "\nendstream"});
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        std::snprintf(page, sizeof page, "%010zu 00000 n \n", pdf.size());
        xref += page, pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + size +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
}

TEST(SlideDeck, PdfPagesBecomeTheSlidesOfTheVideo) {
    guiApp();
    testing::ScratchDir dir;
    testing::TempFolder temp{dir.path()};
    testing::FakePrompts prompts;
    testing::ScriptedDevice device;
    LectureWindow window{prompts, device};
    std::filesystem::create_directories(dir.path() / "deck");
    testing::writeFile(dir.file("deck/lecture.pdf"),  // the last page portrait, turned
                       pdfDeck({{960, 540, 0xFF0000, 0}, {960, 540, 0x00A000, 0}, {540, 960, 0x0000FF, 90}}));
    prompts.folder = dir.file("deck");
    std::vector<std::int64_t> progress;
    window.controller().setSlidePreparationProgress(
        [&](std::int64_t done, std::int64_t total) { progress.push_back(done * 10 + total); }, [] {});
    RecorderDialog& d = window.dialog();
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    ASSERT_TRUE(window.controller().lectureRunning()) << (prompts.log.empty() ? "" : prompts.log[0]);
    EXPECT_EQ(progress, (std::vector<std::int64_t>{3, 13, 23, 33}));
    const std::string first = window.controller().state().slides().path(0);  // beside the lecture
    EXPECT_TRUE(first.starts_with(dir.file("vx_slides_"))) << first;
    for (const char* made : {"p/x", "p/x_2"})  // a second folder of the name is numbered
        EXPECT_EQ(makeNewFolder(dir.file("p"), "x"), dir.file(made));
    for (int i = 0; i < 3; ++i)  // full-HD, shaped like their pages (the last one turned)
        EXPECT_EQ(readSlidePicture(window.controller().state().slides().path(i)).value().height(), 1080);
    const auto drawn = readSlidePicture(first);
    EXPECT_EQ(drawn.value().width(), 1920);
    // Drawn smooth: where the corner's slanted edge crosses a row, a pixel between black and red.
    const std::uint8_t* row = drawn.value().row(972);
    int between = 0;
    for (int x = 1700; x < 1760; ++x) between += row[3 * x + 2] > 30 && row[3 * x + 2] < 225;
    EXPECT_GT(between, 0);
    device.deliverAll();
    for (const char* shown : {"00:02.0 sec", "00:04.0 sec", "00:06.0 sec"}) {
        device.capture(88200, 200), device.deliverAll();
        QTRY_COMPARE_WITH_TIMEOUT(d.clockField()->text(), QString(shown), 20000);
        if (shown[4] != '6') QTest::mouseClick(d.nextButton(), Qt::LeftButton);
    }
    prompts.savePaths = {dir.file("lecture.avi")};
    QTest::mouseClick(d.endButton(), Qt::LeftButton);
    device.deliverAll();
    const std::string ended = std::string(texts::kConversionEnded) + "\n動画: " + dir.file("lecture.avi");
    QTRY_VERIFY_WITH_TIMEOUT(std::ranges::count(prompts.log, ended), 60000);
    const testing::AviRead video = testing::readAvi(dir.file("lecture.avi"));
    ASSERT_EQ(video.frames.size(), 4u);  // the last slide again at End
    // Each page's colour right of its black bar (along the top for the turned page).
    const std::uint32_t colours[] = {0xFF0000, 0x00A000, 0x0000FF, 0x0000FF};
    for (std::size_t f = 0; f < 4; ++f) {
        const std::uint32_t middle = video.pixel(f, video.width * 5 / 8, video.height / 2);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int(middle >> shift & 255), int(colours[f] >> shift & 255), 2) << f;
        EXPECT_LT(video.pixel(f, f < 2 ? 20 : video.width / 2, f < 2 ? video.height / 2 : 10), 0x101010u) << f;
    }
}

TEST(SlideDeck, TheFolderDialogueOpensAtTheLastFolder) {
    guiApp();
    QTemporaryDir config, slides;
    ::setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);  // not the user's own
    QString openedAt;
    for (const bool choose : {true, false}) {  // then the next run: new prompts, the same settings
        QTimer::singleShot(50, [&, choose] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedAt = dialog->directory().absolutePath();
            if (!choose) return dialog->reject();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(slides.path());
            QTest::keyClick(name, Qt::Key_Return);
        });
        EXPECT_EQ(QtUserPrompts(nullptr).chooseFolder(texts::kChooseSlideFolder),
                  choose ? std::optional(utf8(slides.path())) : std::nullopt);
        EXPECT_EQ(openedAt == slides.path(), !choose) << openedAt.toStdString();
    }
}

}  // namespace
}  // namespace vorlix
