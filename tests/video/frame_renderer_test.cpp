#include "video/frame_renderer.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "video/slide_bitmap.h"

namespace vorlix {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

// A pattern in which nearly every pixel differs from its neighbours.
std::uint32_t pattern(int x, int y) {
    return static_cast<std::uint32_t>((x * 5 & 0xFF) << 16 | (y * 3 & 0xFF) << 8 | ((x + y) & 0xFF));
}
std::uint32_t framePixel(const FrameImage& img, int x, int y) {  // bottom-up rows
    const std::uint8_t* p =
        img.rows().data() + (img.height() - 1 - y) * FrameImage::strideFor(img.width(), 24) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}
std::uint32_t canvasPixel(const FrameCanvas& c, int x, int y) {
    const std::uint8_t* p = c.row(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

class FrameRenderer : public ::testing::Test {
  protected:
    template <class Rgb>
    std::string slideFile(int w, int h, Rgb rgb) {
        const auto path = dir_.file("スライド" + std::to_string(++count_) + ".bmp");
        testing::writeFile(path, testing::bmpOf(w, h, rgb));
        return path;
    }
    // The conversion's way of making a video frame of a slide.
    std::unique_ptr<FrameImage> videoFrame(const std::string& path, std::int32_t mode) {
        std::unique_ptr<FrameImage> image;
        renderFrame(
            image, 24, 640, 480, 0, [&](FrameCanvas& c, std::int32_t) { drawSlideFrame(c, path, mode); },
            prompts_);
        EXPECT_TRUE(prompts_.log.empty());
        return image;
    }
    testing::ScratchDir dir_;
    int count_ = 0;
    testing::FakePrompts prompts_;
};

// Pixel for pixel where the slide is not scaled, white around it, clipped at the edges.
TEST_F(FrameRenderer, UnscaledPlacementsLandPixelForPixel) {
    struct Case {
        int w, h;
        std::int32_t mode;
        int left, top;  // where the slide's corner lands
    } cases[] = {
        {640, 480, kPlaceStretch, 0, 0},     {641, 481, kPlaceCentred, 0, 0},
        {1000, 1000, kPlaceCentred, -180, -260}, {101, 51, kPlaceCentred, 270, 215},
        {100, 50, -1, 270, 215},  // unknown modes centre
        {640, 1, kPlaceCentred, 0, 240},     {1000, 1000, kPlaceTopLeft, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " in mode " +
                     std::to_string(c.mode));
        const auto image = videoFrame(slideFile(c.w, c.h, pattern), c.mode);
        ASSERT_TRUE(image);
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const int sx = x - c.left, sy = y - c.top;
                const bool inside = sx >= 0 && sx < c.w && sy >= 0 && sy < c.h;
                ASSERT_EQ(framePixel(*image, x, y), inside ? pattern(sx, sy) : kWhite) << x << "," << y;
            }
        }
    }
}

TEST_F(FrameRenderer, StretchCoversTheWholeFrameWhateverTheShape) {
    // Four flat quadrants must each fill their quarter of the frame. Some shapes the scaler
    // cannot take in one step: one axis shrinks a great deal while the other grows.
    const std::uint32_t quadrant[2][2] = {{0xE02010, 0x10C040}, {0x2030F0, 0xF0E020}};
    struct Case {
        int w, h, frameW, frameH;
    } cases[] = {{1024, 768, 640, 480}, {640, 360, 640, 480}, {800, 100, 640, 480},
                 {8, 6, 640, 480},      {1000, 4, 640, 480},  {16384, 2, 640, 480},
                 {1, 1, 640, 480},      {16384, 1, 64, 480},  {1, 16384, 640, 48},
                 {1920, 1, 2, 480}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " onto " +
                     std::to_string(c.frameW) + " x " + std::to_string(c.frameH));
        const auto slide = SlideBitmap::decode(testing::bmpOf(
            c.w, c.h, [&](int x, int y) { return quadrant[2 * y >= c.h][2 * x >= c.w]; }));
        ASSERT_TRUE(slide);
        FrameCanvas canvas(c.frameW, c.frameH);
        ASSERT_EQ(drawSlide(*slide, canvas, kPlaceStretch), 0);
        // Corners, and either side of the middle lines two slide pixels away.
        const int mx = std::min(c.frameW / 4, 2 * c.frameW / c.w + 2);
        const int my = std::min(c.frameH / 4, 2 * c.frameH / c.h + 2);
        for (int y : {0, c.frameH / 2 - my - 1, c.frameH / 2 + my, c.frameH - 1}) {
            for (int x : {0, c.frameW / 2 - mx - 1, c.frameW / 2 + mx, c.frameW - 1}) {
                // Averaging thousands of pixels in fixed point may round one step off; a frame
                // two pixels wide blends a few per cent of the other half into each.
                const std::uint32_t want =
                    quadrant[c.h > 1 && 2 * y >= c.frameH][c.w > 1 && 2 * x >= c.frameW];
                const std::uint32_t got = canvasPixel(canvas, x, y);
                for (int shift : {0, 8, 16})
                    ASSERT_NEAR(got >> shift & 0xFF, want >> shift & 0xFF, c.frameW > 2 ? 1 : 12)
                        << x << "," << y;
            }
        }
    }
}

TEST_F(FrameRenderer, ShrinkingKeepsThinStrokes) {
    // One-pixel black lines every third column of a 1920 x 1080 slide: shrunk three times,
    // every column of the frame holds one line and must show the same grey. A filter that
    // samples instead of averaging shows some lines black and drops the others.
    const auto image = videoFrame(
        slideFile(1920, 1080, [](int x, int) { return x % 3 == 1 ? 0u : kWhite; }), kPlaceStretch);
    ASSERT_TRUE(image);
    for (int y : {0, 100, 479}) {
        for (int x = 0; x < 640; ++x) {
            const std::uint32_t p = framePixel(*image, x, y);
            ASSERT_EQ(p, (p & 0xFF) * 0x010101u) << x << "," << y;
            ASSERT_NEAR(static_cast<int>(p & 0xFF), 170, 12) << x << "," << y;
        }
    }
}

TEST_F(FrameRenderer, UnreadableSlidesLeaveTheFrameWhite) {
    const std::string refused = dir_.file("スライド9.bmp");
    testing::writeFile(refused, std::string("BM not really a bitmap"));
    for (const std::string& path : {dir_.file("スライド99.bmp"), refused, dir_.path().string()}) {
        SCOPED_TRACE(path);
        FrameCanvas canvas(640, 480);
        std::fill(canvas.pixels.begin(), canvas.pixels.end(), std::uint8_t{0x42});
        EXPECT_EQ(drawSlideBitmap(path, canvas, kPlaceStretch), 1);
        EXPECT_EQ(canvasPixel(canvas, 17, 400), 0x424242u);  // the canvas keeps what it had
        const auto image = videoFrame(path, kPlaceStretch);
        ASSERT_TRUE(image);
        for (std::uint8_t b : image->rows()) ASSERT_EQ(b, 0xFF);
    }
}

// renderFrame replaces the old frame; it draws real frames only (index 0 or more), and where no
// frame image can be made it says "MAKEDIB ERROR!".
TEST_F(FrameRenderer, RenderFrameReplacesTheOldFrame) {
    struct Case {
        std::uint16_t depth;
        std::int32_t w, h, index;
        bool made;
    } cases[] = {{24, 640, 480, -1, true}, {24, 320, 200, 3, true},   {2, 640, 480, 0, false},
                 {24, 0, 480, 0, false},   {24, 640, -480, 0, false}, {24, 16385, 480, 0, false}};
    for (const auto& c : cases) {
        testing::FakePrompts prompts;
        std::vector<std::int32_t> drawn;
        auto image = FrameImage::pack(FrameCanvas(4, 4), 24);  // an old frame goes first
        renderFrame(
            image, c.depth, c.w, c.h, c.index,
            [&](FrameCanvas& canvas, std::int32_t i) { drawn.push_back(i), canvas.fillWhite(); },
            prompts);
        ASSERT_EQ(image != nullptr, c.made);
        EXPECT_EQ(prompts.log, c.made ? testing::Log{} : testing::Log{"MAKEDIB ERROR!"});
        if (!c.made) continue;
        EXPECT_EQ(drawn, c.index >= 0 ? std::vector{c.index} : std::vector<std::int32_t>{});
        EXPECT_EQ(image->width(), c.w);
        if (c.index >= 0) EXPECT_EQ(framePixel(*image, c.w - 1, c.h - 1), kWhite);
    }
}

}  // namespace
}  // namespace vorlix
