#include "lecture/slide_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "lecture/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {

std::string slideFolderPrefix(const std::optional<std::string>& chosenFolder) {
    if (!chosenFolder) return {};
    std::string path = *chosenFolder;
    if (path.empty()) path = " ";
    const char last = path.back();
    if (last == '/' || last == '\\') return path;
    return path + '/';
}

std::string chooseSlideFolder(UserPrompts& prompts) {
    return slideFolderPrefix(prompts.chooseFolder(texts::kChooseSlideFolder));
}

std::string slideFileName(std::string_view prefix, long number) {
    const std::string p(prefix);
    const int n = std::snprintf(nullptr, 0, texts::kSlideNameFormat, p.c_str(), number);
    if (n < 0) return {};
    std::string name(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(name.data(), name.size(), texts::kSlideNameFormat, p.c_str(), number);
    name.resize(static_cast<std::size_t>(n));
    return name;
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
