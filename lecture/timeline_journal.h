// The journal of a lecture's timeline: written from Start on, one record per slide change, each
// handed to the system the moment it is made, so a crash, a kill or a full disk later in the
// lecture still leaves every change on disk. It stands beside the timeline file, with the same
// stem ("vx_<time>_<id>.journal" beside "vx_<time>_<id>.tmp"), and never replaces it.
//
// Text, one record a line:
//   vorlix journal 1                      the first line
//   narration <path>                      the lecture's narration file
//   slide <tick> <sample> <slide path>    a slide put on screen at that tick; sample is the
//                                         narration's sample position of the change (samples
//                                         of the 44100 Hz narration from its start)
//   end <tick> <sample>                   End pressed: the closing entry, `finalTime`
//   closed [<video path>]                 the lecture needs nothing more: its video was made
//                                         (the path) or the user gave it up
// A last line without its line end (cut by a kill) is not a record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

// One line of a timeline: the slide shown from that tick on.
struct TimelineLine {
    std::int32_t tick = 0;
    std::string slidePath;
    bool operator==(const TimelineLine&) const = default;
};

struct JournalEntry {
    std::int32_t tick = 0;
    std::int64_t sample = 0;
    std::string slidePath;  // empty for the end record
};

struct Journal {
    std::string narrationPath;
    std::vector<JournalEntry> slides;
    std::optional<JournalEntry> end;
    bool closed = false;
    std::string videoPath;
    // Line numbers (from 1) of the lines that are not records, or not in order.
    std::vector<std::int32_t> malformedLines;

    // The lines the timeline file would hold: the slide changes and a closing entry, with the
    // entries that lasted no time left out. The closing entry is the end record; without one
    // (a lecture cut off) it repeats the last slide at openEndTick when that is later.
    std::vector<TimelineLine> timelineLines(std::int32_t openEndTick = 0) const;
    // The last tick the journal knows of.
    std::int32_t lastTick() const;
};

class TimelineJournal {
  public:
    static constexpr std::string_view kFirstLine = "vorlix journal 1";
    static constexpr std::string_view kExtension = ".journal";
    // Longest record taken back; a longer line is malformed.
    static constexpr std::size_t kMaxLineLength = 8191;
    // Largest journal read back (far beyond any lecture's).
    static constexpr std::int64_t kMaxFileSize = 256LL << 20;

    TimelineJournal() = default;
    ~TimelineJournal();
    TimelineJournal(const TimelineJournal&) = delete;
    TimelineJournal& operator=(const TimelineJournal&) = delete;

    // "vx_<time>_<clock thread id as 8 hex digits>.journal" in the lecture folder.
    static std::string makeName(std::int64_t time, std::uint32_t clockThreadId);
    // The timeline file beside a journal: the same stem, ".tmp".
    static std::string timelinePathFor(const std::string& journalPath);

    // Creates the journal with its first line. False (with the system's reason) when it cannot.
    bool create(const std::string& path, std::string* reason = nullptr);
    // Opens an existing journal to add records (the closing one, after a recovery).
    bool reopen(const std::string& path, std::string* reason = nullptr);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Each record is on disk (handed to the system in one write) when these return true.
    bool narration(const std::string& narrationPath);
    bool slide(std::int32_t tick, std::int64_t sample, const std::string& slidePath);
    bool end(std::int32_t tick, std::int64_t sample);
    bool closed(const std::string& videoPath);
    // The system's reason for the last failed write.
    const std::string& lastError() const { return error_; }

    // A journal's text as records; nothing when the first line is not the journal's.
    static std::optional<Journal> parse(std::string_view text);
    // Reads a journal file (a regular file only). Nothing, with the reason, when it cannot be
    // read or is not a journal.
    static std::optional<Journal> read(const std::string& path, std::string* reason = nullptr);
    // Whether the file starts as a journal does.
    static bool looksLikeJournal(const std::string& path);

  private:
    bool record(const std::string& line);

    int fd_ = -1;
    std::string path_;
    std::string error_;
};

// Journals in a folder whose lecture never got its video (no closing record), oldest first;
// the journal of a lecture still running (its writer holds a lock on it) is not among them.
std::vector<std::string> unfinishedJournals(const std::string& folder);

}  // namespace vorlix
