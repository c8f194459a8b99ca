#include "lecture/slide_timeline.h"

#include <algorithm>

#include "common/lecture_view.h"
#include "common/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {

void SlideList::assign(const std::vector<std::string>& slidePaths) {
    const auto count = std::min<std::size_t>(slidePaths.size(), kCapacity);
    for (std::size_t i = 0; i < count; ++i) paths[i] = slidePaths[i];
    slideCount = static_cast<std::int32_t>(count);
}

const std::string& SlideList::path(std::int32_t index) const {
    static const std::string none;
    if (index < 0 || index >= kCapacity) return none;
    return paths[index];
}

void SlideTimeline::clear() {
    startTime.fill(0);
    slideIndex.fill(0);
    entryCount = 0;
}

bool SlideTimeline::append(std::int32_t time, std::int32_t slide) {
    if (entryCount < 0 || entryCount >= kMaxEntries) return false;
    startTime[entryCount] = time;
    slideIndex[entryCount] = slide;
    ++entryCount;
    return true;
}

bool SlideTimeline::appendClosing(std::int32_t time, std::int32_t slide) {
    if (entryCount < 0 || entryCount > kMaxEntries) return false;
    startTime[entryCount] = time;
    slideIndex[entryCount] = slide;
    ++entryCount;
    return true;
}

void SlideTimeline::writeSentinel() {
    if (entryCount < 0 || entryCount >= kSlots) return;
    startTime[entryCount] = 0;
    slideIndex[entryCount] = 0;
}

PreviewChoice choosePreviews(std::int32_t k, std::int32_t slideCount) {
    if (k >= slideCount) k = slideCount - 1;
    if (k < 0) k = 0;
    const std::int32_t last = std::max(slideCount - 1, 0);
    return {k, std::clamp(k + 1, 0, last), std::max(k - 1, 0)};
}

LectureState::LectureState(LectureView& view, UserPrompts& prompts,
                           const std::atomic<std::int32_t>& lectureClock)
    : view_(view), prompts_(prompts), lectureClock_(lectureClock) {}

std::int32_t LectureState::clockNow() const {
    return lectureClock_.load(std::memory_order_relaxed);
}

void LectureState::clearTimeline() {
    timeline_.clear();
    fullTold_ = false;
}

void LectureState::openTimeline() {
    timeline_.startTime[0] = 0;
    timeline_.slideIndex[0] = 0;
    timeline_.entryCount = 1;
    slides_.currentSlide = 0;
    refreshPreviews(0);
}

void LectureState::next() {
    step(+1);
}
void LectureState::previous() {
    step(-1);
}

void LectureState::step(std::int32_t delta) {
    if (slides_.slideCount <= 0) {
        prompts_.showMessage(texts::kPressStartFirst);
        return;
    }
    slides_.currentSlide = std::clamp(slides_.currentSlide + delta, 0, slides_.slideCount - 1);
    refreshPreviews(slides_.currentSlide);
    // Recorded even when the slide did not move; the timeline file drops what lasted no time.
    const std::int32_t now = clockNow();
    if (timeline_.append(now, slides_.currentSlide)) {
        if (listener_) listener_(now, slides_.currentSlide, false);
    } else if (!fullTold_) {
        // Once: the slides still change on screen, but the video no longer follows them.
        fullTold_ = true;
        prompts_.showMessage(texts::kTimelineFull);
    }
}

void LectureState::closeTimeline() {
    finalTime_ = clockNow();
    // Kept even in a full timeline, so the video holds the last slide up to the end.
    if (timeline_.appendClosing(finalTime_, slides_.currentSlide) && listener_) {
        listener_(finalTime_, slides_.currentSlide, true);
    }
    timeline_.writeSentinel();
}

void LectureState::resetSlideList() {
    slides_.slideCount = 0;
    slides_.currentSlide = 0;
    refreshPreviews(0);
}

void LectureState::refreshPreviews(std::int32_t k) {
    if (slides_.slideCount < 1) {
        view_.showPreviews({}, {}, {});
        return;
    }
    const PreviewChoice c = choosePreviews(k, slides_.slideCount);
    view_.showPreviews(slides_.path(c.current), slides_.path(c.next), slides_.path(c.previous));
    // Next then shows the slide after the next one, Previous the one before the previous one.
    const PreviewChoice after = choosePreviews(c.next, slides_.slideCount);
    const PreviewChoice before = choosePreviews(c.previous, slides_.slideCount);
    view_.prepareSlides({slides_.path(after.next), slides_.path(before.previous)});
}

}  // namespace vorlix
