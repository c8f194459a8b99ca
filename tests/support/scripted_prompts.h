// Prompts answered from a script, recording everything asked and shown, for the conversion
// tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/user_prompts.h"

namespace vorlix::testing {

class ScriptedPrompts : public UserPrompts {
  public:
    struct Shown {
        std::string text;
        std::string caption;
        bool operator==(const Shown&) const = default;
    };

    void showMessage(std::string_view text, std::string_view caption = {}) override {
        shown.push_back({std::string(text), std::string(caption)});
    }
    bool askYesNo(std::string_view text) override {
        shown.push_back({std::string(text), "?"});
        if (yesNo.empty()) return true;  // a script that ran out gives up
        bool answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    std::optional<std::string> askSavePath(std::string_view description, std::string_view pattern,
                                           std::string_view initialName) override {
        saveDialogues.push_back(
            {std::string(description), std::string(pattern), std::string(initialName)});
        if (saveDialogues.size() > kMaxSaveDialogues) {
            // A loop that never ends would hang the suite: fail loudly instead.
            std::fprintf(stderr, "the save dialogue came back %zu times: endless loop\n",
                         saveDialogues.size());
            std::abort();
        }
        if (savePaths.empty()) return std::nullopt;
        std::optional<std::string> answer = savePaths.front();
        savePaths.pop_front();
        return answer;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>& codecs) override {
        offered = codecs;
        ++codecDialogues;
        return codec;
    }

    static constexpr std::size_t kMaxSaveDialogues = 100;

    // What was shown without the cause lines under each text.
    std::vector<Shown> firstLines() const {
        std::vector<Shown> out = shown;
        for (Shown& s : out) s.text = s.text.substr(0, s.text.find('\n'));
        return out;
    }

    std::vector<Shown> shown;
    std::deque<bool> yesNo;
    std::deque<std::optional<std::string>> savePaths;
    std::vector<std::vector<std::string>> saveDialogues;
    std::optional<CodecChoice> codec = CodecChoice{"rawvideo", 0};
    std::vector<CodecOption> offered;
    int codecDialogues = 0;
};

}  // namespace vorlix::testing
