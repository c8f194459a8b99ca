#include "video/area_scaler.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlix {

namespace {

// Everything stays in 16 bits, so a vector unit takes eight values a step. Down the columns
// the weights have 8 fraction bits and the sums keep 8 (at most 255 * 256, which fits); across
// the rows the weights have 16 and the high half of each product is kept. Either way a flat
// area stays exactly its colour, and the result stays within a level of the exact mean.
constexpr int kDownBits = 8;
constexpr int kAcrossBits = 16;

// For each output index, the first source index it reads and `taps` weights from there on.
struct AxisFilter {
    std::int32_t taps = 0;
    std::vector<std::int32_t> first;
    std::vector<std::uint16_t> weights;  // taps per output index, zero past its area
};

// Output pixel i covers the source interval [i * s / d, (i + 1) * s / d); in units of 1/d of a
// source pixel that is [i * s, (i + 1) * s), and source pixel j is [j * d, (j + 1) * d).
// `one` is the sum of an output's weights; a weight of exactly one is stored as one less.
AxisFilter axisFilter(std::int64_t s, std::int64_t d, int bits) {
    const std::int64_t one = std::int64_t{1} << bits;
    AxisFilter f;
    for (std::int64_t i = 0; i < d; ++i) {
        const std::int64_t touched = ((i + 1) * s - 1) / d - i * s / d + 1;
        f.taps = std::max(f.taps, static_cast<std::int32_t>(touched));
    }
    f.first.resize(static_cast<std::size_t>(d));
    f.weights.assign(static_cast<std::size_t>(d * f.taps), 0);
    std::vector<std::int64_t> w(static_cast<std::size_t>(f.taps));
    for (std::int64_t i = 0; i < d; ++i) {
        const std::int64_t lo = i * s, hi = (i + 1) * s;
        const std::int64_t j0 = lo / d, j1 = (hi - 1) / d;
        // Near the far edge the window starts earlier so it never reads past the row.
        const std::int64_t start = std::min(j0, s - f.taps);
        std::fill(w.begin(), w.end(), 0);
        std::int64_t sum = 0;
        std::size_t largest = static_cast<std::size_t>(j0 - start);
        for (std::int64_t j = j0; j <= j1; ++j) {
            const std::int64_t overlap = std::min(hi, (j + 1) * d) - std::max(lo, j * d);
            const auto k = static_cast<std::size_t>(j - start);
            w[k] = (overlap * one + s / 2) / s;
            sum += w[k];
            if (w[k] > w[largest]) largest = k;
        }
        // Rounding leftovers go to the pixel with the largest share.
        w[largest] += one - sum;
        for (std::size_t k = 0; k < w.size(); ++k) {
            f.weights[static_cast<std::size_t>(i * f.taps) + k] =
                static_cast<std::uint16_t>(std::min<std::int64_t>(w[k], 0xFFFF));
        }
        f.first[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(start);
    }
    return f;
}

struct alignas(16) Lanes {
    std::uint16_t lane[8];
};

// One output row down the columns: each of the n bytes of a row, summed over the source rows
// with their weights, with 8 fraction bits. `spread` holds each weight in all eight lanes.
void downPass(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t first,
              const std::uint16_t* w, [[maybe_unused]] const Lanes* spread, std::int32_t taps,
              std::size_t n, std::uint16_t* mid) {
    std::size_t x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= n; x += 16) {
        __m128i lo = zero, hi = zero;
        for (std::int32_t k = 0; k < taps; ++k) {
            const __m128i wk = _mm_load_si128(reinterpret_cast<const __m128i*>(spread[k].lane));
            const __m128i p = _mm_loadu_si128(
                reinterpret_cast<const __m128i*>(src + (first + k) * srcStride + x));
            lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), wk));
            hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), wk));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + x), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + x + 8), hi);
    }
#endif
    for (; x < n; ++x) {
        std::uint32_t v = 0;
        for (std::int32_t k = 0; k < taps; ++k) v += w[k] * (src + (first + k) * srcStride)[x];
        mid[x] = static_cast<std::uint16_t>(v);
    }
}

// The across weights of each pair of output pixels, tap by tap: the first pixel's in the low
// four lanes, the second's in the high four. Made once a slide, read for every row.
std::vector<Lanes> pairWeights(const AxisFilter& f, std::int32_t dstW) {
    std::vector<Lanes> pairs;
    for (std::int32_t x = 0; x < dstW; x += 2) {
        const std::int32_t x1 = std::min(x + 1, dstW - 1);
        const std::uint16_t* w0 = f.weights.data() + static_cast<std::ptrdiff_t>(x) * f.taps;
        const std::uint16_t* w1 = f.weights.data() + static_cast<std::ptrdiff_t>(x1) * f.taps;
        for (std::int32_t k = 0; k < f.taps; ++k) {
            pairs.push_back({{w0[k], w0[k], w0[k], w0[k], w1[k], w1[k], w1[k], w1[k]}});
        }
    }
    return pairs;
}

// One output row across: mid holds three values a source pixel (and one spare value after the
// last, read but never used).
void acrossPass(const std::uint16_t* mid, const AxisFilter& f,
                [[maybe_unused]] const std::vector<Lanes>& pairs, std::uint8_t* out,
                std::int32_t dstW) {
    const std::int32_t taps = f.taps;
    std::int32_t x = 0;
#if defined(__SSE2__)
    // Two output pixels a step, one in each half of the vector. Each is stored as four bytes,
    // its spare byte landing on the next pixel's first, which is written afterwards; the row's
    // last pixel is stored as three.
    const __m128i half = _mm_set1_epi16(1 << (kDownBits - 1));
    const auto load = [](const std::uint16_t* p) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    };
    for (; x < dstW; x += 2) {
        const std::int32_t x1 = std::min(x + 1, dstW - 1);
        const std::uint16_t* m0 = mid + static_cast<std::ptrdiff_t>(f.first[x]) * 3;
        const std::uint16_t* m1 = mid + static_cast<std::ptrdiff_t>(f.first[x1]) * 3;
        const Lanes* w = pairs.data() + static_cast<std::ptrdiff_t>(x / 2) * taps;
        __m128i c = _mm_setzero_si128();
        for (std::int32_t k = 0; k < taps; ++k) {
            const __m128i p = _mm_unpacklo_epi64(load(m0 + 3 * k), load(m1 + 3 * k));
            const __m128i wk = _mm_load_si128(reinterpret_cast<const __m128i*>(w[k].lane));
            c = _mm_add_epi16(c, _mm_mulhi_epu16(p, wk));
        }
        c = _mm_srli_epi16(_mm_add_epi16(c, half), kDownBits);
        const __m128i bytes = _mm_packus_epi16(c, c);
        const auto first = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
        const auto second = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4)));
        std::uint8_t* o = out + 3 * static_cast<std::ptrdiff_t>(x);
        if (x1 == dstW - 1) {
            // The last pixel (or two): nothing may be written past the row.
            const std::uint8_t tail[8] = {
                static_cast<std::uint8_t>(first),       static_cast<std::uint8_t>(first >> 8),
                static_cast<std::uint8_t>(first >> 16), static_cast<std::uint8_t>(second),
                static_cast<std::uint8_t>(second >> 8), static_cast<std::uint8_t>(second >> 16)};
            std::memcpy(o, tail, x1 > x ? 6 : 3);
        } else {
            std::memcpy(o, &first, 4);
            std::memcpy(o + 3, &second, 4);
        }
    }
#endif
    for (; x < dstW; ++x) {
        const std::uint16_t* m = mid + static_cast<std::ptrdiff_t>(f.first[x]) * 3;
        const std::uint16_t* w = f.weights.data() + static_cast<std::ptrdiff_t>(x) * taps;
        for (int ch = 0; ch < 3; ++ch) {
            std::uint32_t c = 0;
            for (std::int32_t k = 0; k < taps; ++k) {
                c += (static_cast<std::uint32_t>(m[3 * k + ch]) * w[k]) >> kAcrossBits;
            }
            out[3 * x + ch] = static_cast<std::uint8_t>((c + (1u << (kDownBits - 1))) >> kDownBits);
        }
    }
}

}  // namespace

bool shrinkByArea(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t srcW,
                  std::int32_t srcH, std::uint8_t* dst, std::ptrdiff_t dstStride, std::int32_t dstW,
                  std::int32_t dstH) {
    const SourceRows inPlace = [&](std::int32_t first, std::int32_t, std::ptrdiff_t* stride) {
        *stride = srcStride;
        return src + first * srcStride;
    };
    return shrinkByArea(inPlace, srcW, srcH, dst, dstStride, dstW, dstH);
}

bool shrinkByArea(const SourceRows& rows, std::int32_t srcW, std::int32_t srcH, std::uint8_t* dst,
                  std::ptrdiff_t dstStride, std::int32_t dstW, std::int32_t dstH) {
    if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0 || dstW > srcW || dstH > srcH) {
        return false;
    }
    const AxisFilter across = axisFilter(srcW, dstW, kAcrossBits);
    const AxisFilter down = axisFilter(srcH, dstH, kDownBits);
    const std::size_t n = static_cast<std::size_t>(srcW) * 3;
    std::vector<std::uint16_t> mid(n + 1);  // the spare value the across pass reads
    const std::vector<Lanes> acrossPairs = pairWeights(across, dstW);
    std::vector<Lanes> spread(static_cast<std::size_t>(down.taps));
    for (std::int32_t y = 0; y < dstH; ++y) {
        std::ptrdiff_t stride = 0;
        const std::uint8_t* band =
            rows(down.first[static_cast<std::size_t>(y)], down.taps, &stride);
        if (band == nullptr) return false;
        // Only the rows with a share: the window is wider than most outputs' areas.
        const std::uint16_t* w = down.weights.data() + static_cast<std::ptrdiff_t>(y) * down.taps;
        std::int32_t from = 0, to = down.taps;
        while (to > 1 && w[to - 1] == 0) --to;
        while (from + 1 < to && w[from] == 0) ++from;
        for (std::int32_t k = from; k < to; ++k) std::fill_n(spread[k].lane, 8, w[k]);
        downPass(band, stride, from, w + from, spread.data() + from, to - from, n, mid.data());
        acrossPass(mid.data(), across, acrossPairs, dst + y * dstStride, dstW);
    }
    return true;
}

}  // namespace vorlix
