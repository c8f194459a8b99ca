// A small Windows bitmap writer for tests, benchmarks and fuzz seeds: any header the reader
// may meet, honest or not.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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
            switch (h.bitCount) {
                case 1:
                    row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    row[x] = static_cast<std::uint8_t>(v);
                    break;
                case 16:
                    row[2 * x] = static_cast<std::uint8_t>(v);
                    row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                    break;
                case 24:
                    row[3 * x] = static_cast<std::uint8_t>(v);
                    row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                    row[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
                    break;
                case 32:
                    for (int i = 0; i < 4; ++i)
                        row[4 * x + i] = static_cast<std::uint8_t>(v >> (8 * i));
                    break;
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
    out.push_back('B');
    out.push_back('M');
    putLe(out, h.bfSize ? h.bfSize : offBits + static_cast<std::uint32_t>(rows.size()), 4);
    putLe(out, 0, 4);
    putLe(out, h.bfOffBits ? h.bfOffBits : offBits, 4);
    putLe(out, h.infoSize, 4);
    putLe(out, static_cast<std::uint32_t>(h.width), 4);
    putLe(out, static_cast<std::uint32_t>(h.height), 4);
    putLe(out, 1, 2);
    putLe(out, h.bitCount, 2);
    putLe(out, h.compression, 4);
    putLe(out, static_cast<std::uint32_t>(rows.size()), 4);
    putLe(out, 2835, 4);
    putLe(out, 2835, 4);
    putLe(out, h.clrUsed, 4);
    putLe(out, 0, 4);
    std::vector<std::uint8_t> extra(h.infoSize > 40 ? h.infoSize - 40 : 0, 0);
    for (std::size_t i = 0; i < h.masks.size() && 4 * i + 4 <= extra.size(); ++i) {
        for (int k = 0; k < 4; ++k)
            extra[4 * i + k] = static_cast<std::uint8_t>(h.masks[i] >> (8 * k));
    }
    out.insert(out.end(), extra.begin(), extra.end());
    if (masksAfter) {
        for (std::size_t i = 0; i < 3; ++i) putLe(out, i < h.masks.size() ? h.masks[i] : 0, 4);
    }
    for (std::uint32_t c : h.table) putLe(out, c & 0xFFFFFF, 4);
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

// A 24-bit bottom-up file of the given pixels (0xRRGGBB, y from the top).
inline std::vector<std::uint8_t> bmp24(int width, int height,
                                       const std::function<std::uint32_t(int, int)>& rgb) {
    BmpHeader h;
    h.width = width;
    h.height = height;
    return bmpFile(h, encodeRows(h, rgb));
}

inline bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace vorlix::testing
