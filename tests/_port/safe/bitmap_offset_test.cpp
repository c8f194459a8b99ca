// Where the pixel rows of a bitmap start: at bfOffBits when that points past the headers and
// colour table and inside the file, else straight after the colour table.
#include <gtest/gtest.h>

#include "support/bmp_writer.h"
#include "support/scratch_dir.h"
#include "video/slide_bitmap.h"

namespace vorlix {
namespace {

using testing::BmpHeader;

// Blue, green, red of pixel (x, y) from the top.
std::uint32_t pixel(const SlideBitmap& b, int x, int y) {
    const std::uint8_t* p = b.row(y) + 3 * x;
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

TEST(BitmapOffset, RowsAreFoundWhereTheFileHeaderPutsThem) {
    const auto colour = [](int x, int y) {
        return 0x102030u * static_cast<std::uint32_t>(1 + x + 3 * y);
    };
    struct Case {
        const char* what;
        BmpHeader header;
        std::uint32_t gap;     // junk bytes between the table and the rows
        std::int64_t offBits;  // -1: the true offset; else this value
    } cases[] = {
        {"24 bits, gap", {.width = 3, .height = 2}, 10, -1},
        {"24 bits with a colour table",
         {.width = 3, .height = -2, .clrUsed = 2, .table = {1, 2}},
         0,
         -1},
        {"8 bits, gap", {.width = 3, .height = 2, .bitCount = 8, .table = {}}, 6, -1},
        {"32 bits, bit fields, gap",
         {.width = 3,
          .height = 2,
          .bitCount = 32,
          .compression = 3,
          .masks = {0xFF0000, 0xFF00, 0xFF}},
         12,
         -1},
        {"offset past the end: the old rule", {.width = 3, .height = 2}, 0, 5000},
        {"offset inside the header: the old rule", {.width = 3, .height = 2}, 0, 20},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmpHeader& h = c.header;
        std::vector<std::uint32_t> palette;
        if (h.bitCount == 8) {
            for (std::uint32_t i = 0; i < 256; ++i) palette.push_back(colour(i % 3, i / 3 % 2));
            h.table = palette;
        }
        const auto rows = testing::encodeRows(h, [&](int x, int y) {
            return h.bitCount == 8 ? static_cast<std::uint32_t>(x + 3 * y) : colour(x, y);
        });
        auto file = testing::bmpFile(h, rows);
        const std::size_t rowsAt = file.size() - rows.size();
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(rowsAt), c.gap, 0xEE);
        const std::uint32_t off = c.offBits < 0 ? static_cast<std::uint32_t>(rowsAt + c.gap)
                                                : static_cast<std::uint32_t>(c.offBits);
        for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<std::uint8_t>(off >> (8 * i));

        testing::ScratchDir dir;
        ASSERT_TRUE(testing::writeFile(dir.file("s.bmp"), file));
        for (const auto& bmp :
             {SlideBitmap::decode(file), SlideBitmap::readFile(dir.file("s.bmp"))}) {
            ASSERT_TRUE(bmp);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(pixel(*bmp, x, y), colour(x, y)) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace vorlix
