// What one lecture is made of while it is recorded: the slide list, the slide on screen, and
// the timeline of when each slide was put on screen, in half-second ticks of the lecture clock.
// Everything here runs on the user-interface thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorlix {

class LectureView;
class UserPrompts;

struct SlideList {
    static constexpr std::int32_t kCapacity = 1024;

    // Full path of each slide file; index 0 is slide number 1.
    std::array<std::string, kCapacity> paths;
    // Valid entries in paths; 0 means no lecture is prepared.
    std::int32_t slideCount = 0;
    // Index of the slide on screen.
    std::int32_t currentSlide = 0;

    // Takes up to kCapacity paths as the lecture's slides.
    void assign(const std::vector<std::string>& slidePaths);
    // The path of a slide index; empty outside the list's slots.
    const std::string& path(std::int32_t index) const;
};

// Entry i: slideIndex[i] was on screen from startTime[i] until startTime[i + 1].
struct SlideTimeline {
    static constexpr std::int32_t kSlots = 8210;
    // Entries are appended only below this count; the spare slots keep room for the closing
    // sentinel even when the timeline is full.
    static constexpr std::int32_t kMaxEntries = 8200;

    std::array<std::int32_t, kSlots> startTime{};
    std::array<std::int32_t, kSlots> slideIndex{};
    std::int32_t entryCount = 0;

    void clear();
    // Appends unless full; false when the entry was not recorded.
    bool append(std::int32_t time, std::int32_t slide);
    // The closing entry of End: kept even when the timeline is full (a spare slot holds it).
    bool appendClosing(std::int32_t time, std::int32_t slide);
    // The (0, 0) entry after the last one, with the count unchanged.
    void writeSentinel();
};

// Which slide each preview shows for the current index k.
struct PreviewChoice {
    std::int32_t current = 0;
    std::int32_t next = 0;
    std::int32_t previous = 0;
};
PreviewChoice choosePreviews(std::int32_t k, std::int32_t slideCount);

// The slide list, the timeline and `finalTime`, with the commands that change them.
class LectureState {
  public:
    // lectureClock is the clock's value (written by the clock thread).
    LectureState(LectureView& view, UserPrompts& prompts,
                 const std::atomic<std::int32_t>& lectureClock);

    // Start: clear, then (after the slides were found) open with slide 1 at tick 0.
    void clearTimeline();
    void openTimeline();
    // Next and Previous: move, refresh the previews and record the change at the current tick.
    // Without slides they only ask the user to press Start first.
    void next();
    void previous();
    // End, first step: `finalTime`, the closing entry (the slide on screen at the end), and the
    // sentinel.
    void closeTimeline();
    // End, last step: no slides, previews back to their placeholders. The timeline stays until
    // the next Start clears it.
    void resetSlideList();
    // Shows slide k and its neighbours; empty paths where there are no slides.
    void refreshPreviews(std::int32_t k);

    // Told of every entry recorded after the opening one (tick, slide index, whether it is the
    // closing entry of End), so it can be kept on disk as the lecture goes.
    using EntryListener = std::function<void(std::int32_t tick, std::int32_t slide, bool closing)>;
    void setEntryListener(EntryListener listener) { listener_ = std::move(listener); }

    SlideList& slides() { return slides_; }
    const SlideList& slides() const { return slides_; }
    SlideTimeline& timeline() { return timeline_; }
    const SlideTimeline& timeline() const { return timeline_; }
    std::int32_t finalTime() const { return finalTime_; }

  private:
    void step(std::int32_t delta);
    std::int32_t clockNow() const;

    LectureView& view_;
    UserPrompts& prompts_;
    const std::atomic<std::int32_t>& lectureClock_;
    SlideList slides_;
    SlideTimeline timeline_;
    std::int32_t finalTime_ = 0;
    bool fullTold_ = false;  // the user knows the timeline is full
    EntryListener listener_;
};

}  // namespace vorlix
