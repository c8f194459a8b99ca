#include "app/codec_dialog.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QSpinBox>

#include "tests/gui/gui_app.h"

namespace vorlix {
namespace {

const std::vector<CodecOption> kCodecs{{"rawvideo", "Full frames (uncompressed)", false, 0, 0, 0},
                                       {"mjpeg", "Motion JPEG", true, 1, 100, 75},
                                       {"libx264", "H.264", true, 0, 51, 23}};

TEST(CodecDialog, OffersEveryEncoderWithItsQualityRange) {
    test::guiApp();
    CodecDialog d(kCodecs, std::nullopt);
    ASSERT_EQ(d.list()->count(), 3);
    EXPECT_EQ(d.list()->item(1)->text(), QStringLiteral("Motion JPEG"));
    EXPECT_FALSE(d.quality()->isEnabled());
    d.list()->setCurrentRow(1);
    EXPECT_TRUE(d.quality()->isEnabled());
    EXPECT_EQ(std::pair(d.quality()->minimum(), d.quality()->maximum()), std::pair(1, 100));
    d.quality()->setValue(90);
    EXPECT_EQ(d.choice().name, "mjpeg");
    EXPECT_EQ(d.choice().quality, 90);
    d.list()->setCurrentRow(2);
    EXPECT_EQ(d.choice().quality, 23);  // the encoder's own default
}

TEST(CodecDialog, StartsFromThePreviousChoiceWhereItCan) {
    test::guiApp();
    const auto chosen = [](std::optional<CodecChoice> previous) {
        const CodecChoice c = CodecDialog(kCodecs, previous).choice();
        return c.name + " " + std::to_string(c.quality);
    };
    EXPECT_EQ(chosen(CodecChoice{"libx264", 30}), "libx264 30");
    EXPECT_EQ(chosen(CodecChoice{"mjpeg", 400}), "mjpeg 100");   // brought into the range
    EXPECT_EQ(chosen(CodecChoice{"cinepak", 0}), "rawvideo 0");  // no longer offered: the first
    EXPECT_TRUE(CodecDialog({}, std::nullopt).choice().name.empty());
}

}  // namespace
}  // namespace vorlix
