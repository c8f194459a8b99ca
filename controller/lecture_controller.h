// The lecture from Start to the finished video: Start prepares the slides and sets recording and
// the clock going; End stops both, writes the timeline file and converts until a video is made
// or the user gives up, then makes the window ready for the next lecture.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lecture/lecture_clock.h"
#include "lecture/slide_timeline.h"
#include "lecture/timeline_journal.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "recording/wave_input.h"
#include "video/conversion_state.h"
#include "video/live_sound.h"

namespace vorlix {

class LectureView;
class UserPrompts;

class LectureController {
public:
    // The device must outlive the controller.
    LectureController(LectureView& view, UserPrompts& prompts, WaveInput& device);
    ~LectureController();
    LectureController(const LectureController&) = delete;
    LectureController& operator=(const LectureController&) = delete;

    // The Start and End buttons, and Next and Previous.
    void start();
    void end();
    void next() { state_.next(); }
    void previous() { state_.previous(); }
    // Pause and resume, in turn (the pause button and key). Nothing outside a lecture. While
    // paused, Next and Previous still move the slides; their changes are stamped with the
    // stopped clock, which is where recording resumes.
    void togglePause();
    bool paused() const { return recorder_.paused(); }

    // The window is about to close. During a lecture the user is asked first; when they agree,
    // recording and the clock stop, the narration and the timeline file are saved and the user
    // is told where. False keeps the window open.
    bool confirmClose();

    // Program start: offers, one by one, to make the video of each lecture in the lecture folder
    // that never got one (left by a crash or a kill). Leaving one closes its journal: it is
    // not offered again, and its files stay for vorlix-convert.
    void recoverLectures();
    // The same for one journal.
    void recoverLecture(const std::string& journalPath);

    // While a lecture runs (the clock is going).
    bool lectureRunning() const { return clock_.isRunning(); }
    // Start would begin a lecture now: no lecture, no conversion, and the previous lecture's
    // device has delivered everything.
    bool startReady() const { return !lectureRunning() && !ending_ && recorder_.idle(); }

    // Progress of the video being written (done of total, in any unit), and its end; `label`
    // says which kind of video is made before it begins.
    void setConversionProgress(std::function<void(std::int64_t done, std::int64_t total)> update,
                               std::function<void()> finished,
                               std::function<void(std::string_view label)> label = {}) {
        progressUpdate_ = std::move(update);
        progressFinished_ = std::move(finished);
        progressLabel_ = std::move(label);
    }
    // Progress of a PDF deck's pages being drawn at Start (pages done of total), and its end.
    void setSlidePreparationProgress(
        std::function<void(std::int64_t done, std::int64_t total)> update,
        std::function<void()> finished) {
        preparationUpdate_ = std::move(update);
        preparationFinished_ = std::move(finished);
    }
    // Asked for when the clock thread could not be made: the program cannot run a lecture.
    void setQuitRequest(std::function<void()> quit) { quit_ = std::move(quit); }

    const LectureState& state() const { return state_; }
    const Recorder& recorder() const { return recorder_; }
    const std::string& narrationPath() const { return narrationPath_; }
    const std::string& timelinePath() const { return timelinePath_; }
    const std::string& journalPath() const { return journal_.path(); }

private:
    // Passes every device call and notification through, and tells the controller when the
    // device has closed: only then is a new lecture safe to start.
    class DeviceWatch final : public WaveInput, private WaveInputEvents {
    public:
        DeviceWatch(WaveInput& device, std::function<void()> closed)
            : device_(device), closed_(std::move(closed)) {}
        WaveResult open(const WaveFormat& format, WaveInputEvents& events) override {
            owner_ = &events;
            return device_.open(format, *this);
        }
        WaveResult prepare(WaveBuffer& b) override { return device_.prepare(b); }
        WaveResult addBuffer(WaveBuffer& b) override { return device_.addBuffer(b); }
        WaveResult start() override { return device_.start(); }
        WaveResult reset() override { return device_.reset(); }
        WaveResult pause() override { return device_.pause(); }
        WaveResult close() override { return device_.close(); }
        WaveResult unprepare(WaveBuffer& b) override { return device_.unprepare(b); }
        std::int64_t samplesHeld() const override { return device_.samplesHeld(); }

    private:
        void onWaveOpen() override { owner_->onWaveOpen(); }
        void onWaveData(WaveBuffer& b) override { owner_->onWaveData(b); }
        void onWaveClose() override {
            owner_->onWaveClose();
            closed_();
        }
        void onWaveFailed() override { owner_->onWaveFailed(); }

        WaveInput& device_;
        std::function<void()> closed_;
        WaveInputEvents* owner_ = nullptr;
    };

    // Stops recording and the clock and writes the timeline file; its path, empty on failure.
    std::string stopAndSave();
    // Converts until a video is made or the user gives up; the video's path, empty when given up.
    // The journal gives the web video its changes at their narration samples.
    std::string convert(const std::string& timelinePath, const std::string& narrationPath,
                        std::int32_t finalTime, std::int64_t lines, const Journal& journal);
    // The web video into the path chosen (".mp4" appended when missing); its path, empty
    // when it failed (told).
    std::string writeWebVideo(const std::string& chosen, const std::string& narrationPath,
                              const Journal& journal);
    void openJournal();
    void journalEntry(std::int32_t tick, std::int32_t slide, bool closing);
    void journalFailed();
    // The pages of the folder's PDF drawn into slide files; `told` when the user was told why
    // not all of them could be.
    std::vector<std::string> slidesFromPdf(const std::string& pdf, bool& told);
    void enableStartWhenReady();
    void deviceClosed();

    LectureView& view_;
    UserPrompts& prompts_;
    DeviceWatch device_;
    NarrationFile narration_;
    Recorder recorder_;
    LectureClock clock_;
    LectureState state_;
    ConversionState conversion_;
    TimelineJournal journal_;
    Journal record_;  // what this lecture's journal records, kept here even when its file fails
    bool journalFailTold_ = false;

    bool clockStarted_ = false;  // this lecture has a clock thread
    bool ending_ = false;        // End (with its conversion) is running
    bool startWaiting_ = false;  // Start waits for the device to close
    std::string narrationPath_;
    // The web video's sound, encoded while the lecture is recorded.
    LiveSoundEncoder liveSound_;
    std::string timelinePath_;
    std::function<void(std::int64_t, std::int64_t)> progressUpdate_;
    std::function<void()> progressFinished_;
    std::function<void(std::string_view)> progressLabel_;
    std::function<void(std::int64_t, std::int64_t)> preparationUpdate_;
    std::function<void()> preparationFinished_;
    std::function<void()> quit_;
};

}  // namespace vorlix
