// Stand-ins for the window: prompts that answer from a script and log, in order, every message
// ("text"), question ("text?") and dialogue ("folder", "save", "codec"); a view that keeps what
// it was shown; a clock pace the test steps.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <deque>
#include <mutex>

#include "common/lecture_view.h"
#include "common/user_prompts.h"
#include "lecture/lecture_clock.h"

namespace vorlix::testing {

using Log = std::vector<std::string>;

struct FakePrompts : UserPrompts {
    void showMessage(std::string_view text, std::string_view = {}) override {
        log.emplace_back(text);
    }
    bool askYesNo(std::string_view text) override {
        log.push_back(std::string(text) + "?");
        const bool answer = yesNo.empty() || yesNo.front();  // out of script: give up
        if (!yesNo.empty()) yesNo.pop_front();
        return answer;
    }
    std::optional<std::string> chooseFolder(std::string_view) override {
        return log.emplace_back("folder"), folder;
    }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        if (log.emplace_back("save"), log.size() > 1000) std::abort();  // an endless loop
        auto answer = savePaths.empty() ? std::nullopt : savePaths.front();
        if (!savePaths.empty()) savePaths.pop_front();
        return answer;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return log.emplace_back("codec"), codec;
    }

    Log log;
    std::optional<std::string> folder;
    std::deque<std::optional<std::string>> savePaths;
    std::deque<bool> yesNo;
    std::optional<CodecChoice> codec = CodecChoice{"rawvideo", 0};
};

// The clock text arrives from the clock thread, whose id it keeps.
struct FakeView : LectureView {
    void setClockText(const std::string& text) override {
        std::lock_guard lock(mutex);
        clock = text, clockShownBy = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    }
    void setLevelText(const std::string& text) override { levelTexts.push_back(text); }
    void setRecIndicator(bool on) override { recIndicator.push_back(on); }
    void setStartEnabled(bool) override {}
    void showPreviews(const std::string& current, const std::string& next,
                      const std::string& previous) override {
        previews.push_back({current, next, previous});
    }
    std::string clockText() {
        std::lock_guard lock(mutex);
        return clock;
    }

    std::mutex mutex;
    std::string clock;
    std::atomic<std::uint32_t> clockShownBy{0};
    Log levelTexts;
    std::vector<bool> recIndicator;
    std::vector<std::array<std::string, 3>> previews;  // current, next, previous
};

// Lets the clock thread take one step at a time.
struct StepPacer : ClockPacer {
    bool sleepStep(std::stop_token stop) override {
        std::unique_lock lock(mutex);
        ++entered, changed.notify_all();
        return changed.wait(lock, stop, [&] { return released >= entered; });
    }
    // Lets the clock take n more steps and waits until it has shown the value after them (a
    // loaded machine is slow; a broken clock hangs).
    bool step(int n) {
        std::unique_lock lock(mutex);
        released += n, changed.notify_all();
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return entered >= released + 1; });
    }
    std::mutex mutex;
    std::condition_variable_any changed;
    int entered = 0, released = 0;
};

}  // namespace vorlix::testing
