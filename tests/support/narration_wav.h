// Narration files for the conversion tests: unsigned 8-bit mono 44100 Hz PCM.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace vorlix::testing {

// A recognisable, non-repeating sequence of samples.
inline std::vector<std::uint8_t> narrationSamples(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 2463534242u;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<std::uint8_t>(x);
    }
    return v;
}

// complete = false leaves the two length fields as a recording cut short leaves them.
inline void writeNarration(const std::string& path, const std::vector<std::uint8_t>& samples,
                           bool complete = true) {
    auto le32 = [](std::vector<std::uint8_t>& b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    std::vector<std::uint8_t> b;
    const std::uint32_t n = complete ? static_cast<std::uint32_t>(samples.size()) : 0;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    le32(b, n + 36);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le32(b, 16);
    b.insert(b.end(), {1, 0, 1, 0});
    le32(b, 44100);
    le32(b, 44100);
    b.insert(b.end(), {1, 0, 8, 0, 'd', 'a', 't', 'a'});
    le32(b, n);
    b.insert(b.end(), samples.begin(), samples.end());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

}  // namespace vorlix::testing
