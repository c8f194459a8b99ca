// The lecture's slide folder: the folder choice and the numbered slide files in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

class UserPrompts;

inline constexpr std::int32_t kMaxSlides = 512;

// The prefix the slide names are formed with from the folder the user chose. Nothing chosen
// gives the empty prefix (names then lie in the current directory); a path that ends in a
// separator is kept as it is, any other gets one appended.
std::string slideFolderPrefix(const std::optional<std::string>& chosenFolder);

// Asks for the folder with the program's instruction text and returns its prefix.
std::string chooseSlideFolder(UserPrompts& prompts);

// The name of slide number n (from 1) under the prefix.
std::string slideFileName(std::string_view prefix, long number);

// Slide paths for numbers 1, 2, ... up to kMaxSlides, ending at the first number with no file.
std::vector<std::string> enumerateSlides(std::string_view prefix);

}  // namespace vorlix
