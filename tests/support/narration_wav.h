// WAVE files for the conversion tests: honest narrations (unsigned 8-bit mono 44100 Hz PCM) and
// headers as crashes and other programs leave them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace vorlix::testing {

struct Wav {
    std::uint16_t tag = 1, channels = 1, bits = 8;
    std::uint32_t rate = 44100;
    std::uint32_t riffSize = 0;   // 0: the right one
    std::int64_t dataField = -1;  // -1: the right one
    bool extraChunk = false;      // a LIST chunk of odd size between fmt and data
    std::vector<std::uint8_t> samples = {};
};

inline std::vector<std::uint8_t> wavBytes(const Wav& w) {
    std::vector<std::uint8_t> b;
    auto id = [&](const char* s) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(s[i]));
    };
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint16_t align = static_cast<std::uint16_t>(w.channels * w.bits / 8);
    id("RIFF");
    put(w.riffSize, 4);
    id("WAVE");
    id("fmt ");
    put(16, 4);
    put(w.tag, 2);
    put(w.channels, 2);
    put(w.rate, 4);
    put(w.rate * align, 4);
    put(align, 2);
    put(w.bits, 2);
    if (w.extraChunk) {
        id("LIST");
        put(3, 4);
        id("abc\0");
    }
    id("data");
    put(w.dataField < 0 ? static_cast<std::uint32_t>(w.samples.size())
                        : static_cast<std::uint32_t>(w.dataField),
        4);
    b.insert(b.end(), w.samples.begin(), w.samples.end());
    if (w.riffSize == 0) {
        const std::uint32_t size = static_cast<std::uint32_t>(b.size() - 8);
        std::memcpy(&b[4], &size, 4);
    }
    return b;
}

// A recognisable, non-repeating sequence of samples.
inline std::vector<std::uint8_t> narrationSamples(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 2463534242u;
    for (std::uint8_t& s : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s = static_cast<std::uint8_t>(x);
    }
    return v;
}

// complete = false leaves the two length fields (36 and 0) as a recording cut short leaves them.
inline void writeNarration(const std::string& path, const std::vector<std::uint8_t>& samples,
                           bool complete = true) {
    writeFile(path, wavBytes({.riffSize = complete ? 0u : 36u,
                              .dataField = complete ? -1 : 0,
                              .samples = samples}));
}

}  // namespace vorlix::testing
