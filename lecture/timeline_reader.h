// Reads a lecture's timeline file back, one line per video frame: "<tick>,<slide path>". A
// lecture's journal is read as the timeline file it stands for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lecture/timeline_journal.h"

namespace vorlix {

class TimelineReader {
  public:
    TimelineReader() = default;
    ~TimelineReader();
    TimelineReader(const TimelineReader&) = delete;
    TimelineReader& operator=(const TimelineReader&) = delete;

    // Opens a timeline file, or a journal (its lines then come from memory; a journal without
    // an end record closes at openEndTick, the narration's end, when that is later). Only
    // regular files are opened. False with the system's reason when it cannot be read.
    bool open(const std::string& path, std::int32_t openEndTick = 0, std::string* reason = nullptr);
    // Reads the given lines, as from a file.
    void openLines(std::vector<TimelineLine> lines);
    void close();
    bool isOpen() const { return file_ != nullptr || inMemory_; }
    bool isJournal() const { return inMemory_; }

    // The line that ended the reading when it was malformed (from 1), 0 when the reading ended
    // at the end of the file.
    std::int32_t malformedLine() const { return malformedLine_; }
    // Lines of a journal that were not records (from 1); read past, not ending the reading.
    const std::vector<std::int32_t>& skippedLines() const { return skippedLines_; }
    // The narration a journal names; empty otherwise.
    const std::string& journalNarration() const { return journalNarration_; }

    // 1 when a line was read into the current start time and slide path; 0 at the end of the
    // file or on a malformed line, and from then on until the next open. The frame index is
    // not used.
    int nextLine(std::int32_t frameIndex);
    // The current line's start time in half-second ticks. The frame index is not used.
    std::int32_t frameTime(std::int32_t frameIndex) const;
    const std::string& currentSlidePath() const { return slidePath_; }
    // The current line's number in the file (from 1).
    std::int32_t lineNumber() const;

    // The parsing rules of one line (line end already removed or not), for the reader and
    // the fuzz target: returns false where nextLine would return 0.
    static bool parseLine(std::string_view line, std::int32_t& startTime, std::string& slidePath);

  private:
    std::FILE* file_ = nullptr;
    bool inMemory_ = false;
    std::vector<TimelineLine> lines_;
    std::size_t nextIndex_ = 0;
    std::vector<std::int32_t> skippedLines_;
    std::string journalNarration_;
    std::int32_t lineNumber_ = 0;
    std::int32_t malformedLine_ = 0;
    bool ended_ = false;
    std::int32_t startTime_ = 0;
    std::string slidePath_;
};

}  // namespace vorlix
