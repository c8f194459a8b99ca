// The video encoders a lecture's AVI file can be written with, as the user chooses among them.
#pragma once

#include <string_view>
#include <vector>

#include "common/user_prompts.h"

namespace vorlix {

// Name of the uncompressed choice: 24-bit bottom-up DIB rows, written as they are.
inline constexpr std::string_view kUncompressedCodec = "rawvideo";

// Quality, where an encoder has one, runs from kQualityMin (smallest file) to kQualityMax (best
// picture).
inline constexpr int kQualityMin = 1;
inline constexpr int kQualityMax = 100;
inline constexpr int kQualityDefault = 90;

// The encoders present in this FFmpeg that can go into an AVI file, uncompressed first.
std::vector<CodecOption> availableVideoCodecs();

// The option of that name in the list, or null.
const CodecOption* findVideoCodec(const std::vector<CodecOption>& codecs, std::string_view name);

}  // namespace vorlix
