#include "video/jpeg_planes.h"

#include <algorithm>
#include <array>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define VORLIX_SSSE3 1  // chosen at run time, where the processor has it
#endif
#endif

namespace vorlix {

namespace {

// Luma weights with 15 fraction bits; they sum to one, so white stays 255.
constexpr int kYr = 9798, kYg = 19235, kYb = 3735;
// Colour differences with 15 fraction bits; each set sums to zero, so grey stays at 128.
constexpr int kUr = -5529, kUg = -10855, kUb = 16384;
constexpr int kVr = 16384, kVg = -13720, kVb = -2664;
// A pixel pair's colour difference is kept with 7 fraction bits (at most 127.5 * 128, so a
// 16-bit value): the pair's sum of weighted values, 16 fraction bits, shifted down by 9.
constexpr int kPairShift = 9;
// Down the rows: the bicubic halving with 12 fraction bits over the eight rows from three above
// the output's first row to three below its second. The sum goes from 19 fraction bits to none.
constexpr std::array<int, 8> kDown = {-58, -173, 493, 1786, 1786, 493, -173, -58};
constexpr int kDownShift = 19;
constexpr int kDownStart = (128 << kDownShift) + (1 << (kDownShift - 1));  // grey, and rounding

// One source row: its luma, and its pairs' colour differences into u and v, from pixel `x` on.
void rowPortable(const std::uint8_t* p, std::int32_t x, std::int32_t width, std::uint8_t* luma,
                 std::int16_t* u, std::int16_t* v) {
    for (; x < width; x += 2) {
        int sum[3] = {};  // b, g, r of the pair
        for (int k = 0; k < 2; ++k) {
            const std::uint8_t* px = p + 3 * (x + k);
            luma[x + k] = static_cast<std::uint8_t>(
                (kYr * px[2] + kYg * px[1] + kYb * px[0] + (1 << 14)) >> 15);
            for (int c = 0; c < 3; ++c) sum[c] += px[c];
        }
        const int half = 1 << (kPairShift - 1);
        u[x / 2] = static_cast<std::int16_t>((kUr * sum[2] + kUg * sum[1] + kUb * sum[0] + half) >>
                                             kPairShift);
        v[x / 2] = static_cast<std::int16_t>((kVr * sum[2] + kVg * sum[1] + kVb * sum[0] + half) >>
                                             kPairShift);
    }
}

// One output row of a colour difference from its eight source rows, from sample `i` on.
void downPortable(const std::int16_t* const rows[8], std::int32_t i, std::int32_t n,
                  std::uint8_t* out) {
    for (; i < n; ++i) {
        int s = kDownStart;
        for (std::size_t k = 0; k < kDown.size(); ++k) s += kDown[k] * rows[k][i];
        out[i] = static_cast<std::uint8_t>(std::clamp(s >> kDownShift, 0, 255));
    }
}

#if defined(__SSE2__)
// Two 16-bit weights side by side, as _mm_madd_epi16 pairs them with the lanes of an unpack.
__m128i weightPair(int first, int second) {
    return _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(second) << 16) |
                                           (static_cast<unsigned>(first) & 0xFFFF)));
}

std::int32_t downSse2(const std::int16_t* const rows[8], std::int32_t n, std::uint8_t* out) {
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i lo = _mm_set1_epi32(kDownStart), hi = lo;
        for (std::size_t k = 0; k < kDown.size(); k += 2) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + i));
            const __m128i w = weightPair(kDown[k], kDown[k + 1]);
            lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), w));
            hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w));
        }
        const __m128i words =
            _mm_packs_epi32(_mm_srai_epi32(lo, kDownShift), _mm_srai_epi32(hi, kDownShift));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(words, words));
    }
    return i;
}
#endif

#if defined(VORLIX_SSSE3)
// The byte shuffles that gather channel c of 16 packed pixels, one for each of the three 16-byte
// loads that hold them: kGather[c][load]; -128 leaves a byte to the other loads.
using Shuffle = std::array<char, 16>;
constexpr std::array<std::array<Shuffle, 3>, 3> kGather = [] {
    std::array<std::array<Shuffle, 3>, 3> all{};
    for (int c = 0; c < 3; ++c) {
        for (int load = 0; load < 3; ++load) {
            for (int i = 0; i < 16; ++i) {
                const int at = 3 * i + c - 16 * load;
                all[c][load][i] = static_cast<char>(at >= 0 && at < 16 ? at : -128);
            }
        }
    }
    return all;
}();

__attribute__((target("ssse3"))) __m128i channel(const __m128i loads[3], int c) {
    __m128i all = _mm_setzero_si128();
    for (int load = 0; load < 3; ++load) {
        const __m128i m =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGather[c][load].data()));
        all = _mm_or_si128(all, _mm_shuffle_epi8(loads[load], m));
    }
    return all;
}

// Eight values of r * first + g * second + b * third + add, each 32-bit sum shifted down.
__attribute__((target("ssse3"))) __m128i weighted(__m128i r, __m128i g, __m128i b, int first,
                                                  int second, int third, int add, int shift) {
    const __m128i rg = weightPair(first, second), b1 = weightPair(third, add);
    const __m128i one = _mm_set1_epi16(1);
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), rg),
                                     _mm_madd_epi16(_mm_unpacklo_epi16(b, one), b1));
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), rg),
                                     _mm_madd_epi16(_mm_unpackhi_epi16(b, one), b1));
    return _mm_packs_epi32(_mm_srai_epi32(lo, shift), _mm_srai_epi32(hi, shift));
}

// rowPortable for 16 pixels a step; returns where the rest starts.
__attribute__((target("ssse3"))) std::int32_t rowSsse3(const std::uint8_t* p, std::int32_t width,
                                                       std::uint8_t* luma, std::int16_t* u,
                                                       std::int16_t* v) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1);
    const int half = 1 << (kPairShift - 1);
    std::int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i loads[3] = {
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x + 16)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * x + 32))};
        const __m128i b = channel(loads, 0), g = channel(loads, 1), r = channel(loads, 2);
        const __m128i bl = _mm_unpacklo_epi8(b, zero), bh = _mm_unpackhi_epi8(b, zero);
        const __m128i gl = _mm_unpacklo_epi8(g, zero), gh = _mm_unpackhi_epi8(g, zero);
        const __m128i rl = _mm_unpacklo_epi8(r, zero), rh = _mm_unpackhi_epi8(r, zero);
        const __m128i yl = weighted(rl, gl, bl, kYr, kYg, kYb, 1 << 14, 15);
        const __m128i yh = weighted(rh, gh, bh, kYr, kYg, kYb, 1 << 14, 15);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), _mm_packus_epi16(yl, yh));
        // Pair sums: neighbouring lanes added, eight of them from the sixteen pixels.
        const auto pairs = [&](__m128i l, __m128i h) {
            return _mm_packs_epi32(_mm_madd_epi16(l, ones), _mm_madd_epi16(h, ones));
        };
        const __m128i r2 = pairs(rl, rh), g2 = pairs(gl, gh), b2 = pairs(bl, bh);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2),
                         weighted(r2, g2, b2, kUr, kUg, kUb, half, kPairShift));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2),
                         weighted(r2, g2, b2, kVr, kVg, kVb, half, kPairShift));
    }
    return x;
}
#endif

}  // namespace

bool toJpegPlanes(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t width,
                  std::int32_t height, std::uint8_t* const planes[3], const int strides[3],
                  PlanesPath path) {
    if (width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0) return false;
    bool shuffles = false;
#if defined(VORLIX_SSSE3)
    shuffles = path == PlanesPath::fastest && __builtin_cpu_supports("ssse3");
#endif
    const std::int32_t half = width / 2;
    // The colour differences of the last eight source rows, by row number modulo 8: u, then v.
    std::vector<std::int16_t> ring(static_cast<std::size_t>(half) * 2 * 8);
    const auto uRow = [&](std::int32_t y) { return ring.data() + (y % 8) * 2 * half; };
    std::int32_t made = 0;  // source rows converted so far
    for (std::int32_t j = 0; j < height / 2; ++j) {
        for (const std::int32_t last = std::min(2 * j + 4, height - 1); made <= last; ++made) {
            const std::uint8_t* p = src + made * srcStride;
            std::uint8_t* luma = planes[0] + static_cast<std::ptrdiff_t>(made) * strides[0];
            std::int32_t x = 0;
#if defined(VORLIX_SSSE3)
            if (shuffles) x = rowSsse3(p, width, luma, uRow(made), uRow(made) + half);
#endif
            rowPortable(p, x, width, luma, uRow(made), uRow(made) + half);
        }
        // Rows past the picture's edges repeat its first or last row.
        const std::int16_t* uRows[8];
        const std::int16_t* vRows[8];
        for (std::int32_t k = 0; k < 8; ++k) {
            uRows[k] = uRow(std::clamp(2 * j - 3 + k, 0, height - 1));
            vRows[k] = uRows[k] + half;
        }
        for (int c = 1; c <= 2; ++c) {
            std::uint8_t* out = planes[c] + static_cast<std::ptrdiff_t>(j) * strides[c];
            const std::int16_t* const* rows = c == 1 ? uRows : vRows;
            std::int32_t i = 0;
#if defined(__SSE2__)
            if (path == PlanesPath::fastest) i = downSse2(rows, half, out);
#endif
            downPortable(rows, i, half, out);
        }
    }
    return true;
}

}  // namespace vorlix
