// Slides into video frames: drawn on the canvas (placed, stretched) and packed as bitmaps.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "video/frame_image.h"
#include "video/frame_renderer.h"
#include "video/slide_bitmap.h"

namespace vorlix {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

void setPixel(FrameCanvas& c, int x, int y, std::uint32_t rgb) {
    for (int i = 0; i < 3; ++i) c.row(y)[3 * x + i] = static_cast<std::uint8_t>(rgb >> (8 * i));
}
std::uint32_t canvasPixel(const FrameCanvas& c, int x, int y) {
    const std::uint8_t* p = c.row(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}
std::uint32_t framePixel(const FrameImage& img, int x, int y) {  // 24 bits, bottom-up rows
    const std::uint8_t* p =
        img.rows().data() + (img.height() - 1 - y) * FrameImage::strideFor(img.width(), 24) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}
std::uint32_t tableColour(const FrameImage& img, std::uint32_t index) {  // 0xRRGGBB
    const std::uint8_t* p = img.format().data() + FrameImage::kHeaderSize + 4 * index;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

TEST(FrameImage, PackedPixelsAtEveryDepth) {
    // Padded rows, the colour table before them at 8 bits or less.
    const auto odd = FrameImage::pack(FrameCanvas(641, 3), 8);
    EXPECT_EQ(std::tuple(odd->clrUsed(), odd->sizeImage(), odd->block().size(), odd->format().size(),
                         odd->format()[0]),
              std::tuple(256u, 3u * 644, 40u + 1024 + 3 * 644, 40u + 1024, 40));  // biSize 40
    // A white 20 x 2 canvas with a few pixels set on both rows (the top one last in the block).
    const std::uint32_t w = kWhite;
    const std::tuple<std::uint16_t, std::vector<std::uint32_t>, std::vector<std::uint8_t>> rows[] = {
        {1, {0, w, w, w, w, w, w, w, w, 0x202020, 0xC0C0C0}, {0x7F, 0xBF}},
        {4, {0x000000, 0x0000FF, 0x808000, 0xC8C0C0}, {0x0C, 0x37}},  // olive; the silver nearest
        {16, {0xFF8008, 0x010203}, {0x01, 0x7E, 0x00, 0x00}},         // 5-5-5
        {32, {0xFF8008, 0x010203}, {0x08, 0x80, 0xFF, 0, 0x03, 0x02, 0x01, 0}}};
    for (const auto& [depth, pixels, packed] : rows) {
        FrameCanvas canvas(20, 2);
        canvas.fillWhite();
        for (std::size_t x = 0; x < pixels.size(); ++x)
            setPixel(canvas, int(x), 0, pixels[x]), setPixel(canvas, int(x), 1, pixels[x]);
        const auto img = FrameImage::pack(canvas, depth);
        for (const std::size_t row : {0, 1}) {
            const auto got = img->rows().subspan(row * FrameImage::strideFor(20, depth), packed.size());
            EXPECT_EQ(std::vector(got.begin(), got.end()), packed) << depth;
        }
    }
    // The tables: black and white, and the Windows VGA palette.
    EXPECT_EQ(tableColour(*FrameImage::pack(FrameCanvas(1, 1), 1), 0), 0u);
    const std::uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    const auto four = FrameImage::pack(FrameCanvas(1, 1), 4);
    for (std::uint32_t i = 0; i < 16; ++i) EXPECT_EQ(tableColour(*four, i), vga[i]) << i;
    for (std::uint16_t depth : {0, 2, 12, 48})
        EXPECT_FALSE(FrameImage::pack(FrameCanvas(4, 4), depth)) << depth;
    EXPECT_FALSE(FrameImage::pack(FrameCanvas(FrameImage::kMaxSide + 1, 1), 24));
    EXPECT_TRUE(FrameImage::pack(FrameCanvas(FrameImage::kMaxSide, 1), 24));  // the largest
}

TEST(FrameImage, EightBitsMapToTheNearestOfDistinctPaletteColours) {
    const std::uint32_t colours[][2] = {
        {0xFF0000, 0xFF0000}, {0x0000FF, 0x0000FF}, {0x336699, 0x336699}, {0x30649A, 0x336699}};
    FrameCanvas canvas(256, 2);
    for (int level = 0; level < 256; ++level) setPixel(canvas, level, 0, 0x010101u * level);
    for (std::size_t i = 0; i < std::size(colours); ++i) setPixel(canvas, int(i), 1, colours[i][0]);
    const auto img = FrameImage::pack(canvas, 8);
    const auto rows = img->rows();  // bottom row (y = 1) first
    for (std::size_t i = 0; i < std::size(colours); ++i)
        EXPECT_EQ(tableColour(*img, rows[i]), colours[i][1]) << i;
    for (int level = 0; level < 256; ++level) {  // greys stay grey, and near their level
        const std::uint32_t shown = tableColour(*img, rows[256 + level]);
        EXPECT_EQ(shown, (shown & 0xFF) * 0x010101u) << level;
        EXPECT_NEAR(static_cast<int>(shown & 0xFF), level, 3) << level;
    }
}

// A pattern in which nearly every pixel differs from its neighbours.
std::uint32_t pattern(int x, int y) {
    return static_cast<std::uint32_t>((x * 5 & 0xFF) << 16 | (y * 3 & 0xFF) << 8 |
                                      ((x + y) & 0xFF));
}

// The conversion's way of making a video frame of a slide file.
std::unique_ptr<FrameImage> videoFrame(const std::string& path, std::int32_t mode) {
    testing::FakePrompts prompts;
    std::unique_ptr<FrameImage> image;
    renderFrame(
        image, 24, 640, 480, 0,
        [&](FrameCanvas& c, std::int32_t) { drawSlideFrame(c, path, mode); }, prompts);
    EXPECT_TRUE(prompts.log.empty());
    return image;
}

// Pixel for pixel where the slide is not scaled, white around it, clipped at the edges.
TEST(FrameRenderer, UnscaledPlacementsLandPixelForPixel) {
    const int cases[][5] = {// w, h, placement, where the slide's corner lands
                            {640, 480, kPlaceStretch, 0, 0},
                            {1000, 1000, kPlaceCentred, -180, -260},
                            {1000, 1000, kPlaceTopLeft, 0, 0}};
    testing::ScratchDir dir;
    for (const auto& [w, h, mode, left, top] : cases) {
        testing::writeFile(dir.file("s.bmp"), testing::bmpOf(w, h, pattern));
        const auto image = videoFrame(dir.file("s.bmp"), mode);
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const int sx = x - left, sy = y - top;
                const bool inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
                ASSERT_EQ(framePixel(*image, x, y), inside ? pattern(sx, sy) : kWhite)
                    << w << "x" << h << " " << x << "," << y;
            }
        }
    }
}

TEST(FrameRenderer, StretchCoversTheWholeFrameWhateverTheShape) {
    // Four flat quadrants must each fill their quarter of the frame. Some shapes the scaler
    // cannot take in one step: one axis shrinks a great deal while the other grows.
    const std::uint32_t quadrant[2][2] = {{0xE02010, 0x10C040}, {0x2030F0, 0xF0E020}};
    const int cases[][4] = {{1024, 768, 640, 480}, {800, 100, 640, 480}, {8, 6, 640, 480},
                            {16384, 2, 640, 480},  {1, 1, 640, 480},     {1, 16384, 640, 48},
                            {1920, 1, 2, 480}};
    for (const auto& c : cases) {
        const int w = c[0], h = c[1], frameW = c[2], frameH = c[3];
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const auto slide = SlideBitmap::decode(
            testing::bmpOf(w, h, [&](int x, int y) { return quadrant[2 * y >= h][2 * x >= w]; }));
        FrameCanvas canvas(frameW, frameH);
        ASSERT_EQ(drawSlide(*slide, canvas, kPlaceStretch), 0);
        // Corners, and either side of the middle lines two slide pixels away.
        const int mx = std::min(frameW / 4, 2 * frameW / w + 2),
                  my = std::min(frameH / 4, 2 * frameH / h + 2);
        for (int y : {0, frameH / 2 - my - 1, frameH / 2 + my, frameH - 1}) {
            for (int x : {0, frameW / 2 - mx - 1, frameW / 2 + mx, frameW - 1}) {
                // Averaging thousands of pixels in fixed point may round one step off; a frame
                // two pixels wide blends a few per cent of the other half into each.
                const std::uint32_t want =
                    quadrant[h > 1 && 2 * y >= frameH][w > 1 && 2 * x >= frameW];
                for (int shift : {0, 8, 16})
                    ASSERT_NEAR(canvasPixel(canvas, x, y) >> shift & 0xFF, want >> shift & 0xFF,
                                frameW > 2 ? 1 : 12)
                        << x << "," << y;
            }
        }
    }
    // One-pixel black lines every third column of a 1920 x 1080 slide: shrunk three times, every
    // column of the frame holds one line and must show the same grey. A filter that samples
    // instead of averaging shows some lines black and drops the others.
    const auto thin = SlideBitmap::decode(
        testing::bmpOf(1920, 1080, [](int x, int) { return x % 3 == 1 ? 0u : kWhite; }));
    FrameCanvas canvas(640, 480);
    ASSERT_EQ(drawSlide(*thin, canvas, kPlaceStretch), 0);
    for (int x = 0; x < 640; ++x) {
        const std::uint32_t p = canvasPixel(canvas, x, 100);
        ASSERT_EQ(p, (p & 0xFF) * 0x010101u) << x;
        ASSERT_NEAR(static_cast<int>(p & 0xFF), 170, 12) << x;
    }
    // A slide file of any depth shrinks as its decoded picture does (24 bits are read in bands).
    for (const char* seed : {"8bit-3x2-clr4.bmp", "24bit-4x3.bmp"}) {
        const std::string path = VORLIX_SOURCE_DIR "/fuzz/seeds/slide_bitmap/" + std::string(seed);
        FrameCanvas fromFile(2, 1), decoded(2, 1);
        drawSlideFrame(fromFile, path, kPlaceStretch);
        ASSERT_EQ(drawSlide(*SlideBitmap::readFile(path), decoded, kPlaceStretch), 0);
        EXPECT_EQ(fromFile.pixels, decoded.pixels) << seed;
    }
}

// A slide that cannot be read leaves the frame white.
TEST(FrameRenderer, UnreadableSlidesLeaveTheFrameWhite) {
    testing::ScratchDir dir;
    testing::writeFile(dir.file("refused.bmp"), std::string("BM not really a bitmap"));
    for (const std::string& path :
         {dir.file("gone.bmp"), dir.file("refused.bmp"), dir.path().string()}) {
        FrameCanvas canvas(640, 480);
        EXPECT_EQ(drawSlideBitmap(path, canvas, kPlaceStretch), 1);
        const auto image = videoFrame(path, kPlaceStretch);
        for (std::uint8_t b : image->rows()) ASSERT_EQ(b, 0xFF) << path;
    }
}

}  // namespace
}  // namespace vorlix
