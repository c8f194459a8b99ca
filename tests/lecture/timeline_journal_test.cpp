// The journal of slide changes read back as the timeline file would hold it, from what a crash
// or a hostile file leaves, record by record.
#include "lecture/timeline_journal.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vorlix {
namespace {

using Lines = std::vector<TimelineLine>;
using namespace std::string_literals;

TEST(TimelineJournal, WhatACrashOrAHostileFileLeavesIsReadRecordByRecord) {
    const std::string h = "vorlix journal 1\nslide 0 0 /a\n";
    // text, the narration's end (closes a journal without an end record), lines, malformed
    const std::tuple<std::string, std::int32_t, Lines, std::vector<std::int32_t>> cases[] = {
        {h + "slide 8 1 /b\nslide 12 9 /c", 40, {{0, "/a"}, {8, "/b"}, {40, "/b"}}, {}},  // cut
        {h, 0, {}, {}},                                         // killed before any change
        {h, 7, {{0, "/a"}, {7, "/a"}}, {}},                     // closed at the narration's end
        {h + "slide 9 0 /b\n", 4, {{0, "/a"}, {9, "/b"}}, {}},  // narration shorter
        {h + "slide 4 0 /b\nslide 4 0 /c\nend 8 0\n", 0, {{0, "/a"}, {4, "/c"}, {8, "/c"}}, {}},
        {"vorlix journal 1\r\nslide 0 0 /a\r\nend 3 9\r\n", 0, {{0, "/a"}, {3, "/a"}}, {}},
        {"vorlix journal 1\nslide x 0 /a\nslide 0 0 /a\nslide 5 0 \nslide -1 0 /b\nslide 4 4 /b\n"
         "slide 2 2 /c\nend 6 0 junk\nfoo\nend 9 9\nslide 10 0 /d\n",
         0,
         {{0, "/a"}, {4, "/b"}, {9, "/b"}},
         {2, 4, 5, 7, 8, 9, 11}},
        {h + "slide 2147483648 0 /b\nslide 3 0 /\0b\n"s, 0, {}, {3, 4}},  // past 32 bits, a NUL
    };
    for (const auto& [text, openEnd, lines, malformed] : cases) {
        SCOPED_TRACE(text);
        const auto j = TimelineJournal::parse(text);
        ASSERT_TRUE(j);
        EXPECT_EQ(j->timelineLines(openEnd), lines);
        EXPECT_EQ(j->malformedLines, malformed);
    }
    for (const char* notJournal : {"", "vorlix journal 1", "vorlix journal 2\nslide 0 0 /a\n"})
        EXPECT_FALSE(TimelineJournal::parse(notJournal)) << notJournal;
}

}  // namespace
}  // namespace vorlix
