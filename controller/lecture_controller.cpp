#include "controller/lecture_controller.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "common/lecture_view.h"
#include "common/regular_file.h"
#include "common/temp_path.h"
#include "common/user_prompts.h"
#include "lecture/slide_folder.h"
#include "lecture/timeline_file.h"
#include "resources/texts.h"
#include "video/conversion_driver.h"
#include "video/mp4_writer.h"
#include "video/pdf_slides.h"

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

// The kinds the save dialogue offers: the AVI first, the web video beside it.
constexpr std::size_t kMp4Type = 1;
const std::vector<SaveFileType>& videoTypes() {
    static const std::vector<SaveFileType> types{
        {std::string(texts::kSaveFilterDescription), std::string(texts::kSaveFilterPattern)},
        {std::string(texts::kSaveMp4FilterDescription), std::string(texts::kSaveMp4FilterPattern)}};
    return types;
}

std::string withMp4Extension(const std::string& path) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const std::size_t n = path.size();
    if (n >= 4 && path[n - 4] == '.' && lower(path[n - 3]) == 'm' && lower(path[n - 2]) == 'p' &&
        path[n - 1] == '4')
        return path;
    return path + ".mp4";
}

// The conversion driver asks for the AVI's name itself: it gets the one already chosen in the
// dialogue that offered both kinds. Everything else goes to the user.
class ChosenName final : public UserPrompts {
  public:
    explicit ChosenName(UserPrompts& to) : to_(to) {}
    void set(std::string path) { path_ = std::move(path); }
    void showMessage(std::string_view text, std::string_view caption) override {
        to_.showMessage(text, caption);
    }
    bool askYesNo(std::string_view text) override { return to_.askYesNo(text); }
    std::optional<std::string> chooseFolder(std::string_view title) override {
        return to_.chooseFolder(title);
    }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return path_;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>& codecs) override {
        return to_.chooseCodec(codecs);
    }

  private:
    UserPrompts& to_;
    std::string path_;
};
}  // namespace

LectureController::LectureController(LectureView& view, UserPrompts& prompts, WaveInput& device)
    : view_(view),
      prompts_(prompts),
      device_(device, [this] { deviceClosed(); }),
      narration_(prompts),
      recorder_(device_, narration_, view, prompts),
      clock_(view, recorder_.completedBuffers(), nullptr, &recorder_.pausedFlag()),
      state_(view, prompts, clock_.lectureClockValue()) {
    state_.setEntryListener(
        [this](std::int32_t tick, std::int32_t slide, bool closing) {
            journalEntry(tick, slide, closing);
        });
}

LectureController::~LectureController() = default;

void LectureController::start() {
    // The button is disabled in these states; a key or a queued click must not get through
    // either, above all not onto buffers the previous lecture's device is still handing back.
    if (!startReady()) return;
    view_.setStartEnabled(false);
    const std::string prefix = chooseSlideFolder(prompts_);
    std::vector<std::string> slides = enumerateSlides(prefix);
    bool pdfTold = false;
    if (slides.empty()) {
        if (const auto pdf = slidePdf(prefix)) slides = slidesFromPdf(*pdf, pdfTold);
    }
    state_.clearTimeline();
    state_.slides().assign(slides);
    state_.openTimeline();
    clockStarted_ = false;
    recorder_.completedBuffers().store(-1);
    narrationPath_.clear();
    timelinePath_.clear();

    if (state_.slides().slideCount <= 0) {
        if (!pdfTold) prompts_.showMessage(noSlidesMessage(prefix));
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
    if (!narrationPath_.empty()) liveSound_.start(narrationPath_);
    openJournal();
}

void LectureController::openJournal() {
    journalFailTold_ = false;
    const std::string path =
        TimelineJournal::makeName(static_cast<std::int64_t>(std::time(nullptr)), clock_.threadId());
    record_ = Journal{};
    record_.narrationPath = narrationPath_;
    record_.slides.push_back({0, 0, state_.slides().path(0)});
    bool ok = journal_.create(path);
    if (ok && !narrationPath_.empty()) ok = journal_.narration(narrationPath_);
    // The opening entry: slide 1 at tick 0, sample 0.
    if (ok) ok = journal_.slide(0, 0, state_.slides().path(0));
    if (!ok) journalFailed();
}

void LectureController::journalEntry(std::int32_t tick, std::int32_t slide, bool closing) {
    // The moment of the press: the sound the device still holds was said before it.
    const std::int64_t sample = recorder_.recordedSamples() + device_.samplesHeld();
    if (closing)
        record_.end = JournalEntry{tick, sample, {}};
    else
        record_.slides.push_back({tick, sample, state_.slides().path(slide)});
    if (!journal_.isOpen()) return;
    const bool ok = closing ? journal_.end(tick, sample)
                            : journal_.slide(tick, sample, state_.slides().path(slide));
    if (!ok) journalFailed();
}

void LectureController::journalFailed() {
    // Told once a lecture; the timeline in memory still makes the video at End.
    if (journalFailTold_) return;
    journalFailTold_ = true;
    prompts_.showMessage(std::string(texts::kJournalNotWritten) + "\n" +
                         causeLine(journal_.path().empty() ? tempFolder() : journal_.path(),
                                   journal_.lastError()));
}

void LectureController::togglePause() {
    if (!lectureRunning() || ending_) return;
    if (recorder_.paused() ? recorder_.resume() : recorder_.pause())
        view_.setPaused(recorder_.paused());
}

std::vector<std::string> LectureController::slidesFromPdf(const std::string& pdf, bool& told) {
    // The pages become pictures beside the lecture's other files, so that the timeline names
    // ordinary slide files and a later remake finds them.
    const auto folder = makeNewFolder(
        tempFolder(), "vx_slides_" + std::to_string(static_cast<long long>(std::time(nullptr))));
    if (!folder) {
        prompts_.showMessage(
            formatted(texts::kPdfNotReadFormat, pdf, std::string(texts::kPdfFolderNotMade)));
        told = true;
        return {};
    }
    PdfProgress progress;
    if (preparationUpdate_)
        progress = [this](int done, int total) { preparationUpdate_(done, total); };
    PdfSlides deck = renderPdfSlides(pdf, *folder, kMaxSlides, progress);
    if (preparationFinished_) preparationFinished_();
    if (!deck.problem.empty()) {
        prompts_.showMessage(formatted(texts::kPdfNotReadFormat, pdf, deck.problem));
        told = true;
    }
    if (deck.paths.empty()) ::rmdir(folder->c_str());
    return deck.paths;
}

std::string LectureController::stopAndSave() {
    state_.closeTimeline();
    const bool wasPaused = recorder_.paused();
    recorder_.stopRecording();
    if (wasPaused) view_.setPaused(false);
    if (!clockStarted_) return {};
    clock_.stop();
    // Beside the journal, with its stem, so the two are known to belong together.
    std::optional<std::string> path;
    std::string cause;
    if (journal_.isOpen()) {
        const std::string besideJournal = TimelineJournal::timelinePathFor(journal_.path());
        errno = 0;
        if (TimelineFile::writeAt(besideJournal, state_.timeline(), state_.slides()))
            path = besideJournal;
        else
            cause = "\n" + causeLine(besideJournal, errno != 0 ? systemReason(errno) : "");
    } else {
        path = TimelineFile::write(state_.timeline(), state_.slides(), clock_.threadId());
    }
    if (!path) {
        prompts_.showMessage(std::string(texts::kTimelineFileNotCreated) + cause);
        return {};
    }
    return *path;
}

void LectureController::end() {
    if (ending_) return;
    ending_ = true;
    const bool hadClock = clockStarted_;
    timelinePath_ = stopAndSave();
    liveSound_.finish();
    if (hadClock && !timelinePath_.empty()) {
        const std::string video = convert(timelinePath_, narrationPath_, state_.finalTime(),
                                          state_.timeline().entryCount, record_);
        // The lecture needs nothing more: not offered for recovery at the next start.
        journal_.closed(video);
    }
    journal_.close();

    view_.setLevelText({});
    view_.setClockText({});
    state_.resetSlideList();
    clockStarted_ = false;
    narrationPath_.clear();
    timelinePath_.clear();
    ending_ = false;
    enableStartWhenReady();
}

std::string LectureController::convert(const std::string& timelinePath,
                                       const std::string& narrationPath, std::int32_t finalTime,
                                       std::int64_t lines, const Journal& journal) {
    ChosenName chosen(prompts_);
    ConversionDriver driver(chosen, conversion_);
    driver.setProgressCallback([this, lines](const AviProgress& p) {
        if (!progressUpdate_) return;
        // The audio is copied in time order beside the frames, so it measures the whole.
        if (p.audioSamplesTotal > 0)
            progressUpdate_(p.audioSamplesCopied, p.audioSamplesTotal);
        else
            progressUpdate_(p.linesDone, lines);
    });
    for (;;) {
        conversion_.conversionFinished = 0;
        std::optional<SaveChoice> choice;
        while (!(choice = prompts_.askSaveFile(videoTypes(), texts::kSaveInitialName))) {
            if (prompts_.askYesNo(texts::kAbandonQuestion)) return {};
        }
        if (choice->type == kMp4Type) {
            const std::string video = writeWebVideo(choice->path, narrationPath, journal);
            if (!video.empty()) return video;
            continue;  // told why; the dialogue again
        }
        if (progressLabel_) progressLabel_(texts::kWritingVideo);
        chosen.set(choice->path);
        const auto outcome = driver.runConversion(timelinePath, narrationPath, finalTime);
        if (progressFinished_) progressFinished_();
        if (conversion_.conversionFinished != 0) {
            return outcome == ConversionDriver::Outcome::Built && driver.lastReport().written
                       ? driver.outputPath()
                       : std::string();
        }
        prompts_.showMessage(texts::kConversionRetry);
    }
}

std::string LectureController::writeWebVideo(const std::string& chosen,
                                             const std::string& narrationPath,
                                             const Journal& journal) {
    const std::string output = withMp4Extension(chosen);
    Mp4Job job{.outputPath = output, .narrationPath = narrationPath};
    takeJournalChanges(job, journal);
    if (progressLabel_) progressLabel_(texts::kWritingMp4);
    job.progress = [this](double done) {
        if (progressUpdate_) progressUpdate_(static_cast<std::int64_t>(done * 1000), 1000);
    };
    if (progressUpdate_) progressUpdate_(0, 1000);
    const Mp4Result r = writeMp4(job);
    if (progressFinished_) progressFinished_();
    if (!r.ok) {
        prompts_.showMessage(formatted(texts::kMp4FailedFormat, r.error));
        return {};
    }
    prompts_.showMessage(formatted(texts::kMp4WrittenFormat, output, r.chaptersPath) +
                         problemsText(r.problems));
    return output;
}

void LectureController::recoverLectures() {
    for (const std::string& path : unfinishedJournals(tempFolder())) recoverLecture(path);
}

void LectureController::recoverLecture(const std::string& journalPath) {
    if (lectureRunning() || ending_) return;
    const auto journal = TimelineJournal::read(journalPath);
    if (!journal || journal->closed) return;
    const std::string question =
        formatted(texts::kRecoveryQuestionFormat, journalPath, journalPath);
    std::string video;
    if (prompts_.askYesNo(question)) {
        ending_ = true;
        view_.setStartEnabled(false);
        // The journal is the timeline: every change up to the kill, closed at the sound's end.
        video = convert(journalPath, journal->narrationPath, INT32_MAX,
                        static_cast<std::int64_t>(journal->slides.size()) + 1, *journal);
        ending_ = false;
        enableStartWhenReady();
    }
    TimelineJournal closer;
    if (closer.reopen(journalPath)) closer.closed(video);
}

bool LectureController::confirmClose() {
    if (ending_) return false;  // the video is being written; End finishes first
    if (!lectureRunning()) return true;
    if (!prompts_.askYesNo(texts::kCloseDuringLecture)) return false;
    const std::string narration = narrationPath_;
    const std::string timeline = stopAndSave();
    journal_.close();  // left open: the next start offers to make its video
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
