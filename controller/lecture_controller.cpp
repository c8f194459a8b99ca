#include "controller/lecture_controller.h"

#include <cstdio>

#include "common/lecture_view.h"
#include "lecture/slide_folder.h"
#include "lecture/timeline_file.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "video/conversion_driver.h"

namespace vorlix {

namespace {
std::string formatted(const char* format, const std::string& a, const std::string& b = {}) {
    const int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    if (n < 0) return {};
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
    text.resize(static_cast<std::size_t>(n));
    return text;
}
}  // namespace

LectureController::LectureController(LectureView& view, UserPrompts& prompts, WaveInput& device)
    : view_(view),
      prompts_(prompts),
      device_(device, [this] { deviceClosed(); }),
      narration_(prompts),
      recorder_(device_, narration_, view, prompts),
      clock_(view, recorder_.completedBuffers(), nullptr, &recorder_.pausedFlag()),
      state_(view, prompts, clock_.lectureClockValue()) {}

LectureController::~LectureController() = default;

void LectureController::start() {
    // The button is disabled in these states; a key or a queued click must not get through
    // either, above all not onto buffers the previous lecture's device is still handing back.
    if (!startReady()) return;
    view_.setStartEnabled(false);
    const std::string prefix = chooseSlideFolder(prompts_);
    state_.clearTimeline();
    state_.slides().assign(enumerateSlides(prefix));
    state_.openTimeline();
    clockStarted_ = false;
    recorder_.completedBuffers().store(-1);
    narrationPath_.clear();
    timelinePath_.clear();

    if (state_.slides().slideCount <= 0) {
        prompts_.showMessage(texts::kNoSlidesFound);
        enableStartWhenReady();
        return;
    }
    if (!clock_.start()) {
        // Without the clock no slide change could be timed; the program ends instead of
        // recording a lecture it cannot turn into a video.
        prompts_.showMessage(texts::kThreadNotCreated);
        if (quit_) quit_();
        return;
    }
    clockStarted_ = true;
    recorder_.startRecording(clock_.threadId());
    if (narration_.isOpen()) narrationPath_ = narration_.path();
}

void LectureController::togglePause() {
    if (!lectureRunning() || ending_) return;
    if (recorder_.paused() ? recorder_.resume() : recorder_.pause())
        view_.setPaused(recorder_.paused());
}

std::string LectureController::stopAndSave() {
    state_.closeTimeline();
    const bool wasPaused = recorder_.paused();
    recorder_.stopRecording();
    if (wasPaused) view_.setPaused(false);
    if (!clockStarted_) return {};
    clock_.stop();
    const auto path = TimelineFile::write(state_.timeline(), state_.slides(), clock_.threadId());
    if (!path) {
        prompts_.showMessage(texts::kTimelineFileNotCreated);
        return {};
    }
    return *path;
}

void LectureController::end() {
    if (ending_) return;
    ending_ = true;
    const bool hadClock = clockStarted_;
    timelinePath_ = stopAndSave();
    if (hadClock && !timelinePath_.empty()) convert();

    view_.setLevelText({});
    view_.setClockText({});
    state_.resetSlideList();
    clockStarted_ = false;
    narrationPath_.clear();
    timelinePath_.clear();
    ending_ = false;
    enableStartWhenReady();
}

void LectureController::convert() {
    ConversionDriver driver(prompts_, conversion_);
    const std::int64_t lines = state_.timeline().entryCount;
    driver.setProgressCallback([this, lines](const AviProgress& p) {
        if (!progressUpdate_) return;
        // The audio is copied in time order beside the frames, so it measures the whole.
        if (p.audioSamplesTotal > 0)
            progressUpdate_(p.audioSamplesCopied, p.audioSamplesTotal);
        else
            progressUpdate_(p.linesDone, lines);
    });
    for (;;) {
        const std::string timelinePath = timelinePath_;
        const std::string narrationPath = narrationPath_;
        conversion_.conversionFinished = 0;
        driver.runConversion(timelinePath, narrationPath, state_.finalTime());
        if (progressFinished_) progressFinished_();
        if (conversion_.conversionFinished != 0) break;
        prompts_.showMessage(texts::kConversionRetry);
    }
}

bool LectureController::confirmClose() {
    if (ending_) return false;  // the video is being written; End finishes first
    if (!lectureRunning()) return true;
    if (!prompts_.askYesNo(texts::kCloseDuringLecture)) return false;
    const std::string narration = narrationPath_;
    const std::string timeline = stopAndSave();
    if (!timeline.empty() && !narration.empty())
        prompts_.showMessage(formatted(texts::kSavedOnCloseFormat, narration, timeline));
    else if (!narration.empty())
        prompts_.showMessage(formatted(texts::kNarrationSavedOnCloseFormat, narration));
    clockStarted_ = false;
    return true;
}

void LectureController::enableStartWhenReady() {
    if (startReady()) {
        startWaiting_ = false;
        view_.setStartEnabled(true);
    } else {
        startWaiting_ = true;
    }
}

void LectureController::deviceClosed() {
    if (startWaiting_) enableStartWhenReady();
}

}  // namespace vorlix
