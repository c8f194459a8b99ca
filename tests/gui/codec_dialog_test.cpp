#include "app/codec_dialog.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QSpinBox>

#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

const std::vector<CodecOption> kCodecs{
    {"rawvideo", "Full frames (uncompressed)", false, 0, 0, 0},
    {"mjpeg", "Motion JPEG", true, 1, 100, 75},
    {"libx264", "H.264", true, 0, 51, 23},
};

TEST(CodecDialog, OffersEveryEncoderAndItsQuality) {
    test::guiApp();
    CodecDialog d(kCodecs, std::nullopt);
    ASSERT_EQ(d.list()->count(), 3);
    EXPECT_EQ(d.list()->item(1)->text(), QStringLiteral("Motion JPEG"));
    EXPECT_EQ(d.list()->currentRow(), 0);
    EXPECT_FALSE(d.quality()->isEnabled());
    EXPECT_EQ(d.choice().name, "rawvideo");

    d.list()->setCurrentRow(1);
    EXPECT_TRUE(d.quality()->isEnabled());
    EXPECT_EQ(d.quality()->minimum(), 1);
    EXPECT_EQ(d.quality()->maximum(), 100);
    EXPECT_EQ(d.quality()->value(), 75);
    d.quality()->setValue(90);
    EXPECT_EQ(d.choice().name, "mjpeg");
    EXPECT_EQ(d.choice().quality, 90);

    d.list()->setCurrentRow(2);
    EXPECT_EQ(d.quality()->maximum(), 51);
    EXPECT_EQ(d.choice().quality, 23);
}

TEST(CodecDialog, StartsFromThePreviousChoice) {
    test::guiApp();
    CodecDialog d(kCodecs, CodecChoice{"libx264", 30});
    EXPECT_EQ(d.list()->currentRow(), 2);
    EXPECT_EQ(d.choice().quality, 30);
    // A remembered quality outside the range is brought into it.
    CodecDialog clamped(kCodecs, CodecChoice{"mjpeg", 400});
    EXPECT_EQ(clamped.choice().quality, 100);
    // An encoder no longer offered: the first one.
    CodecDialog gone(kCodecs, CodecChoice{"cinepak", 0});
    EXPECT_EQ(gone.choice().name, "rawvideo");
}

TEST(CodecDialog, NothingToChooseFromGivesNoName) {
    test::guiApp();
    CodecDialog d({}, std::nullopt);
    EXPECT_TRUE(d.choice().name.empty());
}

}  // namespace
}  // namespace vorlix
