#include "video/frame_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vorlix {
namespace {

void setPixel(FrameCanvas& c, int x, int y, std::uint32_t rgb) {
    for (int i = 0; i < 3; ++i) c.row(y)[3 * x + i] = static_cast<std::uint8_t>(rgb >> (8 * i));
}
// The table colour (0xRRGGBB) of an index.
std::uint32_t tableColour(const FrameImage& img, std::uint32_t index) {
    std::uint32_t v;
    std::memcpy(&v, img.format().data() + FrameImage::kHeaderSize + 4 * index, 4);
    return v & 0xFFFFFF;
}

TEST(FrameImage, BlockLayoutAtEveryDepth) {
    struct Case {
        std::uint16_t depth;
        std::int32_t width;
        std::uint32_t stride, colours;
    } cases[] = {{1, 33, 8, 2},      {4, 9, 8, 16},      {8, 641, 644, 256},
                 {16, 641, 1284, 0}, {24, 641, 1924, 0}, {32, 641, 2564, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " bits, width " + std::to_string(c.width));
        const auto img = FrameImage::pack(FrameCanvas(c.width, 3), c.depth);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->block().size(), 40 + 4 * c.colours + 3 * c.stride);
        std::int32_t header[4];  // size, width, height (bottom-up), planes and bits
        std::memcpy(header, img->block().data(), sizeof header);
        EXPECT_EQ(std::vector(header, header + 4), (std::vector{40, c.width, 3, 1 | c.depth << 16}));
        EXPECT_EQ(img->sizeImage(), 3 * c.stride);
        EXPECT_EQ(img->clrUsed(), c.colours);
        EXPECT_EQ(img->rows().data(), img->block().data() + 40 + 4 * c.colours);
    }
}

TEST(FrameImage, PackedPixelsOfTheTopRowAtEachDepth) {
    // A white 20 x 2 canvas with a few pixels set on its top row (the last row in the block).
    struct Case {
        std::uint16_t depth;
        std::vector<std::uint32_t> pixels;
        std::vector<std::uint8_t> packed;  // the top row's first bytes
    } cases[] = {
        // Dark shows black, light white; most significant bit first.
        {1, {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
             0x202020, 0xC0C0C0}, {0x7F, 0xBF}},
        {4, {0x000000, 0x0000FF, 0x808000, 0xC8C0C0}, {0x0C, 0x37}},  // olive, the silver nearest
        {16, {0xFF8008, 0x010203}, {0x01, 0x7E, 0x00, 0x00}},         // 5-5-5
        {32, {0xFF8008, 0x010203}, {0x08, 0x80, 0xFF, 0, 0x03, 0x02, 0x01, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        FrameCanvas canvas(20, 2);
        canvas.fillWhite();
        for (std::size_t x = 0; x < c.pixels.size(); ++x) setPixel(canvas, int(x), 0, c.pixels[x]);
        const auto img = FrameImage::pack(canvas, c.depth);
        ASSERT_TRUE(img);
        const auto top = img->rows().subspan(FrameImage::strideFor(20, c.depth), c.packed.size());
        EXPECT_EQ(std::vector<std::uint8_t>(top.begin(), top.end()), c.packed);
    }
    // The tables: black and white, and the Windows VGA palette.
    const auto one = FrameImage::pack(FrameCanvas(1, 1), 1), four = FrameImage::pack(FrameCanvas(1, 1), 4);
    EXPECT_EQ(std::vector({tableColour(*one, 0), tableColour(*one, 1)}), (std::vector<std::uint32_t>{0, 0xFFFFFF}));
    const std::uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (std::uint32_t i = 0; i < 16; ++i) EXPECT_EQ(tableColour(*four, i), vga[i]) << i;
}

TEST(FrameImage, EightBitsMapToTheNearestOfDistinctPaletteColours) {
    struct Case {
        std::uint32_t colour, shown;
    } cases[] = {{0xFF0000, 0xFF0000}, {0x0000FF, 0x0000FF}, {0xFFFFFF, 0xFFFFFF},
                 {0x336699, 0x336699}, {0xCC9966, 0xCC9966}, {0x30649A, 0x336699}};
    FrameCanvas canvas(256, 2);
    for (int level = 0; level < 256; ++level) setPixel(canvas, level, 0, 0x010101u * level);
    setPixel(canvas, 128, 0, 0x7E8082);  // nearly grey
    for (std::size_t i = 0; i < std::size(cases); ++i) setPixel(canvas, int(i), 1, cases[i].colour);
    const auto img = FrameImage::pack(canvas, 8);
    ASSERT_TRUE(img);
    const auto rows = img->rows();  // bottom row (y = 1) first
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(tableColour(*img, rows[i]), cases[i].shown) << std::hex << cases[i].colour;
    for (int level = 0; level < 256; ++level) {  // greys stay grey, and near their level
        const std::uint32_t shown = tableColour(*img, rows[256 + level]);
        EXPECT_EQ(shown, (shown & 0xFF) * 0x010101u) << level;
        EXPECT_NEAR(static_cast<int>(shown & 0xFF), level, 3) << level;
    }
    for (std::uint32_t a = 0; a < 256; ++a)  // no colour of the table wasted on a duplicate
        for (std::uint32_t b = a + 1; b < 256; ++b)
            ASSERT_NE(tableColour(*img, a), tableColour(*img, b)) << a << " " << b;
}

TEST(FrameImage, NothingToPack) {
    for (std::uint16_t depth : {0, 2, 12, 48})
        EXPECT_FALSE(FrameImage::pack(FrameCanvas(4, 4), depth)) << depth;
    struct Size {
        std::int32_t w, h;
    } sizes[] = {{0, 480}, {640, 0}, {-640, 480}, {FrameImage::kMaxSide + 1, 1}, {1, INT32_MAX}};
    for (const auto& s : sizes) EXPECT_FALSE(FrameImage::pack(FrameCanvas(s.w, s.h), 24)) << s.w << " x " << s.h;
}

}  // namespace
}  // namespace vorlix
