#include "lecture/timeline_journal.h"

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

namespace vorlix {
namespace {

using testing::ScratchDir;
using Lines = std::vector<TimelineLine>;

TEST(TimelineJournal, WhatIsWrittenReadsBackAsTheTimelineFileWouldHoldIt) {
    ScratchDir dir;
    const std::string path = dir.file("vx_5_0000abcd.journal");
    TimelineJournal j;
    ASSERT_TRUE(j.create(path));
    EXPECT_TRUE(j.narration("/l/vx_temp_5_0000abcd.wav"));
    EXPECT_TRUE(j.slide(0, 0, "/s/my slides, 1/スライド1.bmp"));
    EXPECT_TRUE(j.slide(21, 463050, "/s/スライド2.bmp"));
    EXPECT_TRUE(j.slide(21, 463050, "/s/スライド3.bmp"));  // lasted no time
    EXPECT_FALSE(j.slide(30, 0, "/s/a\nb.bmp"));           // could not be read back as one line
    EXPECT_TRUE(j.end(60, 1323000));
    EXPECT_TRUE(unfinishedJournals(dir.path().string()).empty()) << "a running lecture";
    j.close();

    const auto read = TimelineJournal::read(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->narrationPath, "/l/vx_temp_5_0000abcd.wav");
    ASSERT_EQ(read->slides.size(), 3u);
    EXPECT_EQ(read->slides[1].sample, 463050);
    EXPECT_EQ(read->timelineLines(), (Lines{{0, "/s/my slides, 1/スライド1.bmp"},
                                            {21, "/s/スライド3.bmp"},
                                            {60, "/s/スライド3.bmp"}}));
    EXPECT_EQ(TimelineJournal::timelinePathFor(path), dir.file("vx_5_0000abcd.tmp"));
    EXPECT_EQ(unfinishedJournals(dir.path().string()), std::vector<std::string>{path});

    ASSERT_TRUE(j.reopen(path));
    EXPECT_TRUE(j.closed("/v/講義.avi"));
    EXPECT_TRUE(unfinishedJournals(dir.path().string()).empty());
}

TEST(TimelineJournal, WhatACrashOrAHostileFileLeavesIsReadRecordByRecord) {
    const std::string head = "vorlix journal 1\n";
    struct Case {
        const char* what;
        std::string text;
        std::int32_t openEnd;  // the narration's end, for a journal without an end record
        Lines lines;
        std::vector<std::int32_t> malformed;
    } cases[] = {
        {"killed mid-record",
         head + "slide 0 0 /a\nslide 8 1 /b\nslide 12 9 /c",
         40,
         {{0, "/a"}, {8, "/b"}, {40, "/b"}},
         {}},
        {"killed before any change", head + "slide 0 0 /a\n", 0, {}, {}},
        {"cut off, closed at the narration's end",
         head + "slide 0 0 /a\n",
         7,
         {{0, "/a"}, {7, "/a"}},
         {}},
        {"narration shorter than the last change",
         head + "slide 0 0 /a\nslide 9 0 /b\n",
         4,
         {{0, "/a"}, {9, "/b"}},
         {}},
        {"CR LF", "vorlix journal 1\r\nslide 0 0 /a\r\nend 3 9\r\n", 0, {{0, "/a"}, {3, "/a"}}, {}},
        {"bad lines are skipped with their numbers",
         head + "slide x 0 /a\nslide 0 0 /a\nslide 5 0 \nslide -1 0 /b\nslide 4 4 /b\n"
                "slide 2 2 /c\nend 6 0 junk\nfoo\nend 9 9\nslide 10 0 /d\n",
         0,
         {{0, "/a"}, {4, "/b"}, {9, "/b"}},
         {2, 4, 5, 7, 8, 9, 11}},
        {"tick past 32 bits", head + "slide 0 0 /a\nslide 2147483648 0 /b\n", 0, {}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto j = TimelineJournal::parse(c.text);
        ASSERT_TRUE(j);
        EXPECT_EQ(j->timelineLines(c.openEnd), c.lines);
        EXPECT_EQ(j->malformedLines, c.malformed);
    }
    for (const char* notJournal :
         {"", "vorlix journal 1", "vorlix journal 2\nslide 0 0 /a\n", "0,/a.bmp\n"}) {
        EXPECT_FALSE(TimelineJournal::parse(notJournal)) << notJournal;
    }
}

}  // namespace
}  // namespace vorlix
