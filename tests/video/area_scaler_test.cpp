// The shrinking scaler against libswscale's area averaging, the reference it replaced.
#include "video/area_scaler.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/pictures.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace vorlix {
namespace {

using testing::lineArt;
using testing::photograph;
using testing::Pixels;

Pixels reference(const Pixels& src, int sw, int sh, int dw, int dh) {
    Pixels out(static_cast<std::size_t>(dw) * dh * 3);
    SwsContext* c =
        sws_getContext(sw, sh, AV_PIX_FMT_BGR24, dw, dh, AV_PIX_FMT_BGR24,
                       SWS_AREA | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND,
                       nullptr, nullptr, nullptr);
    const std::uint8_t* const sp[4] = {src.data()};
    const int ss[4] = {sw * 3}, ds[4] = {dw * 3};
    std::uint8_t* const dp[4] = {out.data()};
    sws_scale(c, sp, ss, 0, sh, dp, ds);
    sws_freeContext(c);
    return out;
}

TEST(AreaScaler, WithinTwoLevelsOfTheAreaAveragingReference) {
    struct Case {
        std::function<Pixels(int, int)> make;
        int sw, sh, dw, dh;
    } cases[] = {{photograph, 1920, 1080, 640, 480}, {photograph, 1024, 768, 640, 480},
                 {photograph, 641, 481, 640, 480},   {lineArt, 1920, 1080, 640, 480},
                 {lineArt, 1366, 768, 640, 480},     {lineArt, 2560, 1440, 640, 480},
                 {photograph, 1920, 1080, 637, 479}};  // columns past the last whole vector
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + " x " + std::to_string(c.sh));
        const Pixels src = c.make(c.sw, c.sh);
        ASSERT_FALSE(src.empty()) << "ImageMagick's convert did not make the picture";
        const Pixels want = reference(src, c.sw, c.sh, c.dw, c.dh);
        // Read bottom-up, as most bitmap files hold their rows.
        const std::ptrdiff_t row = c.sw * 3;
        Pixels flipped(src.size()), got(want.size());
        for (int y = 0; y < c.sh; ++y) {
            std::copy_n(src.data() + y * row, row, flipped.data() + (c.sh - 1 - y) * row);
        }
        ASSERT_TRUE(shrinkByArea(flipped.data() + (c.sh - 1) * row, -row, c.sw, c.sh, got.data(),
                                 c.dw * 3, c.dw, c.dh));
        int worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            worst = std::max(worst, std::abs(got[i] - want[i]));
        }
        EXPECT_LE(worst, 2);
    }
    Pixels tiny(4 * 4 * 3), untouched(5 * 5 * 3, 0x11), out(untouched);
    EXPECT_FALSE(shrinkByArea(tiny.data(), 12, 4, 4, out.data(), 15, 5, 3));  // would grow
    EXPECT_EQ(out, untouched);
}

}  // namespace
}  // namespace vorlix
