// The questions and messages Vorlix puts to its user. The window implements them with
// modal dialogues; tests answer them from a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

// One video encoder the user can pick for the AVI file.
struct CodecOption {
    std::string name;         // encoder name as the video writer knows it, e.g. "mjpeg"
    std::string description;  // what the user reads, e.g. "Motion JPEG"
    bool hasQuality = false;  // whether a quality setting applies
    int qualityMin = 0;
    int qualityMax = 0;
    int qualityDefault = 0;
};

struct CodecChoice {
    std::string name;
    int quality = 0;  // in the option's range; ignored where it has none
    bool operator==(const CodecChoice&) const = default;
};

// One kind of file the save dialogue offers, e.g. {"AVI-type file (*.avi)", "*.avi"}.
struct SaveFileType {
    std::string description;
    std::string pattern;
};

struct SaveChoice {
    std::string path;
    std::size_t type = 0;  // index into the types offered
};

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // A message with an OK button. An empty caption means the program's own name.
    virtual void showMessage(std::string_view text, std::string_view caption = {}) = 0;

    // A question with Yes and No, No being the default button. True for Yes.
    virtual bool askYesNo(std::string_view text) = 0;

    // The folder browser with the given instruction text. Nothing when cancelled.
    virtual std::optional<std::string> chooseFolder(std::string_view title) = 0;

    // The save dialogue; asks before replacing an existing file. Nothing when cancelled.
    virtual std::optional<std::string> askSavePath(std::string_view filterDescription,
                                                   std::string_view filterPattern,
                                                   std::string_view initialName) = 0;

    // The save dialogue offering several kinds of file, the first one listed first. Nothing when
    // cancelled. Where it is not overridden, only the first kind is offered.
    virtual std::optional<SaveChoice> askSaveFile(const std::vector<SaveFileType>& types,
                                                  std::string_view initialName) {
        if (types.empty()) return std::nullopt;
        auto path = askSavePath(types[0].description, types[0].pattern, initialName);
        if (!path) return std::nullopt;
        return SaveChoice{std::move(*path), 0};
    }

    // The codec choice. Nothing when cancelled.
    virtual std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>& codecs) = 0;
};

}  // namespace vorlix
