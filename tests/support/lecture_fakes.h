// Stand-ins for the window: a view that records what it was shown, prompts that record every
// message (and may do something while it is "shown", as a modal dialogue's own event loop
// would) and answer from a script.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/lecture_view.h"
#include "common/user_prompts.h"

namespace vorlix::testing {

class FakePrompts : public UserPrompts {
  public:
    void showMessage(std::string_view text, std::string_view caption = {}) override {
        messages.emplace_back(text);
        captions.emplace_back(caption);
        if (whileShown) whileShown();
    }
    bool askYesNo(std::string_view text) override {
        messages.emplace_back(text);
        return false;
    }
    std::optional<std::string> chooseFolder(std::string_view) override { return folder; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return savePath;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return codec;
    }

    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::function<void()> whileShown;
    std::optional<std::string> folder;
    std::optional<std::string> savePath;
    std::optional<CodecChoice> codec;
};

struct Previews {
    std::string current, next, previous;
    bool operator==(const Previews&) const = default;
};

// Thread-safe for the clock text, which arrives from the clock thread (whose id it keeps).
class FakeView : public LectureView {
  public:
    void setClockText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        clockText_ = text;
        clockShownBy = static_cast<std::uint32_t>(::syscall(SYS_gettid));
        changed_.notify_all();
    }
    void setLevelText(const std::string& text) override { levelTexts.push_back(text); }
    void setRecIndicator(bool checked) override { recIndicator.push_back(checked); }
    void setStartEnabled(bool) override {}
    void showPreviews(const std::string& current, const std::string& next,
                      const std::string& previous) override {
        previews.push_back({current, next, previous});
    }

    std::string lastClockText() const {
        std::lock_guard lock(mutex_);
        return clockText_;
    }
    // Waits until the last clock text is the given one; false after the timeout.
    template <class Duration>
    bool waitForClockText(const std::string& text, Duration timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return clockText_ == text; });
    }

    std::atomic<std::uint32_t> clockShownBy{0};
    std::vector<std::string> levelTexts;
    std::vector<bool> recIndicator;
    std::vector<Previews> previews;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string clockText_;
};

}  // namespace vorlix::testing
