// The lecture's slide folder: the folder choice, the numbered slide files in it, and which
// slides the three previews show.
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

// Which slides the main, next and previous previews show for slide index k.
struct PreviewIndices {
    std::int32_t current = 0;
    std::int32_t next = 0;
    std::int32_t previous = 0;
};
PreviewIndices previewIndices(std::int32_t k, std::int32_t slideCount);

// The three preview paths for slide index k; empty paths (no slides) show the placeholders.
struct PreviewPaths {
    std::string current;
    std::string next;
    std::string previous;
};
PreviewPaths previewPaths(const std::vector<std::string>& slides, std::int32_t k);

}  // namespace vorlix
