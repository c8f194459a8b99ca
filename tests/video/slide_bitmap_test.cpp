#include "video/slide_bitmap.h"

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "tests/support/files.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, top row first
const std::string kSeeds = VORLIX_SOURCE_DIR "/fuzz/seeds/slide_bitmap/";

std::uint32_t pixelAt(const SlideBitmap& b, int x, int y) {
    const std::uint8_t* p = b.row(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}
Pixels pixelsOf(const SlideBitmap& b) {
    Pixels out;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) out.push_back(pixelAt(b, x, y));
    return out;
}

// A seed file with little-endian fields (offset, value, bytes) written over it, cut at `cut`.
struct Patch {
    std::size_t at;
    std::uint32_t value;
    int bytes = 4;
};
Bytes seed(const std::string& name, std::vector<Patch> patches = {}, std::size_t cut = 1 << 30) {
    Bytes f = testing::readBytes(kSeeds + name);
    for (const Patch& p : patches)
        for (int i = 0; i < p.bytes; ++i) f[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
    f.resize(std::min(f.size(), cut));
    return f;
}

// Every seed reads as Qt's own reader reads it (at 16 bits Qt widens a channel by shifting,
// we scale it to the full range).
TEST(SlideBitmap, SeedsReadAsQtReadsThem) {
    int seeds = 0;
    for (const auto& entry : fs::directory_iterator(kSeeds)) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const QImage qt(QString::fromStdString(path));
        const auto ours = SlideBitmap::readFile(path);
        ASSERT_FALSE(qt.isNull());
        ASSERT_TRUE(ours);
        ASSERT_EQ(ours->width(), qt.width());
        ASSERT_EQ(ours->height(), qt.height());
        const int tolerance = path.find("16bit") != std::string::npos ? 8 : 0;
        for (int y = 0; y < qt.height(); ++y) {
            for (int x = 0; x < qt.width(); ++x) {
                const std::uint32_t got = pixelAt(*ours, x, y), want = qt.pixel(x, y);
                for (int shift : {0, 8, 16})
                    EXPECT_NEAR(got >> shift & 0xFF, want >> shift & 0xFF, tolerance) << x << "," << y;
            }
        }
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}

// What the seeds become with a few bytes changed, cut short or with other run-length data.
TEST(SlideBitmap, PatchedFilesShowTheirPixels) {
    const std::uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;
    // 30 pixels wide: the internal rows are padded to 96 bytes, less than four bytes a pixel.
    const Bytes wide = testing::bmpOf(30, 4, [](int, int) { return 0xFFFFFFu; });
    const std::size_t rows = testing::le32(wide, 10), stride = 92;
    Pixels firstRowOnly(120, 0), halfSecondRow(120, 0);
    std::fill(firstRowOnly.begin() + 90, firstRowOnly.end(), white);
    std::fill(halfSecondRow.begin() + 90, halfSecondRow.end(), white);
    std::fill(halfSecondRow.begin() + 60, halfSecondRow.begin() + 75, white);
    // 32 masked pixels fill an internal row exactly: the last one must not spill into the next.
    const std::vector<Patch> masks = {{54, 0xFF00}, {58, 0xFF0000}, {62, 0xFF000000}};
    Bytes wide32 = seed("32bit-v5-2x2.bmp", {{18, 32}, masks[0], masks[1], masks[2]}, 138);
    wide32.resize(138 + 256, 0xFF);
    wide32.resize(138 + 260, 0);
    auto rle = [](const char* name, std::size_t at, Bytes data) {
        Bytes f = seed(name);
        f.resize(at);
        f.insert(f.end(), data.begin(), data.end());
        return f;
    };
    struct Case {
        const char* name;
        Bytes file;
        Pixels pixels;
    } cases[] = {
        {"an index past the table shows black",
         seed("8bit-3x2-clr4.bmp", {{74, 9, 1}}),
         {0, green, blue, green, blue, 0}},
        {"rows follow the table whatever the file header says",
         seed("8bit-3x2-clr4.bmp", {{0, 'X', 1}, {2, 20}, {10, 4000}}),
         {red, green, blue, green, blue, 0}},
        {"32-bit masks, blue on top",
         seed("32bit-v5-2x2.bmp", masks), {0x8040FF, 0x4020FF, 0x8040FF, 0x4020FF}},
        {"32 masked pixels a row", wide32, Pixels(64, white)},
        {"cut after the first row: the rest black", Bytes(wide.begin(), wide.begin() + rows + stride),
         firstRowOnly},
        {"cut halfway through the second row",
         Bytes(wide.begin(), wide.begin() + rows + stride + 45), halfSecondRow},
        // Runs cut at the right edge, a delta right and up, absolute runs of either length
        // (padded to 16 bits, whatever the pad holds), data that simply ends.
        {"RLE8 edges", rle("rle8-6x3.bmp", 86, {9, 4, 0, 0, 0, 2, 3, 1, 1, 6, 0, 1}),
         {0, 0, 0, 0x060606, 0, 0, 0, 0, 0, 0, 0, 0, 0x040404, 0x040404, 0x040404, 0x040404,
          0x040404, 0x040404}},
        {"RLE8 absolute run of even length", rle("rle8-6x3.bmp", 86, {0, 4, 1, 2, 3, 4, 2, 5}),
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x010101, 0x020202, 0x030303, 0x040404, 0x050505,
          0x050505}},
        {"RLE4 absolute run of odd length",
         rle("rle4-6x3.bmp", 118, {0, 5, 0x12, 0x34, 0x50, 0x77, 0, 1}),
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bmp = SlideBitmap::decode(c.file);
        ASSERT_TRUE(bmp);
        EXPECT_EQ(pixelsOf(*bmp), c.pixels);
    }
}

TEST(SlideBitmap, HostileHeadersAreRefused) {
    const std::uint32_t minus4 = static_cast<std::uint32_t>(-4);
    struct Case {
        const char* seed;
        std::vector<Patch> patches;
    } cases[] = {
        {"24bit-4x3.bmp", {{18, 0}}},                       // zero width
        {"24bit-4x3.bmp", {{18, minus4}}},                  // negative width
        {"24bit-4x3.bmp", {{22, 0}}},                       // zero height
        {"24bit-4x3.bmp", {{22, 0x80000000}}},              // most negative height
        {"24bit-4x3.bmp", {{18, 16385}}},                   // too wide
        {"24bit-4x3.bmp", {{22, static_cast<std::uint32_t>(-16385)}}},  // too tall top-down
        {"24bit-4x3.bmp", {{18, 16384}, {22, 16384}}},      // too many pixels
        {"24bit-4x3.bmp", {{28, 2, 2}}},                    // 2 bits
        {"24bit-4x3.bmp", {{28, 64, 2}}},                   // 64 bits
        {"24bit-4x3.bmp", {{30, 4}}},                       // JPEG inside
        {"24bit-4x3.bmp", {{30, 5}}},                       // PNG inside
        {"24bit-4x3.bmp", {{30, 1}}},                       // RLE8 at 24 bits
        {"24bit-4x3.bmp", {{30, 3}}},                       // bit fields at 24 bits
        {"24bit-4x3.bmp", {{14, 12}}},                      // 12-byte core header
        {"24bit-4x3.bmp", {{14, 125}}},                     // longer than any header
        {"32bit-v5-2x2.bmp", {{30, 6}}},                    // alpha bit fields
        {"8bit-3x2-clr4.bmp", {{30, 2}}},                   // RLE4 at 8 bits
        {"rle8-6x3.bmp", {{22, static_cast<std::uint32_t>(-3)}}},  // top-down RLE
        {"8bit-3x2-clr4.bmp", {{46, 257}}},                 // 257 colours
        {"8bit-3x2-clr4.bmp", {{46, 0xFFFFFFFF}}},          // 4 billion colours
    };
    for (const auto& c : cases) {
        const Bytes file = seed(c.seed, c.patches);
        EXPECT_FALSE(SlideBitmap::decode(file)) << &c - cases;
        EXPECT_FALSE(SlideBitmap::bytesUsed(file)) << &c - cases;
    }
    EXPECT_FALSE(SlideBitmap::decode(std::span<const std::uint8_t>{}));
    // Cut before the height: it reads as 0. Cut after the bit count: the rest reads as zeros.
    EXPECT_FALSE(SlideBitmap::decode(seed("24bit-4x3.bmp", {}, 22)));
    EXPECT_TRUE(SlideBitmap::decode(seed("24bit-4x3.bmp", {}, 30)));
}

TEST(SlideBitmap, LargestSlidesFromTinyFilesUseOnlyWhatTheRowsNeed) {
    const Bytes file = seed("24bit-4x3.bmp", {{18, 7680}, {22, static_cast<std::uint32_t>(-4320)}}, 54);
    ASSERT_EQ(SlideBitmap::bytesUsed(file), 54u + 7680ull * 3 * 4320);
    const auto bmp = SlideBitmap::decode(file);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(pixelAt(*bmp, 7679, 4319), 0u);
    // A 1-bit row needs its padded stride, not a byte a pixel.
    EXPECT_EQ(SlideBitmap::bytesUsed(seed("1bit-9x3.bmp", {{18, 33}})), 62u + 3 * 8);
}

TEST(SlideBitmap, ReadsPlainFilesOnly) {
    testing::ScratchDir dir;
    Bytes file = testing::bmpOf(3, 2, [](int x, int y) { return x == 2 && y == 1 ? 0xABCDEFu : 0x010101u; });
    file.resize(file.size() + 1000, 0x77);  // trailing bytes are not the slide's
    const auto path = dir.file("スライド1.bmp");
    ASSERT_TRUE(testing::writeFile(path, file));
    const auto bmp = SlideBitmap::readFile(path);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(pixelsOf(*bmp), (Pixels{0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0xABCDEF}));
    EXPECT_FALSE(SlideBitmap::readFile(dir.file("スライド2.bmp")));
    EXPECT_FALSE(SlideBitmap::readFile(dir.path().string()));
}

}  // namespace
}  // namespace vorlix
