#include "lecture/timeline_reader.h"

#include <limits>

#include "common/regular_file.h"

namespace vorlix {
namespace {

// Longest line taken, line end excluded: a number, a comma and the longest path the system
// allows, in UTF-8. A longer line is malformed rather than read as two.
constexpr std::size_t kMaxLineLength = 8191;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

TimelineReader::~TimelineReader() {
    close();
}

bool TimelineReader::open(const std::string& path, std::int32_t openEndTick, std::string* reason) {
    close();
    if (TimelineJournal::looksLikeJournal(path)) {
        auto journal = TimelineJournal::read(path, reason);
        if (!journal) return false;
        openLines(journal->timelineLines(openEndTick));
        skippedLines_ = std::move(journal->malformedLines);
        journalNarration_ = std::move(journal->narrationPath);
        return true;
    }
    file_ = openRegularStream(path, reason);
    return file_ != nullptr;
}

void TimelineReader::openLines(std::vector<TimelineLine> lines) {
    close();
    inMemory_ = true;
    lines_ = std::move(lines);
}

void TimelineReader::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    inMemory_ = false;
    lines_.clear();
    nextIndex_ = 0;
    skippedLines_.clear();
    journalNarration_.clear();
    lineNumber_ = malformedLine_ = 0;
    ended_ = false;
}

// The rules: the line must hold a decimal number (blanks and a sign may come first), then at
// once a comma, then at least one character that is not a blank. The path is everything after
// the comma when the line starts with the number's digits, and empty otherwise.
bool TimelineReader::parseLine(std::string_view line, std::int32_t& startTime,
                               std::string& slidePath) {
    line = line.substr(0, line.find('\0'));  // the line as text ends at a NUL
    for (int i = 0; i < 2; ++i) {
        if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    }
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '+' || line[at] == '-')) negative = line[at++] == '-';
    const std::size_t digitsStart = at;
    std::int64_t value = 0;
    while (at < line.size() && isDigit(line[at])) {
        value = value * 10 + (line[at++] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    if (at == digitsStart) return false;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return false;
    }
    if (at >= line.size() || line[at] != ',') return false;
    const std::size_t comma = at++;
    while (at < line.size() && isBlank(line[at])) ++at;
    if (at == line.size()) return false;

    startTime = static_cast<std::int32_t>(value);
    slidePath.clear();
    if (isDigit(line.front())) slidePath.assign(line.substr(comma + 1));
    return true;
}

int TimelineReader::nextLine(std::int32_t /*frameIndex*/) {
    if (inMemory_) {
        if (nextIndex_ >= lines_.size()) return 0;
        startTime_ = lines_[nextIndex_].tick;
        slidePath_ = lines_[nextIndex_].slidePath;
        lineNumber_ = static_cast<std::int32_t>(++nextIndex_);
        return 1;
    }
    if (file_ == nullptr || ended_) return 0;
    // Whatever ends the reading ends it for good: the rest of an over-long line must not be
    // taken for a line of its own.
    ended_ = true;
    std::string line;
    bool any = false;
    for (;;) {
        const int c = std::getc(file_);
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (c == '\r') {  // CR LF, or a lone CR
            const int after = std::getc(file_);
            if (after != '\n' && after != EOF) std::ungetc(after, file_);
            break;
        }
        if (line.size() == kMaxLineLength) {
            malformedLine_ = lineNumber_ + 1;
            return 0;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!any) return 0;
    ++lineNumber_;
    if (std::ferror(file_) || !parseLine(line, startTime_, slidePath_)) {
        malformedLine_ = lineNumber_;
        return 0;
    }
    ended_ = false;
    return 1;
}

std::int32_t TimelineReader::lineNumber() const {
    return lineNumber_;
}

std::int32_t TimelineReader::frameTime(std::int32_t /*frameIndex*/) const {
    return startTime_;
}

}  // namespace vorlix
