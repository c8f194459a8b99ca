// The journal reader over arbitrary bytes: whatever a crash, a kill or a hostile file leaves,
// the reader gives records in order and a timeline whose ticks only grow, and reading the same
// bytes from a file gives the same lines.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lecture/timeline_journal.h"
#include "lecture/timeline_reader.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "journal fuzz: %s\n", what);
        std::abort();
    }
}

const std::string& scratchFile() {
    static const std::string path = [] {
        std::string p = "/tmp/vorlix-journal-fuzz-" + std::to_string(::getpid()) + ".journal";
        std::atexit([] { std::remove(scratchFile().c_str()); });
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto journal = vorlix::TimelineJournal::parse(text);
    if (!journal) return 0;
    const std::int32_t openEnd = size > 0 ? data[0] * 97 : 0;
    const auto lines = journal->timelineLines(openEnd);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        check(lines[i].tick >= 0, "negative tick");
        check(!lines[i].slidePath.empty(), "empty slide path");
        check(lines[i].slidePath.find('\n') == std::string::npos, "line end in a path");
        if (i > 0) check(lines[i].tick > lines[i - 1].tick, "ticks do not grow");
    }
    for (const auto& e : journal->slides) check(e.sample >= 0, "negative sample");
    check(lines.size() <= journal->slides.size() + 1, "more lines than records");

    // The same bytes through the file reader the converter uses.
    std::FILE* f = std::fopen(scratchFile().c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;
    vorlix::TimelineReader reader;
    check(reader.open(scratchFile(), openEnd), "journal not opened");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        check(reader.nextLine(0) == 1, "line missing");
        check(
            reader.frameTime(0) == lines[i].tick && reader.currentSlidePath() == lines[i].slidePath,
            "line differs");
    }
    check(reader.nextLine(0) == 0, "line too many");
    return 0;
}
