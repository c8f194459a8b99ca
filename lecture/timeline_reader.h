// Reads a lecture's timeline file back, one line per video frame: "<tick>,<slide path>".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vorlix {

class TimelineReader {
  public:
    TimelineReader() = default;
    ~TimelineReader();
    TimelineReader(const TimelineReader&) = delete;
    TimelineReader& operator=(const TimelineReader&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // 1 when a line was read into the current start time and slide path; 0 at the end of the
    // file or on a malformed line, and from then on until the next open. The frame index is
    // not used.
    int nextLine(std::int32_t frameIndex);
    // The current line's start time in half-second ticks. The frame index is not used.
    std::int32_t frameTime(std::int32_t frameIndex) const;
    const std::string& currentSlidePath() const { return slidePath_; }

    // The parsing rules of one line (line end already removed or not), for the reader and
    // the fuzz target: returns false where nextLine would return 0.
    static bool parseLine(std::string_view line, std::int32_t& startTime, std::string& slidePath);

  private:
    std::FILE* file_ = nullptr;
    bool ended_ = false;
    std::int32_t startTime_ = 0;
    std::string slidePath_;
};

}  // namespace vorlix
