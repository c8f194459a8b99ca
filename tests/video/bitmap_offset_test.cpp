// A bitmap's rows are read at bfOffBits when that points past the headers and colour table and
// inside the file (a gap before the rows, a table in a 24-bit file), else right after the table.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "video/slide_bitmap.h"

namespace vorlix {
namespace {

using testing::Bytes;

std::vector<std::uint32_t> pixelsOf(const std::optional<SlideBitmap>& b) {
    std::vector<std::uint32_t> out;
    for (int y = 0; b && y < b->height(); ++y)
        for (const std::uint8_t* p = b->row(y); p < b->row(y) + 3 * b->width(); p += 3)
            out.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
    return out;
}

TEST(BitmapOffset, RowsAreReadWhereTheFileHeaderPutsThem) {
    // seed, bytes put before its rows, biClrUsed written, bfOffBits (0: where the rows now are)
    const std::tuple<const char*, std::uint32_t, std::uint32_t, std::uint32_t> cases[] = {
        {"24bit-4x3.bmp", 10, 0, 0},    {"8bit-3x2-clr4.bmp", 6, 4, 0},
        {"32bit-v5-2x2.bmp", 12, 0, 0}, {"16bit-565-3x2.bmp", 2, 0, 0},
        {"24bit-4x3.bmp", 8, 2, 0},                                   // a table in a 24-bit file
        {"24bit-4x3.bmp", 0, 0, 5000},  {"24bit-4x3.bmp", 0, 0, 20},  // past the end, in the header
        {"24bit-4x3.bmp", 0, 0, 90},                                  // at the end (its size)
    };
    testing::ScratchDir dir;
    for (const auto& [name, gap, clrUsed, offBits] : cases) {
        SCOPED_TRACE(std::string(name) + " +" + std::to_string(gap) + " @" +
                     std::to_string(offBits));
        const Bytes seed =
            testing::readBytes(VORLIX_SOURCE_DIR "/fuzz/seeds/slide_bitmap/" + std::string(name));
        const std::uint32_t rowsAt = testing::le32(seed, 10);
        Bytes file = seed;
        file.insert(file.begin() + rowsAt, gap, 0xEE);
        file = testing::patched(file, {{46, clrUsed}, {10, offBits ? offBits : rowsAt + gap}});
        testing::writeFile(dir.file("s.bmp"), file);
        const auto want = pixelsOf(SlideBitmap::decode(seed));
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(pixelsOf(SlideBitmap::decode(file)), want);
        EXPECT_EQ(pixelsOf(SlideBitmap::readFile(dir.file("s.bmp"))), want);
    }
}

}  // namespace
}  // namespace vorlix
