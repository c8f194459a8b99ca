#include "lecture/slide_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {

std::string slideFolderPrefix(const std::optional<std::string>& chosenFolder) {
    if (!chosenFolder) return {};
    // An empty path stands for a single blank, which gets its separator like any folder.
    if (chosenFolder->empty()) return " /";
    std::string path = *chosenFolder;
    const char last = path.back();
    if (last != '/' && last != '\\') path.push_back('/');
    return path;
}

std::string chooseSlideFolder(UserPrompts& prompts) {
    return slideFolderPrefix(prompts.chooseFolder(texts::kChooseSlideFolder));
}

std::string slideFileName(std::string_view prefix, long number) {
    const std::string p(prefix);
    // Room for the prefix, the fixed part and any number a long can hold.
    std::vector<char> name(p.size() + 64);
    const int n = std::snprintf(name.data(), name.size(), texts::kSlideNameFormat, p.c_str(), number);
    if (n < 0 || static_cast<std::size_t>(n) >= name.size()) return {};
    return std::string(name.data(), static_cast<std::size_t>(n));
}

std::vector<std::string> enumerateSlides(std::string_view prefix) {
    std::vector<std::string> slides;
    for (long n = 1; n <= kMaxSlides; ++n) {
        std::string name = slideFileName(prefix, n);
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::path(name), ec)) break;
        slides.push_back(std::move(name));
    }
    return slides;
}

}  // namespace vorlix
