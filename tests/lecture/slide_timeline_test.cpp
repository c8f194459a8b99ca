#include "lecture/slide_timeline.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "resources/texts.h"
#include "support/lecture_fakes.h"

namespace vorlix {
namespace {

using testing::FakePrompts;
using testing::FakeView;
using testing::Previews;
using Entry = std::pair<std::int32_t, std::int32_t>;

std::vector<std::string> slidePaths(int n) {
    std::vector<std::string> paths;
    for (int i = 1; i <= n; ++i) paths.push_back("/lec/スライド" + std::to_string(i) + ".bmp");
    return paths;
}

struct LectureRig {
    FakeView view;
    FakePrompts prompts;
    std::atomic<std::int32_t> clock{0};
    LectureState lecture{view, prompts, clock};

    // Start with n slides found.
    void start(int n) {
        lecture.clearTimeline();
        lecture.slides().assign(slidePaths(n));
        lecture.openTimeline();
    }
    std::vector<Entry> entries() const {
        const auto& t = lecture.timeline();
        std::vector<Entry> e;
        for (int i = 0; i < t.entryCount; ++i) e.emplace_back(t.startTime[i], t.slideIndex[i]);
        return e;
    }
    Entry slot(int i) const {
        return {lecture.timeline().startTime[i], lecture.timeline().slideIndex[i]};
    }
};

TEST(SlideTimeline, PreviewChoiceClampsToTheList) {
    struct Case {
        std::int32_t k, count, current, next, previous;
    } cases[] = {
        {0, 1, 0, 0, 0}, {0, 3, 0, 1, 0},  {1, 3, 1, 2, 0}, {2, 3, 2, 2, 1},
        {7, 3, 2, 2, 1}, {-4, 3, 0, 1, 0}, {0, 0, 0, 0, 0}, {511, 512, 511, 511, 510},
    };
    for (const auto& c : cases) {
        const PreviewChoice p = choosePreviews(c.k, c.count);
        EXPECT_EQ(p.current, c.current) << c.k << " of " << c.count;
        EXPECT_EQ(p.next, c.next) << c.k << " of " << c.count;
        EXPECT_EQ(p.previous, c.previous) << c.k << " of " << c.count;
    }
}

TEST(SlideTimeline, StartOpensWithSlideOneAtTickZero) {
    LectureRig rig;
    rig.lecture.slides().currentSlide = 5;  // left over from an earlier lecture
    rig.start(3);
    EXPECT_EQ(rig.entries(), (std::vector<Entry>{{0, 0}}));
    EXPECT_EQ(rig.lecture.slides().currentSlide, 0);
    ASSERT_EQ(rig.view.previews.size(), 1u);
    EXPECT_EQ(rig.view.previews[0],
              (Previews{"/lec/スライド1.bmp", "/lec/スライド2.bmp", "/lec/スライド1.bmp"}));
}

TEST(SlideTimeline, EveryCommandIsRecordedEvenWithinOneTickOrAtTheEnds) {
    LectureRig rig;
    rig.start(3);
    for (int i = 0; i < 4; ++i) rig.lecture.next();
    EXPECT_EQ(rig.entries(), (std::vector<Entry>{{0, 0}, {0, 1}, {0, 2}, {0, 2}, {0, 2}}));
    EXPECT_EQ(rig.lecture.slides().currentSlide, 2);
    // On the last slide the next preview repeats it.
    EXPECT_EQ(rig.view.previews.back(),
              (Previews{"/lec/スライド3.bmp", "/lec/スライド3.bmp", "/lec/スライド2.bmp"}));

    rig.clock = 9;
    rig.lecture.previous();
    rig.clock = 12;
    rig.lecture.previous();
    rig.lecture.previous();  // on the first slide: recorded again
    EXPECT_EQ(
        rig.entries(),
        (std::vector<Entry>{{0, 0}, {0, 1}, {0, 2}, {0, 2}, {0, 2}, {9, 1}, {12, 0}, {12, 0}}));
    EXPECT_EQ(rig.view.previews.back(),
              (Previews{"/lec/スライド1.bmp", "/lec/スライド2.bmp", "/lec/スライド1.bmp"}));
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST(SlideTimeline, OneSlideShowsItInAllThreePreviews) {
    LectureRig rig;
    rig.start(1);
    rig.clock = 4;
    rig.lecture.next();
    rig.lecture.previous();
    EXPECT_EQ(rig.entries(), (std::vector<Entry>{{0, 0}, {4, 0}, {4, 0}}));
    for (const auto& p : rig.view.previews) {
        EXPECT_EQ(p, (Previews{"/lec/スライド1.bmp", "/lec/スライド1.bmp", "/lec/スライド1.bmp"}));
    }
}

TEST(SlideTimeline, CloseRecordsFinalTimeClosingEntryAndSentinel) {
    struct Case {
        std::int32_t endClock;
        std::vector<Entry> entries;
    } cases[] = {
        {0, {{0, 0}, {0, 0}}},             // End right after Start
        {60, {{0, 0}, {21, 1}, {60, 1}}},  // the slide on screen runs to the end
    };
    for (const auto& c : cases) {
        LectureRig rig;
        rig.start(2);
        if (c.endClock > 0) {
            rig.clock = 21;
            rig.lecture.next();
        }
        const int sentinelSlot = static_cast<int>(c.entries.size());
        rig.lecture.timeline().startTime[sentinelSlot] = 77;  // whatever the slot held
        rig.lecture.timeline().slideIndex[sentinelSlot] = 5;
        rig.clock = c.endClock;
        rig.lecture.closeTimeline();
        EXPECT_EQ(rig.lecture.finalTime(), c.endClock);
        EXPECT_EQ(rig.entries(), c.entries);
        EXPECT_EQ(rig.slot(sentinelSlot), (Entry{0, 0}));
    }
}

TEST(SlideTimeline, FullTimelineStillMovesButRecordsNothingMore) {
    auto rig = std::make_unique<LectureRig>();  // two 8210-slot arrays: keep them off the stack
    rig->start(2);
    for (int i = 1; i < SlideTimeline::kMaxEntries; ++i) {
        rig->clock = i;
        if (i % 2)
            rig->lecture.next();
        else
            rig->lecture.previous();
    }
    ASSERT_EQ(rig->lecture.timeline().entryCount, 8200);
    EXPECT_EQ(rig->slot(8199), (Entry{8199, 1}));
    rig->lecture.timeline().startTime[8200] = 99;
    rig->clock = 9000;
    const auto shownBefore = rig->view.previews.size();
    rig->lecture.previous();  // the picture changes, the timeline does not
    EXPECT_EQ(rig->lecture.slides().currentSlide, 0);
    EXPECT_EQ(rig->view.previews.size(), shownBefore + 1);
    EXPECT_EQ(rig->lecture.timeline().entryCount, 8200);
    EXPECT_EQ(rig->slot(8200), (Entry{99, 0}));
    rig->lecture.closeTimeline();
    EXPECT_EQ(rig->lecture.finalTime(), 9000);
    EXPECT_EQ(rig->lecture.timeline().entryCount, 8200);
    EXPECT_EQ(rig->slot(8200), (Entry{0, 0}));  // the sentinel has its slot
    EXPECT_EQ(rig->slot(8199), (Entry{8199, 1}));
}

TEST(SlideTimeline, WithoutSlidesCommandsOnlyAskForStart) {
    LectureRig rig;
    rig.lecture.next();
    rig.lecture.previous();
    EXPECT_EQ(rig.prompts.messages,
              (std::vector<std::string>{std::string(texts::kPressStartFirst),
                                        std::string(texts::kPressStartFirst)}));
    EXPECT_EQ(rig.lecture.timeline().entryCount, 0);
    EXPECT_TRUE(rig.view.previews.empty());

    // After End the list is reset: placeholders, and the old timeline is kept until Start.
    rig.start(3);
    rig.clock = 5;
    rig.lecture.next();
    rig.lecture.closeTimeline();
    rig.lecture.resetSlideList();
    EXPECT_EQ(rig.lecture.slides().slideCount, 0);
    EXPECT_EQ(rig.lecture.slides().currentSlide, 0);
    EXPECT_EQ(rig.view.previews.back(), (Previews{"", "", ""}));
    EXPECT_EQ(rig.entries(), (std::vector<Entry>{{0, 0}, {5, 1}, {5, 1}}));
    rig.lecture.next();
    EXPECT_EQ(rig.prompts.messages.size(), 3u);
    EXPECT_EQ(rig.lecture.timeline().entryCount, 3);
    rig.lecture.clearTimeline();
    EXPECT_EQ(rig.lecture.timeline().entryCount, 0);
    EXPECT_EQ(rig.slot(1), (Entry{0, 0}));
}

TEST(SlideTimeline, SlideListHoldsAtMost1024Paths) {
    SlideList list;
    list.assign(slidePaths(1030));
    EXPECT_EQ(list.slideCount, 1024);
    EXPECT_EQ(list.path(1023), "/lec/スライド1024.bmp");
    EXPECT_EQ(list.path(1024), "");
    EXPECT_EQ(list.path(-1), "");
}

}  // namespace
}  // namespace vorlix
