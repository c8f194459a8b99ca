// The timeline file: the closed slide timeline as text, one line "<tick>,<slide path>" per
// entry that lasted any time. It is all the video assembly learns of the lecture besides the
// narration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorlix {

struct SlideList;
struct SlideTimeline;

class TimelineFile {
  public:
    // "vx_<time>_<clock thread id as 8 hex digits>.tmp" in the temp folder.
    static std::string makeName(std::int64_t time, std::uint32_t clockThreadId);

    // Writes a closed timeline (the sentinel after its last entry) under makeName(now, id).
    // The path, or nothing when the file could not be written.
    static std::optional<std::string> write(const SlideTimeline& timeline, const SlideList& slides,
                                            std::uint32_t clockThreadId);

    // The same at a given path. An entry whose successor starts at the same tick lasted no time
    // and is left out. False when the file cannot be created or fully written, or when a slide
    // path holds a line break (it could not be read back as one line).
    static bool writeAt(const std::string& path, const SlideTimeline& timeline,
                        const SlideList& slides);
};

}  // namespace vorlix
