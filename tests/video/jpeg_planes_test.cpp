// The Motion JPEG planes against libswscale's conversion, the reference they replaced.
#include "video/jpeg_planes.h"

#include <gtest/gtest.h>

#include "tests/support/pictures.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace vorlix {
namespace {

using testing::Pixels;

// Planes with rows longer than the picture's, filled with 0x11.
struct Planes {
    Planes(int w, int h) : strides{w + 32, w / 2 + 16, w / 2 + 16} {
        for (int c = 0; c < 3; ++c) {
            bytes[c].assign(static_cast<std::size_t>(strides[c]) * (c == 0 ? h : h / 2), 0x11);
            data[c] = bytes[c].data();
        }
    }
    Pixels bytes[3];
    std::uint8_t* data[3];
    int strides[3];
};

TEST(JpegPlanes, WithinALevelOfLibswscaleOnEitherPath) {
    struct Case {
        Pixels (*make)(int, int);
        int w, h;
    } cases[] = {{testing::photograph, 640, 480},
                 {testing::lineArt, 640, 480},
                 {testing::photograph, 646, 482}};  // pixels past the last whole vector
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        const Pixels src = c.make(c.w, c.h);
        ASSERT_FALSE(src.empty()) << "ImageMagick's convert did not make the picture";
        Planes want(c.w, c.h), fast(c.w, c.h), portable(c.w, c.h);
        SwsContext* sws = sws_getContext(c.w, c.h, AV_PIX_FMT_BGR24, c.w, c.h, AV_PIX_FMT_YUVJ420P,
                                         SWS_BICUBIC, nullptr, nullptr, nullptr);
        const std::uint8_t* const sp[4] = {src.data()};
        const int ss[4] = {c.w * 3};
        sws_scale(sws, sp, ss, 0, c.h, want.data, want.strides);
        sws_freeContext(sws);
        const std::ptrdiff_t row = c.w * 3;
        ASSERT_TRUE(toJpegPlanes(src.data(), row, c.w, c.h, fast.data, fast.strides));
        // Bottom-up, as the uncompressed writer's rows come.
        Pixels flipped(src.size());
        for (int y = 0; y < c.h; ++y) {
            std::copy_n(src.data() + y * row, row, flipped.data() + (c.h - 1 - y) * row);
        }
        ASSERT_TRUE(toJpegPlanes(flipped.data() + (c.h - 1) * row, -row, c.w, c.h, portable.data,
                                 portable.strides, PlanesPath::portable));
        for (int p = 0; p < 3; ++p) {
            SCOPED_TRACE("plane " + std::to_string(p));
            EXPECT_TRUE(fast.bytes[p] == portable.bytes[p]) << "the two paths differ";
            int worst = 0;
            for (int y = 0; y < (p == 0 ? c.h : c.h / 2); ++y) {
                for (int x = 0; x < (p == 0 ? c.w : c.w / 2); ++x) {
                    const std::size_t at = static_cast<std::size_t>(y * want.strides[p] + x);
                    worst = std::max(worst, std::abs(fast.bytes[p][at] - want.bytes[p][at]));
                }
            }
            EXPECT_LE(worst, 1);
        }
    }
    // An odd or empty size is refused before anything is read or written.
    Planes odd(8, 6), untouched(8, 6);
    EXPECT_FALSE(toJpegPlanes(nullptr, 21, 7, 6, odd.data, odd.strides) ||
                 toJpegPlanes(nullptr, 24, 8, 5, odd.data, odd.strides) ||
                 toJpegPlanes(nullptr, 0, 0, 6, odd.data, odd.strides));
    EXPECT_EQ(odd.bytes[0], untouched.bytes[0]);
}

}  // namespace
}  // namespace vorlix
