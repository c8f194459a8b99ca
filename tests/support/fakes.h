// Stand-ins for the window: prompts that answer from a script and log, in order, every message
// ("text"), question ("text?") and dialogue ("folder", "save", "codec"); a view that keeps what
// it was shown.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>

#include "common/lecture_view.h"
#include "common/user_prompts.h"

namespace vorlix::testing {

using Log = std::vector<std::string>;

class FakePrompts : public UserPrompts {
  public:
    void showMessage(std::string_view text, std::string_view caption = {}) override {
        log.emplace_back(text);
        captions.emplace_back(caption);
        if (whileShown) whileShown();  // as a modal dialogue's own event loop would
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
    std::optional<std::string> askSavePath(std::string_view, std::string_view, std::string_view) override {
        log.emplace_back("save");
        if (log.size() > 1000) std::abort();  // an endless loop would hang the suite
        auto answer = savePaths.empty() ? std::nullopt : savePaths.front();
        if (!savePaths.empty()) savePaths.pop_front();
        return answer;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return log.emplace_back("codec"), codec;
    }

    Log log, captions;  // captions: of the messages, in order
    std::function<void()> whileShown;
    std::optional<std::string> folder;
    std::deque<std::optional<std::string>> savePaths;
    std::deque<bool> yesNo;
    std::optional<CodecChoice> codec = CodecChoice{"rawvideo", 0};
};

struct Previews {
    std::string current, next, previous;
    bool operator==(const Previews&) const = default;
};

// The clock text arrives from the clock thread, whose id it keeps.
class FakeView : public LectureView {
  public:
    void setClockText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        clockText_ = text;
        clockShownBy = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    }
    void setLevelText(const std::string& text) override { levelTexts.push_back(text); }
    void setRecIndicator(bool on) override { recIndicator.push_back(on); }
    void setStartEnabled(bool) override {}
    void showPreviews(const std::string& current, const std::string& next, const std::string& previous) override {
        previews.push_back({current, next, previous});
    }
    std::string clockText() const {
        std::lock_guard lock(mutex_);
        return clockText_;
    }

    std::atomic<std::uint32_t> clockShownBy{0};
    Log levelTexts;
    std::vector<bool> recIndicator;
    std::vector<Previews> previews;

  private:
    mutable std::mutex mutex_;
    std::string clockText_;
};

}  // namespace vorlix::testing
