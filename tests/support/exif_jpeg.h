// A JPEG given an EXIF orientation (1 to 8), as a camera or phone writes it.
#pragma once

#include <cstdint>
#include <vector>

namespace vorlix::testing {

inline std::vector<std::uint8_t> withOrientation(std::vector<std::uint8_t> jpeg,
                                                 std::uint8_t value) {
    const std::vector<std::uint8_t> app1 = {
        0xFF, 0xE1,  0,    34,   'E', 'x', 'i', 'f', 0, 0,  // APP1
        'M',  'M',   0,    42,   0,   0,   0,   8,          // TIFF
        0,    1,     0x01, 0x12, 0,   3,   0,   0,   0, 1,
        0,    value, 0,    0,    0,   0,   0,   0};  // one entry, no next directory
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

}  // namespace vorlix::testing
