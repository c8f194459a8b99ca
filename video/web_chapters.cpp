#include "video/web_chapters.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "resources/texts.h"

namespace vorlix {

std::string chapterTitle(std::string_view slidePath, int ordinal) {
    const std::string stem = std::filesystem::path(std::string(slidePath)).stem().string();
    std::size_t end = stem.size(), begin = end;
    while (begin > 0 && stem[begin - 1] >= '0' && stem[begin - 1] <= '9') --begin;
    std::string number = stem.substr(begin, end - begin);
    const std::size_t nonZero = number.find_first_not_of('0');
    number = nonZero == std::string::npos ? (number.empty() ? "" : "0") : number.substr(nonZero);
    if (number.empty() || number.size() > 9) number = std::to_string(ordinal);
    return std::string(texts::kChapterTitlePrefix) + number;
}

std::string chaptersPathFor(std::string_view videoPath) {
    std::filesystem::path p{std::string(videoPath)};
    p.replace_extension(".chapters.vtt");
    return p.string();
}

std::string vttTime(double seconds) {
    const auto ms = static_cast<long long>(std::llround(std::max(0.0, seconds) * 1000));
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

std::string webVttChapters(const std::vector<Chapter>& chapters) {
    std::string out = "WEBVTT\n";
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        const Chapter& c = chapters[i];
        out += "\n" + std::to_string(i + 1) + "\n" + vttTime(c.start) + " --> " + vttTime(c.end) +
               "\n" + c.title + "\n";
    }
    return out;
}

}  // namespace vorlix
