#include "recording/sample_narrowing.h"

#include <algorithm>

namespace vorlix {

void SampleNarrowing::narrow(std::span<const std::uint8_t> s16le, std::span<std::uint8_t> out) {
    const std::size_t n = std::min(s16le.size() / 2, out.size());
    std::uint32_t x = noise_;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const std::int32_t s = static_cast<std::int16_t>(s16le[2 * i] | s16le[2 * i + 1] << 8);
        // Floor of (s + noise) / 256 with noise in 0..255: on average exactly s / 256.
        const std::int32_t v = ((s + static_cast<std::int32_t>(x >> 24)) >> 8) + 128;
        out[i] = static_cast<std::uint8_t>(std::min(v, 255));
    }
    noise_ = x;
}

}  // namespace vorlix
