#include "video/slide_bitmap.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::Bytes;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, top row first
const std::string kSeeds = VORLIX_SOURCE_DIR "/fuzz/seeds/slide_bitmap/";

Pixels pixelsOf(const SlideBitmap& b) {
    Pixels out;
    for (int y = 0; y < b.height(); ++y)
        for (const std::uint8_t* p = b.row(y); p < b.row(y) + 3 * b.width(); p += 3)
            out.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
    return out;
}
// A seed file with fields written over it, cut at `cut`.
Bytes seed(const std::string& name, const std::vector<testing::Patch>& patches = {},
           std::size_t cut = 1 << 30) {
    Bytes f = testing::patched(testing::readBytes(kSeeds + name), patches);
    return f.resize(std::min(f.size(), cut)), f;
}

// Every seed reads as Qt's own reader reads it (at 16 bits Qt widens a channel by shifting, we
// scale it; RLE pixels no run reaches Qt leaves undefined: those have their own table below).
TEST(SlideBitmap, SeedsReadAsQtReadsThem) {
    for (const auto& entry : std::filesystem::directory_iterator(kSeeds)) {
        const std::string path = entry.path().string();
        if (path.find("/rle") != std::string::npos) continue;
        const QImage qt(QString::fromStdString(path));
        const auto ours = SlideBitmap::readFile(path);
        ASSERT_TRUE(ours) << path;
        ASSERT_EQ(std::pair(ours->width(), ours->height()), std::pair(qt.width(), qt.height()))
            << path;
        const Pixels got = pixelsOf(*ours);
        for (std::size_t i = 0; i < got.size(); ++i)
            for (int shift : {0, 8, 16})
                EXPECT_NEAR(got[i] >> shift & 0xFF,
                            qt.pixel(int(i) % qt.width(), int(i) / qt.width()) >> shift & 0xFF,
                            path.find("16bit") != std::string::npos ? 8 : 0)
                    << path << " pixel " << i;
    }
}

// What the seeds become with a few bytes changed, cut short or with other run-length data.
TEST(SlideBitmap, ChangedFilesShowTheirPixels) {
    const std::uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;
    // 30 pixels wide: rows padded to 96 bytes inside, less than four bytes a pixel.
    const Bytes wide = testing::bmpOf(30, 4, [](int, int) { return 0xFFFFFFu; });
    Pixels firstRowOnly(120, 0), halfSecondRow(120, 0);
    std::fill(firstRowOnly.begin() + 90, firstRowOnly.end(), white);
    std::fill(halfSecondRow.begin() + 60, halfSecondRow.end(), white);
    std::fill(halfSecondRow.begin() + 75, halfSecondRow.begin() + 90, 0);
    Pixels middle(3 * 32, 0);  // 32 pixels wide: a row copied whole would spill into the next
    std::fill(middle.begin() + 32, middle.begin() + 64, 0x050505);
    // 32 masked pixels fill a row inside exactly: the last one must not spill into the next.
    const std::vector<testing::Patch> masks = {{54, 0xFF00}, {58, 0xFF0000}, {62, 0xFF000000}};
    Bytes wide32 = seed("32bit-v5-2x2.bmp", {{18, 32}, masks[0], masks[1], masks[2]}, 138);
    wide32.resize(138 + 256, 0xFF), wide32.resize(138 + 260, 0);
    auto rle = [](const char* name, std::size_t at, Bytes data) {
        Bytes f = seed(name, {}, at);
        return f.insert(f.end(), data.begin(), data.end()), f;
    };
    auto grey = [](std::vector<int> levels, int blank = 12) {  // the upper rows stay index 0
        Pixels p(blank, 0);
        for (int l : levels) p.push_back(0x010101u * static_cast<std::uint32_t>(l));
        return p;
    };
    Bytes tall;  // 1 x 12: a run and an end of line for every row, the most data a row takes
    for (std::uint8_t r = 0; r < 12; ++r)
        tall.insert(tall.end(), {1, static_cast<std::uint8_t>(r % 8), 0, 0});
    // An index past the table; rows after the table whatever the file header says; 32-bit masks
    // with blue on top; 32 of them filling a row; 5-6-5 fields scaled to full range; files cut
    // after a row, in the middle of one.
    // RLE: runs cut at the right edge, rows of the most data, a delta right and up, absolute runs
    // of either length (padded to 16 bits, whatever the pad holds), data that simply ends, a row
    // reached between two that are not, RLE4 runs alternating their two nibbles, the high one
    // first.
    const std::tuple<const char*, Bytes, Pixels> cases[] = {
        {"index", seed("8bit-3x2-clr4.bmp", {{74, 9, 1}}), {0, green, blue, green, blue, 0}},
        {"header",
         seed("8bit-3x2-clr4.bmp", {{0, 'X', 1}, {2, 20}, {10, 4000}}),
         {red, green, blue, green, blue, 0}},
        {"masks", seed("32bit-v5-2x2.bmp", masks), {0x8040FF, 0x4020FF, 0x8040FF, 0x4020FF}},
        {"32 masked", wide32, Pixels(64, white)},
        {"5-6-5", seed("16bit-565-3x2.bmp"), {red, 0x00FB00, 0x0004F7, red, 0x00FB00, 0x0004F7}},
        {"cut", Bytes(wide.begin(), wide.begin() + 54 + 92), firstRowOnly},
        {"cut inside", Bytes(wide.begin(), wide.begin() + 54 + 92 + 45), halfSecondRow},
        {"RLE8 edges", rle("rle8-6x3.bmp", 86, {9, 4, 0, 0, 0, 2, 3, 1, 1, 6, 0, 1}),
         grey({0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4}, 0)},
        {"RLE8 tall", testing::patched(rle("rle8-6x3.bmp", 86, tall), {{18, 1}, {22, 12}}),
         grey({3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0}, 0)},
        {"RLE8 even", rle("rle8-6x3.bmp", 86, {0, 4, 1, 2, 3, 4, 2, 5}), grey({1, 2, 3, 4, 5, 5})},
        {"RLE8 middle", testing::patched(rle("rle8-6x3.bmp", 86, {0, 0, 32, 5, 0, 1}), {{18, 32}}),
         middle},
        {"RLE4 odd", rle("rle4-6x3.bmp", 118, {0, 5, 0x12, 0x34, 0x50, 0x77, 0, 1}),
         grey({0x11, 0x22, 0x33, 0x44, 0x55, 0})},
        {"RLE4 runs", rle("rle4-6x3.bmp", 118, {3, 0x12, 3, 0x34, 0, 1}),
         grey({0x11, 0x22, 0x11, 0x33, 0x44, 0x33})}};
    for (const auto& [name, file, pixels] : cases) {
        const auto bmp = SlideBitmap::decode(file);
        ASSERT_TRUE(bmp) << name;
        EXPECT_EQ(pixelsOf(*bmp), pixels) << name;
    }
}

TEST(SlideBitmap, HostileHeadersAreRefused) {
    const auto minus = [](std::int32_t v) { return static_cast<std::uint32_t>(-v); };
    // Width 0, negative, too wide; height 0, most negative, too tall top-down; too many pixels;
    // 2 bits; JPEG inside; RLE8 and bit fields at 24 bits; 12-byte and 125-byte headers.
    const std::vector<testing::Patch> fields[] = {{{18, 0}},
                                                  {{18, minus(4)}},
                                                  {{18, 16385}},
                                                  {{22, 0}},
                                                  {{22, 1u << 31}},
                                                  {{22, minus(16385)}},
                                                  {{18, 16384}, {22, 16384}},
                                                  {{28, 2, 2}},
                                                  {{30, 4}},
                                                  {{30, 1}},
                                                  {{30, 3}},
                                                  {{14, 12}},
                                                  {{14, 125}}};
    for (const auto& patches : fields)
        EXPECT_FALSE(SlideBitmap::bytesUsed(seed("24bit-4x3.bmp", patches))) << patches[0].at;
    // Alpha bit fields, RLE4 at 8 bits, top-down RLE, 257 colours.
    EXPECT_FALSE(SlideBitmap::decode(seed("32bit-v5-2x2.bmp", {{30, 6}})));
    EXPECT_FALSE(SlideBitmap::decode(seed("8bit-3x2-clr4.bmp", {{30, 2}})));
    EXPECT_FALSE(SlideBitmap::decode(seed("rle8-6x3.bmp", {{22, minus(3)}})));
    EXPECT_FALSE(SlideBitmap::decode(seed("8bit-3x2-clr4.bmp", {{46, 257}})));
    // Cut before the height: it reads as 0. Cut after the bit count: the rest reads as zeros.
    EXPECT_FALSE(SlideBitmap::decode(seed("24bit-4x3.bmp", {}, 22)));
    EXPECT_TRUE(SlideBitmap::decode(seed("24bit-4x3.bmp", {}, 30)));
    // What a file's rows need, to read no more of it: padded rows, 256 colours, the largest slide.
    EXPECT_EQ(SlideBitmap::bytesUsed(seed("1bit-9x3.bmp", {{18, 33}})), 62u + 3 * 8);
    EXPECT_EQ(SlideBitmap::bytesUsed(seed("8bit-3x2-clr4.bmp", {{46, 256}})), 54u + 4 * 256 + 8);
    EXPECT_EQ(SlideBitmap::bytesUsed(seed("24bit-4x3.bmp", {{18, 7680}, {22, 4320}})),
              54u + 7680ull * 3 * 4320);
}

}  // namespace
}  // namespace vorlix
