// Frames for the Motion JPEG coder: packed 24-bit rows to the three planes of a full-range
// 4:2:0 picture (BT.601 weights). Each colour-difference sample is the mean of its pair of pixels
// across and a bicubic halving down the rows, centred between its two rows: the same filter as
// libswscale's conversion it replaced, whose results it matches within a level.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlix {

// `fastest` uses the processor's shuffles where it has them; `portable` is plain C++. Both give
// the same planes.
enum class PlanesPath { fastest, portable };

// Converts src (width x height, pixels in B, G, R order, rows srcStride bytes apart, negative
// for bottom-up) into planes[0] (luma, width x height) and planes[1], planes[2] (the blue and
// red differences, width / 2 x height / 2), rows strides[i] bytes apart. False, and nothing
// written, when a size is odd or not positive.
bool toJpegPlanes(const std::uint8_t* src, std::ptrdiff_t srcStride, std::int32_t width,
                  std::int32_t height, std::uint8_t* const planes[3], const int strides[3],
                  PlanesPath path = PlanesPath::fastest);

}  // namespace vorlix
