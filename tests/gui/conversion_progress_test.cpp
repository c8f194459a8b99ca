#include "app/qt_conversion_progress.h"

#include <gtest/gtest.h>

#include <QWidget>

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
    struct Step {
        std::int64_t done, total;
        int value, maximum;
    } steps[] = {{10, 40, 10, 40},                          // as it is
                 {50, 40, 40, 40},                          // never beyond the end
                 {3'000'000'000LL, 6'000'000'000LL, 500, 1000}};  // beyond an int: scaled
    for (const auto& s : steps) {
        progress.update(s.done, s.total);
        EXPECT_EQ(std::pair(progress.dialog()->value(), progress.dialog()->maximum()),
                  std::pair(s.value, s.maximum));
    }
    progress.update(1, 0);  // an empty lecture still shows a sane bar
    EXPECT_GE(progress.dialog()->maximum(), 1);
    progress.finish();
    EXPECT_EQ(progress.dialog(), nullptr);
}

}  // namespace
}  // namespace vorlix
