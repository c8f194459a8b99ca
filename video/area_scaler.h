// Shrinking packed 24-bit pixels by area averaging: each output pixel is the mean of the source
// area it covers, partly covered pixels counted by their share. Thin strokes of a shrunk slide
// stay visible as lighter lines instead of vanishing or thickening.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vorlix {

// Shrinks src (srcW x srcH, rows srcStride bytes apart, negative for bottom-up) onto dst
// (dstW x dstH). Neither axis may grow: false, and dst untouched, when one would (or a size
// is 0 or less). Three bytes a pixel; the channel order does not matter.
bool shrinkByArea(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t srcW,
                  std::int32_t srcH, std::uint8_t* dst, std::ptrdiff_t dstStride, std::int32_t dstW,
                  std::int32_t dstH);

// Source rows on demand, so a slide need not be in memory whole: rows [first, first + count),
// row `first` returned and the distance to the next in *stride; null when they cannot be had.
// `first` never decreases from one call to the next.
using SourceRows = std::function<const std::uint8_t*(std::int32_t first, std::int32_t count,
                                                     std::ptrdiff_t* stride)>;
// shrinkByArea over rows fetched as it goes; false also when a fetch fails (dst then partly
// written).
bool shrinkByArea(const SourceRows& rows, std::int32_t srcW, std::int32_t srcH, std::uint8_t* dst,
                  std::ptrdiff_t dstStride, std::int32_t dstW, std::int32_t dstH);

}  // namespace vorlix
