// Any slide file into the picture the frame renderer draws: Windows bitmaps by our own reader,
// PNG and JPEG by FFmpeg's image decoders. The kind is told by the file's first bytes, so a
// slide named .png that holds a bitmap still reads, and a bitmap is read exactly as before.
//
// PNG: 1 to 16 bits, palette, grey, RGB, with or without alpha. JPEG: baseline and progressive,
// grey and colour, the EXIF orientation applied. Transparent parts are laid over white, as a
// slide shows on its white frame. Sizes are bounded as for bitmaps (SlideBitmap::kMaxSide,
// kMaxPixels); damaged or cut-short files are refused, never half drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "video/slide_bitmap.h"

namespace vorlix {

// The slide in the file. On failure, nothing, and `problem` (when given) says why, in the
// user's words.
std::optional<SlideBitmap> readSlidePicture(const std::string& path,
                                            std::string* problem = nullptr);

// A slide file held in memory.
std::optional<SlideBitmap> decodeSlidePicture(std::span<const std::uint8_t> file,
                                              std::string* problem = nullptr);

// Largest PNG or JPEG file read whole.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;

}  // namespace vorlix
