// Stand-ins for the window in recording tests: a view that remembers what it was told and
// prompts that remember their messages (and may do something while "shown", as a modal
// dialogue's own event loop would).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lecture/lecture_view.h"
#include "lecture/user_prompts.h"

namespace vorlix::testing {

class RecordingView final : public LectureView {
  public:
    void setClockText(const std::string& text) override { clockTexts.push_back(text); }
    void setLevelText(const std::string& text) override { levelTexts.push_back(text); }
    void setRecIndicator(bool checked) override { recIndicator.push_back(checked); }
    void setStartEnabled(bool enabled) override { startEnabled = enabled; }
    void showPreviews(const std::string&, const std::string&, const std::string&) override {}

    std::vector<std::string> clockTexts;
    std::vector<std::string> levelTexts;
    std::vector<bool> recIndicator;
    std::optional<bool> startEnabled;
};

class RecordingPrompts final : public UserPrompts {
  public:
    void showMessage(std::string_view text, std::string_view) override {
        messages.emplace_back(text);
        if (whileShown) whileShown();
    }
    bool askYesNo(std::string_view) override { return false; }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return std::nullopt;
    }

    std::vector<std::string> messages;
    // Runs inside showMessage, where a real message box would serve the event loop.
    std::function<void()> whileShown;
};

}  // namespace vorlix::testing
