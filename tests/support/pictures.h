// Pictures for the frame tests: a photograph-like one and line art, as packed 24-bit rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vorlix::testing {

using Pixels = std::vector<std::uint8_t>;

// A photograph-like picture (smooth clouds of colour), made by ImageMagick from a fixed seed.
inline Pixels photograph(int w, int h) {
    Pixels out(static_cast<std::size_t>(w) * h * 3);
    FILE* p = popen(("convert -seed 14 -size " + std::to_string(w) + "x" + std::to_string(h) +
                     " plasma: -depth 8 bgr:-")
                        .c_str(),
                    "r");
    const std::size_t got = p != nullptr ? std::fread(out.data(), 1, out.size(), p) : 0;
    return p != nullptr && pclose(p) == 0 && got == out.size() ? out : Pixels{};
}

// Line art: one-pixel strokes in black and colour on white, at every phase of the shrink.
inline Pixels lineArt(int w, int h) {
    Pixels out(static_cast<std::size_t>(w) * h * 3, 0xFF);
    for (std::size_t i = 0; i < out.size(); i += 3) {
        const int x = static_cast<int>(i / 3 % w), y = static_cast<int>(i / 3 / w);
        if (x % 7 == 3 || y % 11 == 5) out[i] = out[i + 1] = out[i + 2] = 0;
        if ((x + 2 * y) % 29 == 0) out[i] = 0xC0, out[i + 1] = 0x20, out[i + 2] = 0x10;
    }
    return out;
}

}  // namespace vorlix::testing
