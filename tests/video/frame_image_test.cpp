#include "video/frame_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vorlix {
namespace {

std::uint32_t u32At(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void setPixel(FrameCanvas& c, int x, int y, std::uint32_t rgb) {
    std::uint8_t* p = c.row(y) + 3 * x;
    p[0] = static_cast<std::uint8_t>(rgb);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

// The table colour (0xRRGGBB) of a packed pixel's index.
std::uint32_t tableColour(const FrameImage& img, std::uint32_t index) {
    const auto table = img.format().subspan(FrameImage::kHeaderSize);
    return u32At(table, 4 * index) & 0xFFFFFF;
}

TEST(FrameImage, VideoFrameIsTheSpecifiedPackedBitmap) {
    FrameCanvas canvas(640, 480);
    setPixel(canvas, 0, 0, 0x123456);      // top-left
    setPixel(canvas, 639, 479, 0xABCDEF);  // bottom-right
    const auto img = FrameImage::pack(canvas, 24);
    ASSERT_TRUE(img);
    const auto block = img->block();
    ASSERT_EQ(block.size(), 921640u);
    EXPECT_EQ(u32At(block, 0), 40u);
    EXPECT_EQ(img->width(), 640);
    EXPECT_EQ(img->height(), 480);
    EXPECT_EQ(block[12], 1);  // planes
    EXPECT_EQ(img->bitCount(), 24);
    EXPECT_EQ(u32At(block, 16), 0u);  // uncompressed
    EXPECT_EQ(img->sizeImage(), 921600u);
    EXPECT_EQ(img->clrUsed(), 0u);
    EXPECT_EQ(img->format().size(), 40u);
    ASSERT_EQ(img->rows().size(), 921600u);
    EXPECT_EQ(img->rows().data(), block.data() + 40);
    // Bottom row first: the bottom-right pixel ends the first row, the top-left starts the last.
    const auto rows = img->rows();
    EXPECT_EQ(rows[1917], 0xEF);
    EXPECT_EQ(rows[1918], 0xCD);
    EXPECT_EQ(rows[1919], 0xAB);
    EXPECT_EQ(rows[479 * 1920 + 0], 0x56);
    EXPECT_EQ(rows[479 * 1920 + 2], 0x12);
}

TEST(FrameImage, StrideColourCountAndSizeAtEveryDepth) {
    struct Case {
        std::uint16_t depth;
        std::int32_t width;
        std::uint32_t stride, colours;
    } cases[] = {
        {1, 640, 80, 2},    {1, 1, 4, 2},       {1, 33, 8, 2},      {4, 640, 320, 16},
        {4, 9, 8, 16},      {8, 640, 640, 256}, {8, 641, 644, 256}, {16, 641, 1284, 0},
        {24, 640, 1920, 0}, {24, 641, 1924, 0}, {32, 641, 2564, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " bits, width " + std::to_string(c.width));
        EXPECT_EQ(FrameImage::strideFor(c.width, c.depth), c.stride);
        EXPECT_EQ(FrameImage::colourCountFor(c.depth), c.colours);
        const auto img = FrameImage::pack(FrameCanvas(c.width, 3), c.depth);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->block().size(), 40 + 4 * c.colours + 3 * c.stride);
        EXPECT_EQ(img->bitCount(), c.depth);
        EXPECT_EQ(img->clrUsed(), c.colours);
        EXPECT_EQ(img->sizeImage(), 3 * c.stride);
        EXPECT_EQ(img->format().size(), 40 + 4 * c.colours);
        EXPECT_EQ(img->rows().size(), 3 * c.stride);
    }
}

TEST(FrameImage, EightBitsMapToTheNearestPaletteColour) {
    FrameCanvas canvas(640, 480);
    struct Case {
        std::uint32_t colour, shown;
    } cases[] = {
        {0xFF0000, 0xFF0000}, {0x00FF00, 0x00FF00}, {0x0000FF, 0x0000FF},
        {0xFFFFFF, 0xFFFFFF}, {0x000000, 0x000000}, {0x336699, 0x336699},
        {0xCC9966, 0xCC9966}, {0x30649A, 0x336699},  // near a cube colour
    };
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
        setPixel(canvas, i, 0, cases[i].colour);
    const auto img = FrameImage::pack(canvas, 8);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->clrUsed(), 256u);
    EXPECT_EQ(img->format().size(), 40u + 1024);
    EXPECT_EQ(img->block().size(), 40u + 1024 + 640 * 480);
    const auto top = img->rows().subspan(479 * 640, 640);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        EXPECT_EQ(tableColour(*img, top[i]), cases[i].shown) << std::hex << cases[i].colour;
    }
    // Greys stay grey, and near their level.
    FrameCanvas ramp(256, 1);
    for (int level = 0; level < 256; ++level) setPixel(ramp, level, 0, 0x010101u * level);
    setPixel(ramp, 128, 0, 0x7E8082);  // nearly grey
    const auto greys = FrameImage::pack(ramp, 8);
    ASSERT_TRUE(greys);
    for (int level = 0; level < 256; ++level) {
        const std::uint32_t shown = tableColour(*greys, greys->rows()[level]);
        EXPECT_EQ(shown, (shown & 0xFF) * 0x010101u) << level;
        EXPECT_NEAR(static_cast<int>(shown & 0xFF), level, 3) << level;
    }
    // Every entry is distinct, so no colour is wasted.
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t b = a + 1; b < 256; ++b) {
            ASSERT_NE(tableColour(*img, a), tableColour(*img, b)) << a << " " << b;
        }
    }
}

TEST(FrameImage, OneAndFourBitsPackMostSignificantFirst) {
    FrameCanvas canvas(640, 480);
    canvas.fillWhite();
    setPixel(canvas, 0, 0, 0x000000);
    setPixel(canvas, 9, 0, 0x202020);   // dark: black
    setPixel(canvas, 10, 0, 0xC0C0C0);  // light: white
    const auto mono = FrameImage::pack(canvas, 1);
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->clrUsed(), 2u);
    EXPECT_EQ(mono->sizeImage(), 80u * 480);
    EXPECT_EQ(tableColour(*mono, 0), 0x000000u);
    EXPECT_EQ(tableColour(*mono, 1), 0xFFFFFFu);
    const auto top = mono->rows().subspan(479 * 80, 80);
    EXPECT_EQ(top[0], 0x7F);
    EXPECT_EQ(top[1], 0xBF);
    EXPECT_EQ(top[2], 0xFF);
    EXPECT_EQ(mono->rows()[0], 0xFF);  // bottom row, all white

    setPixel(canvas, 1, 0, 0x0000FF);
    setPixel(canvas, 2, 0, 0x808000);
    setPixel(canvas, 3, 0, 0xC8C0C0);  // nearest silver
    const auto vga = FrameImage::pack(canvas, 4);
    ASSERT_TRUE(vga);
    EXPECT_EQ(vga->clrUsed(), 16u);
    const auto vgaTop = vga->rows().subspan(479 * 320, 320);
    EXPECT_EQ(vgaTop[0], 0x0C);  // black, blue
    EXPECT_EQ(vgaTop[1], 0x37);  // olive, silver
    EXPECT_EQ(tableColour(*vga, 12), 0x0000FFu);
    EXPECT_EQ(tableColour(*vga, 7), 0xC0C0C0u);
}

TEST(FrameImage, SixteenAndThirtyTwoBits) {
    FrameCanvas canvas(2, 1);
    setPixel(canvas, 0, 0, 0xFF8008);
    setPixel(canvas, 1, 0, 0x010203);
    const auto hi = FrameImage::pack(canvas, 16);
    ASSERT_TRUE(hi);
    EXPECT_EQ(hi->rows()[0] | hi->rows()[1] << 8, 31 << 10 | 16 << 5 | 1);
    const auto full = FrameImage::pack(canvas, 32);
    ASSERT_TRUE(full);
    const std::vector<std::uint8_t> want{0x08, 0x80, 0xFF, 0, 0x03, 0x02, 0x01, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(full->rows().begin(), full->rows().end()), want);
}

TEST(FrameImage, NothingToPack) {
    for (std::uint16_t depth : {0, 2, 3, 12, 48, 0xFFFF}) {
        EXPECT_FALSE(FrameImage::pack(FrameCanvas(4, 4), depth)) << depth;
    }
    struct Size {
        std::int32_t w, h;
    } sizes[] = {{0, 480},      {640, 0}, {-640, 480}, {640, -1}, {FrameImage::kMaxSide + 1, 1},
                 {1, INT32_MAX}};
    for (const auto& s : sizes) {
        FrameCanvas canvas(s.w, s.h);
        EXPECT_TRUE(canvas.empty());
        EXPECT_EQ(canvas.width, 0);
        EXPECT_FALSE(FrameImage::pack(canvas, 24)) << s.w << " x " << s.h;
    }
}

}  // namespace
}  // namespace vorlix
