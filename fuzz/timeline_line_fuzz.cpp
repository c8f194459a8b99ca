// The timeline reader over arbitrary bytes: one line through the parser, then the same bytes as
// a whole file through the reader. Lines the writer could have written must read back as written.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lecture/timeline_reader.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "timeline fuzz: %s\n", what);
        std::abort();
    }
}

const std::string& scratchFile() {
    static const std::string path = [] {
        std::string p = "/tmp/vorlix-timeline-fuzz-" + std::to_string(::getpid()) + ".tmp";
        std::atexit([] { std::remove(scratchFile().c_str()); });
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    using vorlix::TimelineReader;

    std::int32_t time = 0;
    std::string path;
    if (TimelineReader::parseLine(input, time, path)) {
        check(path.size() <= input.size(), "path longer than its line");
        check(input.substr(0, input.find('\0')).find(path) != std::string_view::npos,
              "path not taken from the line");
        const bool writable =
            time >= 0 && !path.empty() &&
            path.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos &&
            path.find_first_not_of(" \t\v\f") != std::string::npos;
        if (writable) {
            const std::string line = std::to_string(time) + "," + path + "\n";
            std::int32_t time2 = -1;
            std::string path2;
            check(TimelineReader::parseLine(line, time2, path2), "written line rejected");
            check(time2 == time && path2 == path, "written line read back differently");
        }
    }

    if (std::FILE* f = std::fopen(scratchFile().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        TimelineReader reader;
        if (reader.open(scratchFile())) {
            std::size_t lines = 0;
            while (reader.nextLine(0) == 1) {
                ++lines;
                check(lines <= size, "more lines than bytes");
                check(reader.currentSlidePath().size() < size, "path longer than the file");
            }
            check(reader.nextLine(0) == 0, "reading went on after its end");
        }
    }
    return 0;
}
