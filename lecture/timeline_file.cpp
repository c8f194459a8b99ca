#include "lecture/timeline_file.h"

#include <cstdio>
#include <ctime>

#include "lecture/slide_timeline.h"
#include "common/temp_path.h"

namespace vorlix {

std::string TimelineFile::makeName(std::int64_t time, std::uint32_t clockThreadId) {
    return lectureTempName("vx_", time, clockThreadId, ".tmp");
}

std::optional<std::string> TimelineFile::write(const SlideTimeline& timeline,
                                               const SlideList& slides,
                                               std::uint32_t clockThreadId) {
    std::string path = makeName(static_cast<std::int64_t>(std::time(nullptr)), clockThreadId);
    if (!writeAt(path, timeline, slides)) return std::nullopt;
    return path;
}

bool TimelineFile::writeAt(const std::string& path, const SlideTimeline& timeline,
                           const SlideList& slides) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    bool ok = true;
    // A full timeline still has its closing entry, in the first spare slot.
    const std::int32_t count = timeline.entryCount < SlideTimeline::kMaxEntries + 1
                                   ? timeline.entryCount
                                   : SlideTimeline::kMaxEntries + 1;
    for (std::int32_t j = 0; j < count && ok; ++j) {
        if (timeline.startTime[j] == timeline.startTime[j + 1]) continue;  // lasted no time
        const std::string& slide = slides.path(timeline.slideIndex[j]);
        if (slide.find_first_of("\r\n") != std::string::npos) ok = false;
        if (ok && std::fprintf(f, "%ld,%s\n", static_cast<long>(timeline.startTime[j]),
                               slide.c_str()) < 0) {
            ok = false;
        }
    }
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

}  // namespace vorlix
