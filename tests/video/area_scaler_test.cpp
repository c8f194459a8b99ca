// The shrinking scaler against libswscale's area averaging, the reference it replaced.
#include "video/area_scaler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace vorlix {
namespace {

using Pixels = std::vector<std::uint8_t>;

Pixels reference(const Pixels& src, int sw, int sh, int dw, int dh) {
    Pixels out(static_cast<std::size_t>(dw) * dh * 3);
    SwsContext* c =
        sws_getContext(sw, sh, AV_PIX_FMT_BGR24, dw, dh, AV_PIX_FMT_BGR24,
                       SWS_AREA | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND,
                       nullptr, nullptr, nullptr);
    const std::uint8_t* const sp[4] = {src.data()};
    const int ss[4] = {sw * 3};
    std::uint8_t* const dp[4] = {out.data()};
    const int ds[4] = {dw * 3};
    EXPECT_EQ(sws_scale(c, sp, ss, 0, sh, dp, ds), dh);
    sws_freeContext(c);
    return out;
}

// A photograph-like picture (smooth clouds of colour), made by ImageMagick from a fixed seed.
Pixels photograph(int w, int h) {
    const std::string command = "convert -seed 14 -size " + std::to_string(w) + "x" +
                                std::to_string(h) + " plasma: -depth 8 bgr:-";
    Pixels out(static_cast<std::size_t>(w) * h * 3);
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return {};
    const std::size_t got = std::fread(out.data(), 1, out.size(), p);
    return pclose(p) == 0 && got == out.size() ? out : Pixels{};
}

// Line art: one-pixel strokes in black and colour on white, at every phase of the shrink.
Pixels lineArt(int w, int h) {
    Pixels out(static_cast<std::size_t>(w) * h * 3, 0xFF);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = out.data() + (static_cast<std::size_t>(y) * w + x) * 3;
            if (x % 7 == 3 || y % 11 == 5) p[0] = p[1] = p[2] = 0;
            if ((x + 2 * y) % 29 == 0) p[0] = 0xC0, p[1] = 0x20, p[2] = 0x10;
        }
    }
    return out;
}

TEST(AreaScaler, MatchesTheAreaAveragingReference) {
    struct Case {
        const char* picture;
        std::function<Pixels(int, int)> make;
        int sw, sh, dw, dh;
        int tolerance;  // largest difference of one channel, in levels
    } cases[] = {
        {"photograph", photograph, 1920, 1080, 640, 480, 2},
        {"photograph", photograph, 1024, 768, 640, 480, 2},
        {"photograph", photograph, 641, 481, 640, 480, 2},
        {"line art", lineArt, 1920, 1080, 640, 480, 2},
        {"line art", lineArt, 1366, 768, 640, 480, 2},
        {"line art", lineArt, 2560, 1440, 640, 480, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " " + std::to_string(c.sw) + " x " +
                     std::to_string(c.sh));
        const Pixels src = c.make(c.sw, c.sh);
        ASSERT_FALSE(src.empty()) << "ImageMagick's convert did not make the picture";
        const Pixels want = reference(src, c.sw, c.sh, c.dw, c.dh);
        // Bottom-up rows, as most bitmap files hold them.
        Pixels flipped(src.size());
        const std::size_t row = static_cast<std::size_t>(c.sw) * 3;
        for (int y = 0; y < c.sh; ++y) {
            std::copy_n(src.data() + y * row, row, flipped.data() + (c.sh - 1 - y) * row);
        }
        for (const bool bottomUp : {false, true}) {
            Pixels got(want.size(), 0x55);
            const std::uint8_t* top = bottomUp ? flipped.data() + (c.sh - 1) * row : src.data();
            ASSERT_TRUE(shrinkByArea(top, bottomUp ? -static_cast<std::ptrdiff_t>(row) : row, c.sw,
                                     c.sh, got.data(), c.dw * 3, c.dw, c.dh));
            int worst = 0;
            for (std::size_t i = 0; i < got.size(); ++i) {
                worst = std::max(worst, std::abs(got[i] - want[i]));
            }
            EXPECT_LE(worst, c.tolerance) << (bottomUp ? "bottom-up" : "top-down");
        }
    }
}

TEST(AreaScaler, RefusesToGrow) {
    Pixels src(4 * 4 * 3, 0x80), dst(5 * 5 * 3, 0x11);
    EXPECT_FALSE(shrinkByArea(src.data(), 12, 4, 4, dst.data(), 15, 5, 3));
    EXPECT_FALSE(shrinkByArea(src.data(), 12, 4, 4, dst.data(), 15, 3, 5));
    EXPECT_FALSE(shrinkByArea(src.data(), 12, 4, 4, dst.data(), 15, 0, 3));
    EXPECT_EQ(dst, Pixels(dst.size(), 0x11));
}

}  // namespace
}  // namespace vorlix
