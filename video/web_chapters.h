// Chapters of a web video: one per slide change, titled "スライド N", inside the MP4 and as a
// WebVTT file beside it for web players (browsers read only the latter).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

struct Chapter {
    double start = 0;  // seconds
    double end = 0;
    std::string title;
};

// "スライド N", N the number the slide file carries (スライド12.bmp -> 12); a file without a number
// takes `ordinal`.
std::string chapterTitle(std::string_view slidePath, int ordinal);

// <dir>/<name>.mp4 -> <dir>/<name>.chapters.vtt
std::string chaptersPathFor(std::string_view videoPath);

// The WebVTT file's text: a header, then one cue per chapter.
std::string webVttChapters(const std::vector<Chapter>& chapters);

// hh:mm:ss.mmm
std::string vttTime(double seconds);

}  // namespace vorlix
