#include "lecture/slide_timeline.h"

#include <gtest/gtest.h>

#include <array>

#include "resources/texts.h"
#include "tests/support/fakes.h"

namespace vorlix {
namespace {

using testing::Previews;
using Entry = std::pair<std::int32_t, std::int32_t>;

std::string slide(int n) {
    return "/lec/スライド" + std::to_string(n) + ".bmp";
}

struct LectureRig {
    testing::FakeView view;
    testing::FakePrompts prompts;
    std::atomic<std::int32_t> clock{0};
    LectureState lecture{view, prompts, clock};

    void start(int n) {  // Start with n slides found
        lecture.clearTimeline();
        std::vector<std::string> paths;
        for (int i = 1; i <= n; ++i) paths.push_back(slide(i));
        lecture.slides().assign(paths);
        lecture.openTimeline();
    }
    Entry slot(int i) const {
        return {lecture.timeline().startTime[i], lecture.timeline().slideIndex[i]};
    }
    std::vector<Entry> entries() const {
        std::vector<Entry> e;
        for (int i = 0; i < lecture.timeline().entryCount; ++i) e.push_back(slot(i));
        return e;
    }
};

TEST(SlideTimeline, PreviewChoiceClampsToTheList) {
    struct Case {
        std::int32_t k, count, current, next, previous;
    } cases[] = {{0, 1, 0, 0, 0}, {1, 3, 1, 2, 0},  {2, 3, 2, 2, 1},
                 {7, 3, 2, 2, 1}, {-4, 3, 0, 1, 0}, {0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        const PreviewChoice p = choosePreviews(c.k, c.count);
        EXPECT_EQ((std::array{p.current, p.next, p.previous}),
                  (std::array{c.current, c.next, c.previous}))
            << c.k << " of " << c.count;
    }
    SlideList list;
    list.assign(std::vector<std::string>(1030, "/a.bmp"));
    EXPECT_EQ(list.slideCount, 1024);
    EXPECT_EQ(list.path(1023), "/a.bmp");
    EXPECT_EQ(list.path(1024), "");
    EXPECT_EQ(list.path(-1), "");
}

// Every command is recorded at the clock's tick, even within one tick or at either end of the
// list; End adds the closing entry and the sentinel.
TEST(SlideTimeline, CommandsAndEndRecordTheTimeline) {
    struct Command {
        std::int32_t clock;
        char what;  // 'n'ext, 'p'revious, 'e'nd
    };
    struct Case {
        int slides;
        std::vector<Command> commands;
        std::vector<Entry> entries;
        Previews shown;
    } cases[] = {
        {3,
         {{0, 'n'}, {0, 'n'}, {0, 'n'}, {9, 'p'}, {12, 'p'}, {12, 'p'}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 2}, {9, 1}, {12, 0}, {12, 0}},
         {slide(1), slide(2), slide(1)}},
        {1, {{4, 'n'}, {4, 'p'}}, {{0, 0}, {4, 0}, {4, 0}}, {slide(1), slide(1), slide(1)}},
        {2, {{21, 'n'}, {60, 'e'}}, {{0, 0}, {21, 1}, {60, 1}}, {slide(2), slide(2), slide(1)}},
    };
    for (const auto& c : cases) {
        LectureRig rig;
        rig.lecture.slides().currentSlide = 5;  // left over from an earlier lecture
        rig.start(c.slides);
        for (int i = 1; i < 16; ++i) rig.lecture.timeline().startTime[i] = 77;  // left over
        bool ended = false;
        for (const auto& cmd : c.commands) {
            rig.clock = cmd.clock;
            if (cmd.what == 'n') rig.lecture.next();
            if (cmd.what == 'p') rig.lecture.previous();
            if (cmd.what == 'e') rig.lecture.closeTimeline(), ended = true;
        }
        EXPECT_EQ(rig.entries(), c.entries);
        EXPECT_EQ(rig.view.previews.back(), c.shown);
        if (ended) {
            EXPECT_EQ(rig.lecture.finalTime(), c.commands.back().clock);
            EXPECT_EQ(rig.slot(rig.lecture.timeline().entryCount), (Entry{0, 0}));  // sentinel
        }
    }
}

TEST(SlideTimeline, FullTimelineStillMovesButRecordsNothingMore) {
    auto rig = std::make_unique<LectureRig>();  // two 8210-slot arrays: off the stack
    rig->start(2);
    for (int i = 1; i < SlideTimeline::kMaxEntries; ++i) {
        rig->clock = i;
        i % 2 ? rig->lecture.next() : rig->lecture.previous();
    }
    ASSERT_EQ(rig->lecture.timeline().entryCount, 8200);
    rig->lecture.timeline().startTime[8200] = 99;
    rig->clock = 9000;
    rig->lecture.previous();  // the picture changes, the timeline does not
    EXPECT_EQ(rig->view.previews.back(), (Previews{slide(1), slide(2), slide(1)}));
    EXPECT_EQ(rig->slot(8200), (Entry{99, 0}));
    rig->lecture.closeTimeline();
    EXPECT_EQ(rig->lecture.finalTime(), 9000);
    EXPECT_EQ(rig->lecture.timeline().entryCount, 8200);
    EXPECT_EQ(rig->slot(8200), (Entry{0, 0}));  // the sentinel has its slot
}

TEST(SlideTimeline, WithoutSlidesCommandsOnlyAskForStart) {
    LectureRig rig;
    rig.lecture.next();
    EXPECT_EQ(rig.prompts.log, testing::Log{std::string(texts::kPressStartFirst)});
    EXPECT_TRUE(rig.view.previews.empty());
    // After End the list is reset: placeholders, and the old timeline is kept until Start.
    rig.start(3);
    rig.clock = 5;
    rig.lecture.next();
    rig.lecture.closeTimeline();
    rig.lecture.resetSlideList();
    EXPECT_EQ(rig.view.previews.back(), (Previews{"", "", ""}));
    rig.lecture.previous();
    EXPECT_EQ(rig.prompts.log.size(), 2u);
    EXPECT_EQ(rig.entries(), (std::vector<Entry>{{0, 0}, {5, 1}, {5, 1}}));
}

}  // namespace
}  // namespace vorlix
