// A small Windows bitmap writer for tests, benchmarks and fuzz seeds: any header the reader
// may meet, honest or not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace vorlix::testing {

struct BmpHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: top-down
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t infoSize = 40;
    // Red, green, blue: in a longer header, or after a 40-byte one.
    std::vector<std::uint32_t> masks{};
    std::vector<std::uint32_t> table{};  // 0xRRGGBB entries, written as they stand
    std::uint32_t bfSize = 0;            // 0: the true size
    std::uint32_t bfOffBits = 0;         // 0: the true offset
};

inline void putLe(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::uint32_t rowStride(std::int32_t width, std::uint16_t bitCount) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4);
}

// Uncompressed rows in file order. value(x, y) with y from the top: a colour index at 8 bits
// or less, the raw pixel at 16 and 32 bits, 0xRRGGBB at 24.
inline std::vector<std::uint8_t> encodeRows(const BmpHeader& h,
                                            const std::function<std::uint32_t(int, int)>& value) {
    const int rows = h.height < 0 ? -h.height : h.height;
    const std::uint32_t stride = rowStride(h.width, h.bitCount);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * rows, 0);
    for (int r = 0; r < rows; ++r) {
        const int y = h.height < 0 ? r : rows - 1 - r;
        std::uint8_t* row = out.data() + static_cast<std::size_t>(r) * stride;
        for (int x = 0; x < h.width; ++x) {
            const std::uint32_t v = value(x, y);
            if (h.bitCount < 8) {  // most significant first
                const int bit = x * h.bitCount % 8;
                row[x * h.bitCount / 8] |= static_cast<std::uint8_t>((v & ((1u << h.bitCount) - 1))
                                                                     << (8 - h.bitCount - bit));
            } else {  // little-endian
                for (int i = 0; i < h.bitCount / 8; ++i)
                    row[x * (h.bitCount / 8) + i] = static_cast<std::uint8_t>(v >> (8 * i));
            }
        }
    }
    return out;
}

// The whole file: headers, masks, colour table, then the rows.
inline std::vector<std::uint8_t> bmpFile(const BmpHeader& h,
                                         const std::vector<std::uint8_t>& rows) {
    const bool masksAfter = !h.masks.empty() && h.infoSize < 52;
    const std::uint32_t offBits =
        14 + h.infoSize + (masksAfter ? 12 : 0) + 4 * static_cast<std::uint32_t>(h.table.size());
    std::vector<std::uint8_t> out;
    const std::uint32_t fields[][2] = {
        {'B' | 'M' << 8, 2},
        {h.bfSize ? h.bfSize : offBits + static_cast<std::uint32_t>(rows.size()), 4},
        {0, 4},
        {h.bfOffBits ? h.bfOffBits : offBits, 4},
        {h.infoSize, 4},
        {static_cast<std::uint32_t>(h.width), 4},
        {static_cast<std::uint32_t>(h.height), 4},
        {1, 2},
        {h.bitCount, 2},
        {h.compression, 4},
        {static_cast<std::uint32_t>(rows.size()), 4},
        {2835, 4},
        {2835, 4},
        {h.clrUsed, 4},
        {0, 4}};
    for (const auto& f : fields) putLe(out, f[0], static_cast<int>(f[1]));
    // The masks go into a longer header's first words, or after a shorter one.
    auto mask = [&](std::size_t i) { return i < h.masks.size() ? h.masks[i] : 0; };
    const std::uint32_t extra = h.infoSize > 40 ? h.infoSize - 40 : 0;
    for (std::size_t i = 0; i < extra / 4; ++i) putLe(out, mask(i), 4);
    out.resize(out.size() + extra % 4, 0);
    for (std::size_t i = 0; masksAfter && i < 3; ++i) putLe(out, mask(i), 4);
    for (std::uint32_t c : h.table) putLe(out, c & 0xFFFFFF, 4);
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

// A 24-bit bottom-up file of the given pixels (0xRRGGBB, y from the top).
inline std::vector<std::uint8_t> bmp24(int width, int height,
                                       const std::function<std::uint32_t(int, int)>& rgb) {
    const BmpHeader h{.width = width, .height = height};
    return bmpFile(h, encodeRows(h, rgb));
}

}  // namespace vorlix::testing
