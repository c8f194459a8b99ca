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
// The first of these namings that has a slide 1 wins:
//   1. スライドN.bmp, exactly;
//   2. スライドN with .bmp, .png, .jpg or .jpeg in any letter case (PowerPoint in Japanese);
//   3. SlideN likewise (PowerPoint in English);
//   4. a zero-padded series <name>.NNN.<ext> or <name>NNN.<ext> (Keynote: deck.001.jpeg).
// Empty when none has one; a PDF deck is looked for apart (slidePdf).
std::vector<std::string> enumerateSlides(std::string_view prefix);

// The folder's only PDF file (any letter case of ".pdf"): its pages are the slides. Nothing when
// the folder holds none or more than one.
std::optional<std::string> slidePdf(std::string_view prefix);

// What Start says when no slides were found: the first line as it always was, then what the
// folder must hold, then the folder searched.
std::string noSlidesMessage(std::string_view prefix);

}  // namespace vorlix
