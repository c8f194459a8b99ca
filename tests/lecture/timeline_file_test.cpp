#include <gtest/gtest.h>

#include <filesystem>

#include "lecture/slide_timeline.h"
#include "lecture/timeline_file.h"
#include "lecture/timeline_reader.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::ScratchDir;
using Entry = std::pair<std::int32_t, std::int32_t>;

struct Line {
    std::int32_t time;
    std::string path;
    bool operator==(const Line&) const = default;
};

// A closed timeline over the given slide paths: the entries, then the sentinel.
struct Closed {
    std::unique_ptr<SlideTimeline> timeline = std::make_unique<SlideTimeline>();
    SlideList slides;
    Closed(std::vector<std::string> paths, std::vector<Entry> entries) {
        slides.assign(paths);
        for (auto [t, s] : entries) timeline->append(t, s);
        timeline->writeSentinel();
    }
};

// Every line the reader takes, until it returns 0.
std::vector<Line> readAll(const std::string& path) {
    TimelineReader reader;
    EXPECT_TRUE(reader.open(path));
    std::vector<Line> lines;
    for (int frame = 0; reader.nextLine(frame) == 1 && frame < 100000; ++frame)
        lines.push_back({reader.frameTime(frame), reader.currentSlidePath()});
    EXPECT_EQ(reader.nextLine(0), 0);  // and stays at the end
    return lines;
}

// Entries that lasted no time are left out; paths with blanks, commas and Japanese survive.
TEST(TimelineFile, WrittenAndReadBack) {
    const std::vector<std::string> p = {"/home/先生/my slides/スライド1.bmp",
                                        "/data/講義, 第2回/ スライド2.bmp", "/x/,,/スライド3.bmp"};
    struct Case {
        std::vector<Entry> entries;
        std::vector<Line> lines;
    } cases[] = {
        {{{0, 0}, {21, 1}, {21, 2}, {60, 2}}, {{0, p[0]}, {21, p[2]}, {60, p[2]}}},
        {{{0, 0}, {0, 1}, {0, 2}, {0, 2}}, {}},  // ended within the first half second
        {{{0, 0}, {0, 2}, {5, 1}}, {{0, p[2]}, {5, p[1]}}},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        Closed closed(p, c.entries);
        ASSERT_TRUE(TimelineFile::writeAt(dir.file("t.tmp"), *closed.timeline, closed.slides));
        EXPECT_EQ(readAll(dir.file("t.tmp")), c.lines);
    }
    Closed full({"/a.bmp", "/b.bmp"}, {});
    for (int i = 0; i < SlideTimeline::kMaxEntries; ++i) full.timeline->append(i, i % 2);
    full.timeline->startTime[SlideTimeline::kMaxEntries] = 0;
    ScratchDir dir;
    ASSERT_TRUE(TimelineFile::writeAt(dir.file("t.tmp"), *full.timeline, full.slides));
    const auto lines = readAll(dir.file("t.tmp"));
    ASSERT_EQ(lines.size(), 8200u);
    EXPECT_EQ(lines.back(), (Line{8199, "/b.bmp"}));
}

TEST(TimelineFile, NamedInTheTempFolderAndFailuresReported) {
    ScratchDir dir;
    testing::TempFolder temp(dir.path());
    EXPECT_EQ(TimelineFile::makeName(1210471715, 0x4d8), dir.file("vx_1210471715_000004d8.tmp"));
    Closed fine({"/a.bmp"}, {{0, 0}, {7, 0}});
    const auto path = TimelineFile::write(*fine.timeline, fine.slides, 0xabc);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(std::filesystem::path(*path).parent_path(), dir.path());
    EXPECT_EQ(testing::readText(*path), "0,/a.bmp\n7,/a.bmp\n");
    Closed broken({"/a\nb.bmp"}, {{0, 0}, {3, 0}});
    EXPECT_FALSE(TimelineFile::writeAt(dir.file("t.tmp"), *broken.timeline, broken.slides));
    EXPECT_FALSE(TimelineFile::writeAt("/dev/full", *fine.timeline, fine.slides));
    testing::TempFolder missing(dir.path() / "missing");
    EXPECT_FALSE(TimelineFile::write(*fine.timeline, fine.slides, 1).has_value());
}

TEST(TimelineReader, LineAcceptanceRules) {
    struct Case {
        std::string line;
        std::int32_t time;
        std::string path;
    } accepted[] = {
        {"21,/my slides/x, y.bmp", 21, "/my slides/x, y.bmp"},
        {"21,/p\r\r\n", 21, "/p\r"},  // only two line-end characters go
        {"7, x", 7, " x"},
        {"-5,x", -5, ""},  // not starting with a digit: no path
        {"2147483647,x", 2147483647, "x"},
    };
    for (const auto& c : accepted) {
        std::int32_t time = 1234;
        std::string path = "before";
        EXPECT_TRUE(TimelineReader::parseLine(c.line, time, path)) << c.line;
        EXPECT_EQ(time, c.time) << c.line;
        EXPECT_EQ(path, c.path) << c.line;
    }
    for (const char* line : {"5,", "5,  \t", "", ",x", "7 ,x", "12a,x", "2147483648,x"}) {
        std::int32_t time = 0;
        std::string path;
        EXPECT_FALSE(TimelineReader::parseLine(line, time, path)) << line;
    }
}

// Any line end, a last line without one; a malformed or over-long line ends the reading.
TEST(TimelineReader, ReadsLinesUpToTheFirstBadOne) {
    const std::vector<Line> three = {{0, "/a b.bmp"}, {21, "/c.bmp"}, {60, "/c.bmp"}};
    struct Case {
        std::string text;
        std::vector<Line> lines;
    } cases[] = {
        {"0,/a b.bmp\r\n21,/c.bmp\r\n60,/c.bmp\r\n", three},
        {"0,/a b.bmp\r21,/c.bmp\r60,/c.bmp\r", three},
        {"0,/a b.bmp\n21,/c.bmp\r60,/c.bmp", three},
        {"0,/a\n4,\n9,/b\n", {{0, "/a"}}},
        {"0,/a\n\n9,/b\n", {{0, "/a"}}},
        // An over-long line is never split into two, even where its tail looks like a line.
        {"0,/a\n9," + std::string(8189, 'x') + "5,/tail\n12,/b\n", {{0, "/a"}}},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        testing::writeFile(dir.file("t.tmp"), c.text);
        EXPECT_EQ(readAll(dir.file("t.tmp")), c.lines) << c.text.substr(0, 20);
    }
    TimelineReader reader;
    EXPECT_FALSE(reader.open("/no/such/timeline.tmp"));
    EXPECT_EQ(reader.nextLine(0), 0);
}

}  // namespace
}  // namespace vorlix
