#include "video/slide_bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/bmp_writer.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

using testing::bmpFile;
using testing::BmpHeader;
using testing::encodeRows;

std::uint32_t pixelAt(const SlideBitmap& b, int x, int y) {
    const std::uint8_t* p = b.row(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

// Decodes the file and compares every pixel with want(x, y), 0xRRGGBB.
void expectPixels(const std::vector<std::uint8_t>& file, int w, int h,
                  const std::function<std::uint32_t(int, int)>& want) {
    const auto bmp = SlideBitmap::decode(file);
    ASSERT_TRUE(bmp);
    ASSERT_EQ(bmp->width(), w);
    ASSERT_EQ(bmp->height(), h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) ASSERT_EQ(pixelAt(*bmp, x, y), want(x, y)) << x << "," << y;
    }
}

// A table of distinct colours, one per index.
std::vector<std::uint32_t> distinctTable(std::size_t n) {
    std::vector<std::uint32_t> t;
    for (std::size_t i = 0; i < n; ++i)
        t.push_back(0x010203u * static_cast<std::uint32_t>(i) ^ 0x804020u);
    return t;
}

TEST(SlideBitmap, IndexedDepthsAndTableSizes) {
    struct Case {
        std::uint16_t bits;
        std::uint32_t clrUsed;  // 0: the full 2^bits
        std::int32_t width;     // odd widths leave padding in every row
    } cases[] = {
        {1, 0, 13}, {1, 1, 9},  {4, 0, 7},   {4, 3, 11},
        {8, 0, 9},  {8, 16, 6}, {8, 256, 3}, {4, 40, 7},  // oversized for 4 bits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, biClrUsed " + std::to_string(c.clrUsed));
        const std::uint32_t entries = c.clrUsed ? c.clrUsed : 1u << c.bits;
        BmpHeader h{.width = c.width, .height = 5, .bitCount = c.bits, .clrUsed = c.clrUsed};
        h.table = distinctTable(entries);
        const std::uint32_t slots = 1u << c.bits;
        auto index = [&](int x, int y) {
            return static_cast<std::uint32_t>(x * 7 + y * 3) % slots;
        };
        // An index past the table's entries shows black.
        expectPixels(bmpFile(h, encodeRows(h, index)), c.width, 5, [&](int x, int y) {
            return index(x, y) < entries ? h.table[index(x, y)] : 0;
        });
    }
}

TEST(SlideBitmap, DirectColourDepthsMasksAndHeaders) {
    // Each case stores a row of raw pixels its own way; row y shows them shifted left by y.
    const std::vector<std::uint32_t> rgb = {0x123456, 0xFFFFFF, 0, 0xABCDEF};
    const std::vector<std::uint32_t> p565 = {0xF800, 0x07E0, 0x001F, 0x8410, 0xFFFF};
    const std::vector<std::uint32_t> s565 = {0xFF0000, 0x00FF00, 0x0000FF, 0x848284, 0xFFFFFF};
    const std::vector<std::uint32_t> masks565 = {0xF800, 0x07E0, 0x001F};
    struct Case {
        const char* name;
        BmpHeader header;
        std::vector<std::uint32_t> stored, shown;
    } cases[] = {
        {"24 bits", {.bitCount = 24}, rgb, rgb},
        {"24 bits top-down", {.height = -1, .bitCount = 24}, rgb, rgb},
        {"24 bits in a V4 header", {.bitCount = 24, .infoSize = 108}, rgb, rgb},
        {"32 bits, alpha byte ignored",
         {.bitCount = 32},
         {0x7F123456, 0xFFABCDEF, 0x80000000},
         {0x123456, 0xABCDEF, 0}},
        {"16 bits 5-5-5, top bit ignored",
         {.bitCount = 16},
         {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x4210, 0x8000},
         {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0}},
        {"16 bits 5-6-5 masks", {.bitCount = 16, .compression = 3, .masks = masks565}, p565, s565},
        {"16 bits 5-6-5 in a 56-byte header",
         {.bitCount = 16, .compression = 3, .infoSize = 56, .masks = masks565},
         p565,
         s565},
        {"32 bits masks, blue on top",
         {.bitCount = 32, .compression = 3, .masks = {0x0000FF00, 0x00FF0000, 0xFF000000}},
         {0x56341200, 0x000000FF},
         {0x123456, 0}},
        {"32 bits masks in a V5 header",
         {.bitCount = 32, .compression = 3, .infoSize = 124, .masks = {0xFF0000, 0xFF00, 0xFF}},
         {0xFF123456, 0xABCDEF},
         {0x123456, 0xABCDEF}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.stored.size());
        c.header.width = n;
        c.header.height = c.header.height < 0 ? -2 : 2;
        expectPixels(
            bmpFile(c.header,
                    encodeRows(c.header, [&](int x, int y) { return c.stored[(x + y) % n]; })),
            n, 2, [&](int x, int y) { return c.shown[(x + y) % n]; });
    }
}

TEST(SlideBitmap, RowsFollowTheColourTableWhateverTheFileHeaderSays) {
    // bfOffBits and bfSize are both wrong; the rows still come straight after the table.
    const BmpHeader h{.width = 3,
                      .height = 2,
                      .bitCount = 8,
                      .clrUsed = 2,
                      .table = {0x112233, 0x445566},
                      .bfSize = 20,
                      .bfOffBits = 4000};
    auto file = bmpFile(h, encodeRows(h, [](int x, int y) { return (x + y) & 1; }));
    file[0] = 'X';  // nor is the signature looked at
    expectPixels(file, 3, 2, [&](int x, int y) { return h.table[(x + y) & 1]; });
}

TEST(SlideBitmap, ShortFileReadsMissingBytesAsZeros) {
    const auto full = testing::bmp24(4, 4, [](int, int) { return 0xFFFFFFu; });
    // Cut after the headers, halfway through the second row, and one byte short.
    for (std::size_t cut : {std::size_t{54}, std::size_t{54 + 12 + 6}, full.size() - 1}) {
        SCOPED_TRACE(cut);
        expectPixels({full.begin(), full.begin() + cut}, 4, 4, [&](int x, int y) {
            const std::size_t first = 54 + (3 - y) * 12 + x * 3;  // byte offset of blue
            std::uint32_t want = 0;
            for (int k = 0; k < 3; ++k) want |= (first + k < cut ? 0xFFu : 0u) << (8 * k);
            return want;
        });
    }
}

TEST(SlideBitmap, RunLengthEncodedRows) {
    struct Case {
        const char* name;
        std::uint16_t bits;  // 8: RLE8, 4: RLE4
        std::vector<std::uint8_t> data;
        const char* rows;  // indexes in hex, top row first
    } cases[] = {
        {"RLE8 runs, absolute, end of line, delta and end of bitmap",
         8,
         {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 2, 7, 0, 2, 0, 1, 0, 1},
         "000000"
         "770000"
         "555123"},
        {"RLE8 run cut at the right edge, delta right and up",
         8,
         {9, 4, 0, 0, 0, 2, 3, 1, 1, 6, 0, 1},
         "000600"
         "000000"
         "444444"},
        {"RLE4 nibble runs and absolute",
         4,
         {5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1},
         "000000"
         "abc000"
         "121210"},
        {"RLE8 data ending without a code",
         8,
         {2, 9, 1},
         "000000"
         "000000"
         "990000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpHeader h{
            .width = 6, .height = 3, .bitCount = c.bits, .compression = c.bits == 8 ? 1u : 2u};
        h.table = distinctTable(1u << c.bits);
        expectPixels(bmpFile(h, c.data), 6, 3, [&](int x, int y) {
            return h.table[std::stoi(std::string(1, c.rows[6 * y + x]), nullptr, 16)];
        });
    }
}

TEST(SlideBitmap, HostileHeadersAreRefused) {
    struct Case {
        const char* name;
        BmpHeader header;
    } cases[] = {
        {"zero width", {.width = 0, .height = 4}},
        {"negative width", {.width = -4, .height = 4}},
        {"zero height", {.width = 4, .height = 0}},
        {"most negative height", {.width = 4, .height = INT32_MIN}},
        {"too wide", {.width = SlideBitmap::kMaxSide + 1, .height = 1}},
        {"too tall top-down", {.width = 1, .height = -SlideBitmap::kMaxSide - 1}},
        {"too many pixels", {.width = 16384, .height = 16384}},
        {"2 bits", {.width = 4, .height = 4, .bitCount = 2}},
        {"0 bits (JPEG or PNG inside)", {.width = 4, .height = 4, .bitCount = 0, .compression = 4}},
        {"64 bits", {.width = 4, .height = 4, .bitCount = 64}},
        {"JPEG payload", {.width = 4, .height = 4, .bitCount = 24, .compression = 4}},
        {"PNG payload", {.width = 4, .height = 4, .bitCount = 24, .compression = 5}},
        {"alpha bit fields", {.width = 4, .height = 4, .bitCount = 32, .compression = 6}},
        {"RLE8 at 24 bits", {.width = 4, .height = 4, .bitCount = 24, .compression = 1}},
        {"RLE4 at 8 bits", {.width = 4, .height = 4, .bitCount = 8, .compression = 2}},
        {"top-down RLE8", {.width = 4, .height = -4, .bitCount = 8, .compression = 1}},
        {"bit fields at 24 bits", {.width = 4, .height = 4, .bitCount = 24, .compression = 3}},
        {"12-byte core header", {.width = 4, .height = 4, .infoSize = 12}},
        {"header longer than any version", {.width = 4, .height = 4, .infoSize = 125}},
        {"257 colours", {.width = 4, .height = 4, .bitCount = 8, .clrUsed = 257}},
        {"4 billion colours", {.width = 4, .height = 4, .bitCount = 8, .clrUsed = 0xFFFFFFFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = bmpFile(c.header, std::vector<std::uint8_t>(64, 0x55));
        EXPECT_FALSE(SlideBitmap::decode(file));
        EXPECT_FALSE(SlideBitmap::bytesUsed(file));
    }
    EXPECT_FALSE(SlideBitmap::decode(std::span<const std::uint8_t>{}));
    const auto header = bmpFile({.width = 2, .height = 2}, {});
    // Cut before the height: it reads as 0. Cut after the bit count: the rest reads as zeros,
    // which is an uncompressed bitmap of black rows.
    EXPECT_FALSE(SlideBitmap::decode(std::span(header).first(22)));
    EXPECT_TRUE(SlideBitmap::decode(std::span(header).first(30)));
}

TEST(SlideBitmap, LargestSlidesFromTinyFilesUseOnlyWhatTheRowsNeed) {
    // A header claiming the largest slide, and nothing after it: read, all black.
    const auto file = bmpFile({.width = 7680, .height = -4320}, {});
    ASSERT_EQ(SlideBitmap::bytesUsed(file), 54u + 7680ull * 3 * 4320);
    const auto bmp = SlideBitmap::decode(file);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(pixelAt(*bmp, 7679, 4319), 0u);
    // A 1-bit row needs its padded stride, not a byte a pixel.
    EXPECT_EQ(SlideBitmap::bytesUsed(bmpFile({.width = 33, .height = 2, .bitCount = 1}, {})),
              54u + 8 + 2 * 8);
}

TEST(SlideBitmapFile, ReadsFilesAndRefusesWhatIsNoPlainFile) {
    testing::ScratchDir dir;
    auto file =
        testing::bmp24(3, 2, [](int x, int y) { return x == 2 && y == 1 ? 0xABCDEFu : 0x010101u; });
    file.resize(file.size() + 1000, 0x77);  // trailing bytes are not the slide's
    const auto path = dir.file("スライド1.bmp");
    ASSERT_TRUE(testing::writeFile(path, file));
    const auto bmp = SlideBitmap::readFile(path);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(pixelAt(*bmp, 2, 1), 0xABCDEFu);
    EXPECT_EQ(pixelAt(*bmp, 0, 0), 0x010101u);
    // A file cut short is still read: its missing rows show black.
    ASSERT_TRUE(testing::writeFile(path, {file.begin(), file.begin() + 54 + 8}));
    const auto cut = SlideBitmap::readFile(path);
    ASSERT_TRUE(cut);
    EXPECT_EQ(pixelAt(*cut, 0, 0), 0u);

    EXPECT_FALSE(SlideBitmap::readFile(dir.file("スライド2.bmp")));
    EXPECT_FALSE(SlideBitmap::readFile(dir.path().string()));
    EXPECT_FALSE(SlideBitmap::readFile(""));
}

}  // namespace
}  // namespace vorlix
