#include "app/qt_conversion_progress.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "app/qt_text.h"
#include "resources/texts.h"
#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

TEST(ConversionProgress, FollowsTheFramesScaledAndCloses) {
    test::guiApp();
    QWidget owner;
    QtConversionProgress progress(&owner);
    EXPECT_EQ(progress.dialog(), nullptr);  // nothing shown before the first frame
    progress.update(0, 40);
    ASSERT_NE(progress.dialog(), nullptr);
    EXPECT_TRUE(progress.dialog()->isVisible());
    EXPECT_EQ(progress.dialog()->labelText(), qs(texts::kWritingVideo));
    progress.update(10, 40);
    EXPECT_EQ(progress.dialog()->maximum(), 40);
    EXPECT_EQ(progress.dialog()->value(), 10);
    progress.update(50, 40);  // never beyond the end
    EXPECT_EQ(progress.dialog()->value(), 40);
    progress.update(3'000'000'000LL, 6'000'000'000LL);  // beyond an int: scaled
    EXPECT_EQ(progress.dialog()->maximum(), 1000);
    EXPECT_EQ(progress.dialog()->value(), 500);
    progress.update(1, 0);  // an empty lecture still shows a sane bar
    EXPECT_GE(progress.dialog()->maximum(), 1);
    progress.finish();
    EXPECT_EQ(progress.dialog(), nullptr);
}

}  // namespace
}  // namespace vorlix
