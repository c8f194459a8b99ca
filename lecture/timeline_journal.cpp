#include "lecture/timeline_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/regular_file.h"
#include "common/temp_path.h"

namespace vorlix {
namespace {

// A decimal number without sign, up to max; the text after it in `rest`.
bool takeNumber(std::string_view& text, std::int64_t max, std::int64_t& value) {
    std::size_t at = 0;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const int digit = text[at++] - '0';
        if (value > (max - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (at == 0) return false;
    text.remove_prefix(at);
    return true;
}

bool takeWord(std::string_view& text, std::string_view word) {
    if (text.substr(0, word.size()) != word) return false;
    text.remove_prefix(word.size());
    return true;
}

// " <tick> <sample>", then the rest of the line.
bool takeTimes(std::string_view& text, JournalEntry& entry) {
    std::int64_t tick = 0, sample = 0;
    if (!takeWord(text, " ") || !takeNumber(text, std::numeric_limits<std::int32_t>::max(), tick) ||
        !takeWord(text, " ") || !takeNumber(text, std::int64_t{1} << 62, sample)) {
        return false;
    }
    entry.tick = static_cast<std::int32_t>(tick);
    entry.sample = sample;
    return true;
}

}  // namespace

std::vector<TimelineLine> Journal::timelineLines(std::int32_t openEndTick) const {
    std::vector<const JournalEntry*> entries;
    for (const JournalEntry& e : slides) entries.push_back(&e);
    JournalEntry closing;
    if (!slides.empty()) {
        closing.slidePath = slides.back().slidePath;
        if (end) {
            closing.tick = end->tick;
            entries.push_back(&closing);
        } else if (openEndTick > slides.back().tick) {
            closing.tick = openEndTick;
            entries.push_back(&closing);
        }
    }
    // As the timeline file is written: an entry whose successor starts at the same tick lasted
    // no time, and the last one is compared with the sentinel's 0.
    std::vector<TimelineLine> lines;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const std::int32_t next = j + 1 < entries.size() ? entries[j + 1]->tick : 0;
        if (entries[j]->tick == next) continue;
        lines.push_back({entries[j]->tick, entries[j]->slidePath});
    }
    return lines;
}

std::int32_t Journal::lastTick() const {
    if (end) return end->tick;
    return slides.empty() ? 0 : slides.back().tick;
}

TimelineJournal::~TimelineJournal() {
    close();
}

std::string TimelineJournal::makeName(std::int64_t time, std::uint32_t clockThreadId) {
    return lectureTempName("vx_", time, clockThreadId, std::string(kExtension));
}

std::string TimelineJournal::timelinePathFor(const std::string& journalPath) {
    std::string path = journalPath;
    if (path.size() >= kExtension.size() &&
        path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0) {
        path.resize(path.size() - kExtension.size());
    }
    return path + ".tmp";
}

bool TimelineJournal::create(const std::string& path, std::string* reason) {
    close();
    // Non-blocking: a FIFO planted under the name fails at once instead of holding Start.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NONBLOCK,
                 0666);
    if (fd_ < 0) {
        error_ = systemReason(errno);
        if (reason != nullptr) *reason = error_;
        return false;
    }
    path_ = path;
    // Held while the lecture runs (and dropped by the system when the program dies), so another
    // copy of the program does not offer a running lecture for recovery.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    if (!record(std::string(kFirstLine))) {
        if (reason != nullptr) *reason = error_;
        close();
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool TimelineJournal::reopen(const std::string& path, std::string* reason) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd_);
        fd_ = -1;
        errno = EINVAL;
    }
    if (fd_ < 0) {
        error_ = systemReason(errno);
        if (reason != nullptr) *reason = error_;
        return false;
    }
    path_ = path;
    // A record cut by a kill is ended first, so the next one stands on a line of its own.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n' &&
        ::write(fd_, "\n", 1) != 1) {
        error_ = systemReason(errno);
        if (reason != nullptr) *reason = error_;
        close();
        return false;
    }
    return true;
}

void TimelineJournal::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TimelineJournal::record(const std::string& line) {
    if (fd_ < 0) return false;
    if (line.find_first_of("\r\n") != std::string::npos) {
        error_ = "a line break in a path";
        return false;
    }
    // One write per record: a kill leaves whole records and at most one cut last line.
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = systemReason(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TimelineJournal::narration(const std::string& narrationPath) {
    return record("narration " + narrationPath);
}

bool TimelineJournal::slide(std::int32_t tick, std::int64_t sample, const std::string& slidePath) {
    return record("slide " + std::to_string(tick) + " " + std::to_string(sample) + " " + slidePath);
}

bool TimelineJournal::end(std::int32_t tick, std::int64_t sample) {
    return record("end " + std::to_string(tick) + " " + std::to_string(sample));
}

bool TimelineJournal::closed(const std::string& videoPath) {
    return record(videoPath.empty() ? std::string("closed") : "closed " + videoPath);
}

std::optional<Journal> TimelineJournal::parse(std::string_view text) {
    Journal j;
    std::int32_t number = 0;
    bool first = true;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        if (lineEnd == std::string_view::npos) break;  // cut by a kill: not a record
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line != kFirstLine) return std::nullopt;
            first = false;
            continue;
        }
        bool ok = line.size() <= kMaxLineLength && line.find('\0') == std::string_view::npos;
        JournalEntry entry;
        if (!ok) {
        } else if (takeWord(line, "slide")) {
            ok = takeTimes(line, entry) && takeWord(line, " ") && !line.empty();
            // Slide changes come from a clock that only counts up; none after the end.
            ok = ok && !j.end && (j.slides.empty() || j.slides.back().tick <= entry.tick);
            if (ok) {
                entry.slidePath = std::string(line);
                j.slides.push_back(std::move(entry));
            }
        } else if (takeWord(line, "end")) {
            ok = takeTimes(line, entry) && line.empty() && !j.end &&
                 (j.slides.empty() || j.slides.back().tick <= entry.tick);
            if (ok) j.end = entry;
        } else if (takeWord(line, "narration ")) {
            ok = !line.empty();
            if (ok) j.narrationPath = std::string(line);
        } else if (takeWord(line, "closed")) {
            ok = line.empty() || (takeWord(line, " ") && !line.empty());
            if (ok) {
                j.closed = true;
                j.videoPath = std::string(line);
            }
        } else {
            ok = false;
        }
        if (!ok) j.malformedLines.push_back(number);
    }
    if (first) return std::nullopt;
    return j;
}

std::optional<Journal> TimelineJournal::read(const std::string& path, std::string* reason) {
    std::FILE* f = openRegularStream(path, reason);
    if (f == nullptr) return std::nullopt;
    std::string text;
    char buffer[65536];
    std::size_t n;
    bool tooLong = false;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
        if (static_cast<std::int64_t>(text.size()) > kMaxFileSize) {
            tooLong = true;
            break;
        }
    }
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed || tooLong) {
        if (reason != nullptr) *reason = tooLong ? "too large for a journal" : systemReason(error);
        return std::nullopt;
    }
    auto journal = parse(text);
    if (!journal && reason != nullptr) *reason = "not a lecture journal";
    return journal;
}

bool TimelineJournal::looksLikeJournal(const std::string& path) {
    std::FILE* f = openRegularStream(path);
    if (f == nullptr) return false;
    constexpr std::size_t k = kFirstLine.size();
    char head[k + 2] = {};
    const std::size_t n = std::fread(head, 1, k + 2, f);
    std::fclose(f);
    if (n < k + 1 || std::string_view(head, k) != kFirstLine) return false;
    return head[k] == '\n' || (n == k + 2 && head[k] == '\r' && head[k + 1] == '\n');
}

namespace {

// Whether a running lecture (of this or another copy of the program) holds the journal.
bool inUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace

std::vector<std::string> unfinishedJournals(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("vx_", 0) != 0 || it->path().extension() != TimelineJournal::kExtension) {
            continue;
        }
        std::error_code statError;
        if (!it->is_regular_file(statError) || inUse(it->path().string())) continue;
        const auto journal = TimelineJournal::read(it->path().string());
        // Without a single slide record there is nothing to make a video of.
        if (!journal || journal->closed || journal->slides.empty()) continue;
        found.emplace_back(it->last_write_time(statError), it->path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

}  // namespace vorlix
