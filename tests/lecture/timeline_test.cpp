// The slide list and its timeline: the slide folder, Next and Previous on the lecture clock, the
// timeline file written at End and read back by the conversion.
#include <gtest/gtest.h>

#include <algorithm>

#include "lecture/slide_folder.h"
#include "lecture/slide_timeline.h"
#include "lecture/timeline_file.h"
#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using Entries = std::vector<std::pair<std::int32_t, std::int32_t>>;
using Lines = std::vector<std::pair<std::int32_t, std::string>>;

TEST(SlideFolder, PrefixAndNumberedSlides) {
    EXPECT_EQ(slideFolderPrefix("/t/s"), "/t/s/");
    EXPECT_EQ(slideFolderPrefix("/t/s/"), "/t/s/");
    // From 1 without leading zeros; the first missing number ends the list, which holds 512.
    const std::pair<std::vector<int>, std::size_t> folders[] = {
        {{1, 2, 4}, 2}, {{2}, 0}, {{}, 512}};
    for (const auto& [numbers, found] : folders) {
        testing::ScratchDir dir;
        for (int n = 1; n <= 513 && numbers.empty(); ++n)
            std::ofstream(dir.file("スライド" + std::to_string(n) + ".bmp"));
        for (int n : numbers) std::ofstream(dir.file("スライド" + std::to_string(n) + ".bmp"));
        EXPECT_EQ(enumerateSlides(dir.path().string() + "/").size(), found);
    }
}

// Every command is recorded at its tick ('n'ext, 'p'revious, 'e'nd), even within one tick or at an
// end of the list; End adds the closing entry and the sentinel. Without slides (before Start,
// after the reset at End: 'r') a command only asks for Start.
TEST(SlideTimeline, CommandsAndEndRecordTheTimeline) {
    const std::tuple<int, std::string, std::vector<std::int32_t>, Entries, std::array<int, 3>>
        cases[] = {
            // slides, commands, their ticks, entries, slides shown (0: placeholder)
            {3,
             "nnnpp",
             {0, 0, 0, 9, 12},
             {{0, 0}, {0, 1}, {0, 2}, {0, 2}, {9, 1}, {12, 0}},
             {1, 2, 1}},
            {1, "np", {4, 4}, {{0, 0}, {4, 0}, {4, 0}}, {1, 1, 1}},
            {2, "ne", {21, 60}, {{0, 0}, {21, 1}, {60, 1}, {0, 0}}, {2, 2, 1}},
            {2, "nerp", {5, 5, 5, 9}, {{0, 0}, {5, 1}, {5, 1}, {0, 0}}, {0, 0, 0}},
        };
    for (const auto& [slides, commands, ticks, entries, shown] : cases) {
        testing::FakeView view;
        testing::FakePrompts prompts;
        std::atomic<std::int32_t> clock{0};
        auto lecture = std::make_unique<LectureState>(view, prompts, clock);
        lecture->next();                     // before Start
        lecture->slides().currentSlide = 5;  // left over from an earlier lecture
        std::vector<std::string> paths;
        for (int i = 1; i <= slides; ++i) paths.push_back("/s" + std::to_string(i));
        lecture->slides().assign(paths);
        lecture->openTimeline();
        for (int i = 1; i < 16; ++i) lecture->timeline().startTime[i] = 77;  // left over
        for (std::size_t i = 0; i < commands.size(); ++i) {
            clock = ticks[i];
            if (commands[i] == 'n') lecture->next();
            if (commands[i] == 'p') lecture->previous();
            if (commands[i] == 'e') lecture->closeTimeline();
            if (commands[i] == 'r') lecture->resetSlideList();
        }
        Entries got;
        const int count =
            lecture->timeline().entryCount + (commands.find('e') == std::string::npos ? 0 : 1);
        for (int i = 0; i < count; ++i)
            got.emplace_back(lecture->timeline().startTime[i], lecture->timeline().slideIndex[i]);
        EXPECT_EQ(got, entries) << commands;
        const auto path = [](int n) { return n ? "/s" + std::to_string(n) : ""; };
        EXPECT_EQ(view.previews.back(),
                  (std::array{path(shown[0]), path(shown[1]), path(shown[2])}));
        EXPECT_EQ(prompts.log.size(), commands == "nerp" ? 2u : 1u) << "press Start first";
    }
}

// A full timeline still moves the slides but records nothing more; its sentinel has its slot.
// The file leaves out entries that lasted no time, keeps paths with blanks, commas and Japanese
// whole, and reports a write that fails.
TEST(TimelineFile, FullTimelineWrittenAndReadBack) {
    testing::ScratchDir dir;
    testing::TempFolder temp(dir.path());
    testing::FakeView view;
    testing::FakePrompts prompts;
    std::atomic<std::int32_t> clock{0};
    auto lecture = std::make_unique<LectureState>(view, prompts, clock);
    const std::vector<std::string> p = {"/先生/my slides/1.bmp", "/講義, 第2回/ 2.bmp"};
    lecture->slides().assign(p);
    lecture->openTimeline();
    lecture->next();  // at once: the first entry lasted no time and is left out of the file
    for (int i = 1; i < 8300; ++i) clock = i, i % 2 ? lecture->next() : lecture->previous();
    lecture->closeTimeline();
    EXPECT_EQ(std::pair(lecture->timeline().entryCount, lecture->finalTime()),
              std::pair(8201, 8299));
    EXPECT_EQ(view.previews.back()[0], p[1]);
    const auto path = TimelineFile::write(lecture->timeline(), lecture->slides(), 0xabc);
    ASSERT_TRUE(path && path->starts_with(dir.file("vx_")) && path->ends_with("_00000abc.tmp"));
    TimelineReader reader;
    ASSERT_TRUE(reader.open(*path));
    for (int i = 0; i < 8199; ++i) {
        ASSERT_EQ(reader.nextLine(i), 1) << i;
        ASSERT_EQ(std::pair(reader.frameTime(i), reader.currentSlidePath()),
                  std::pair(i, p[i ? i % 2 : 1]));
    }
    // A full timeline is told once and still keeps its closing entry.
    EXPECT_EQ(std::count(prompts.log.begin(), prompts.log.end(), texts::kTimelineFull), 1);
    ASSERT_EQ(reader.nextLine(8199), 1);
    EXPECT_EQ(std::pair(reader.frameTime(8199), reader.currentSlidePath()), std::pair(8299, p[1]));
    EXPECT_EQ(reader.nextLine(0), 0);
    EXPECT_EQ(TimelineFile::makeName(1210471715, 0x4d8), dir.file("vx_1210471715_000004d8.tmp"));
    EXPECT_FALSE(TimelineFile::writeAt("/dev/full", lecture->timeline(), lecture->slides()));
    lecture->slides().assign({"/a\nb.bmp"});
    EXPECT_FALSE(TimelineFile::writeAt(dir.file("t.tmp"), lecture->timeline(), lecture->slides()));
    testing::TempFolder missing(dir.path() / "missing");
    EXPECT_FALSE(TimelineFile::write(lecture->timeline(), lecture->slides(), 1));
}

// Any line end, a last line without one; a malformed or over-long line ends the reading.
TEST(TimelineReader, ReadsLinesUpToTheFirstBadOne) {
    const Lines three = {{0, "/a b"}, {21, "/c, d"}, {60, " x"}};
    const std::tuple<std::string, Lines, std::int32_t> cases[] = {  // text, lines, malformed line
        {"0,/a b\r\n21,/c, d\r\n60, x\r\n", three, 0},
        {"0,/a b\r21,/c, d\r60, x\r", three, 0},
        {"0,/a b\n21,/c, d\r60, x", three, 0},
        {"007,/a\n-5,x\n 7,x",
         {{7, "/a"}, {-5, ""}, {7, ""}}, 0},  // not starting with a digit: no path
        {"0,/a\n5,  \t\n9,/b\n", {{0, "/a"}}, 2},
        {"0,/a\n7 ,x\n9,/b\n", {{0, "/a"}}, 2},
        {"0,/a\n1,/b\n2147483648,x\n9,/b\n", {{0, "/a"}, {1, "/b"}}, 3},
        // An over-long line is never split into two, even where its tail looks like a line.
        {"0,/a\n9," + std::string(8189, 'x') + "5,/tail\n12,/b\n", {{0, "/a"}}, 2},
    };
    testing::ScratchDir dir;
    for (const auto& [text, lines, malformed] : cases) {
        testing::writeFile(dir.file("t.tmp"), text);
        TimelineReader reader;
        ASSERT_TRUE(reader.open(dir.file("t.tmp")));
        Lines got;
        for (int i = 0; reader.nextLine(i) == 1 && i < 100; ++i)
            got.emplace_back(reader.frameTime(i), reader.currentSlidePath());
        EXPECT_EQ(std::pair(got, reader.malformedLine()), std::pair(lines, malformed))
            << text.substr(0, 20);
        EXPECT_EQ(reader.nextLine(0), 0);  // and stays at the end
    }
}

}  // namespace
}  // namespace vorlix
