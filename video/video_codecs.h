// The video encoders a lecture's AVI file can be written with, as the user chooses among them.
#pragma once

#include <string_view>
#include <vector>

#include "lecture/user_prompts.h"

namespace vorlix {

// Name of the uncompressed choice: 24-bit bottom-up DIB rows, written as they are.
inline constexpr std::string_view kUncompressedCodec = "rawvideo";

// The encoders present in this FFmpeg that can go into an AVI file, uncompressed first.
// Quality, where an encoder has one, runs from 1 (smallest file) to 100 (best picture).
std::vector<CodecOption> availableVideoCodecs();

// The option of that name in the list, or null.
const CodecOption* findVideoCodec(const std::vector<CodecOption>& codecs, std::string_view name);

}  // namespace vorlix
