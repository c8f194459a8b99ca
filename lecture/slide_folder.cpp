#include "lecture/slide_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {

namespace {

namespace fs = std::filesystem;

// The picture files a slide may be, in the order one number's files are preferred.
constexpr std::string_view kPictureExtensions[] = {"bmp", "png", "jpg", "jpeg"};

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool isPictureExtension(std::string_view lowerExt) {
    return std::find(std::begin(kPictureExtensions), std::end(kPictureExtensions), lowerExt) !=
           std::end(kPictureExtensions);
}

// The folder's plain file names, sorted so that every choice below is the same on every run.
std::vector<std::string> folderFiles(std::string_view prefix) {
    std::vector<std::string> names;
    const fs::path folder = prefix.empty() ? fs::path(".") : fs::path(std::string(prefix));
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Splits "deck.001.JPEG" into its stem "deck.001" and lower-case extension "jpeg".
bool splitExtension(const std::string& name, std::string& stem, std::string& lowerExt) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    stem = name.substr(0, dot);
    lowerExt = asciiLower(std::string_view(name).substr(dot + 1));
    return true;
}

// Rules 2 and 3: <word>N.<picture extension>, the whole name in any letter case.
std::vector<std::string> wordNumbered(std::string_view prefix,
                                      const std::vector<std::string>& files,
                                      std::string_view word) {
    std::map<std::string, std::string> byLowerName;
    for (const auto& f : files) byLowerName.emplace(asciiLower(f), f);
    std::vector<std::string> slides;
    const std::string lowerWord = asciiLower(word);
    for (long n = 1; n <= kMaxSlides; ++n) {
        const std::string stem = lowerWord + std::to_string(n) + ".";
        const std::string* found = nullptr;
        for (const auto ext : kPictureExtensions) {
            const auto it = byLowerName.find(stem + std::string(ext));
            if (it != byLowerName.end()) {
                found = &it->second;
                break;
            }
        }
        if (!found) break;
        slides.push_back(std::string(prefix) + *found);
    }
    return slides;
}

// Rule 4: a zero-padded series. Files are grouped by what precedes the digits and their
// extension; a group whose slide 1 is written with leading zeros ("001") is a series, and the
// longest series wins.
std::vector<std::string> paddedSeries(std::string_view prefix,
                                      const std::vector<std::string>& files) {
    // (name before the digits, lower-case extension) -> digits as written -> file name
    std::map<std::pair<std::string, std::string>, std::map<std::string, std::string>> groups;
    for (const auto& f : files) {
        std::string stem, ext;
        if (!splitExtension(f, stem, ext) || !isPictureExtension(ext)) continue;
        std::size_t digitsAt = stem.size();
        while (digitsAt > 0 && stem[digitsAt - 1] >= '0' && stem[digitsAt - 1] <= '9') --digitsAt;
        if (digitsAt == stem.size() || stem.size() - digitsAt > 9) continue;
        groups[{stem.substr(0, digitsAt), ext}].emplace(stem.substr(digitsAt), f);
    }
    std::vector<std::string> best;
    for (const auto& [key, numbered] : groups) {
        for (std::size_t width = 2; width <= 9; ++width) {
            const std::string one = std::string(width - 1, '0') + "1";
            if (!numbered.count(one)) continue;
            std::vector<std::string> slides;
            for (long n = 1; n <= kMaxSlides; ++n) {
                std::string digits = std::to_string(n);
                if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
                const auto it = numbered.find(digits);
                if (it == numbered.end()) break;
                slides.push_back(std::string(prefix) + it->second);
            }
            if (slides.size() > best.size()) best = std::move(slides);
        }
    }
    return best;
}

}  // namespace

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
    if (!slides.empty()) return slides;

    // What presentation programs export: their own names, pictures other than bitmaps, and
    // extensions in capitals (file names were never case-sensitive where slides come from).
    const auto files = folderFiles(prefix);
    for (const std::string_view word : {std::string_view("スライド"), std::string_view("Slide")}) {
        slides = wordNumbered(prefix, files, word);
        if (!slides.empty()) return slides;
    }
    return paddedSeries(prefix, files);
}

std::optional<std::string> slidePdf(std::string_view prefix) {
    std::optional<std::string> pdf;
    for (const auto& f : folderFiles(prefix)) {
        std::string stem, ext;
        if (!splitExtension(f, stem, ext) || ext != "pdf") continue;
        if (pdf) return std::nullopt;  // which one is meant cannot be told
        pdf = std::string(prefix) + f;
    }
    return pdf;
}

std::string noSlidesMessage(std::string_view prefix) {
    std::string folder(prefix);
    if (folder.empty()) {
        std::error_code ec;
        folder = fs::current_path(ec).string();
    }
    std::string text(texts::kNoSlidesFound);
    text += '\n';
    text += texts::kNoSlidesHelp;
    text += '\n';
    const int n = std::snprintf(nullptr, 0, texts::kSlideFolderSearchedFormat, folder.c_str());
    if (n > 0) {
        std::string line(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(line.data(), line.size(), texts::kSlideFolderSearchedFormat, folder.c_str());
        line.resize(static_cast<std::size_t>(n));
        text += line;
    }
    return text;
}

}  // namespace vorlix
