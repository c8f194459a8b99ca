// One conversion attempt as the user sees it: the output name, the chance to give up, the
// timeline file opened, the AVI file built, and the word that the conversion has ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/avi_assembly.h"

namespace vorlix {

class UserPrompts;

class ConversionDriver {
  public:
    // The video every conversion writes: 640 x 480, 24-bit, two positions a second.
    static constexpr std::int32_t kWidth = 640;
    static constexpr std::int32_t kHeight = 480;
    static constexpr std::int32_t kBitDepth = 24;
    static constexpr std::int32_t kRate = 2;
    // Ticks a timeline may run past the narration's end (the clock may lead the sound a little);
    // without narration, a day.
    static constexpr std::int32_t kTickMargin = 60 * kRate;
    static constexpr std::int32_t kTicksWithoutNarration = 24 * 3600 * kRate;

    enum class Outcome {
        Abandoned,           // the user gave the conversion up; the flag is set
        TimelineUnreadable,  // told; nothing built
        Built,               // see lastReport() for how it went
    };

    ConversionDriver(UserPrompts& prompts, ConversionState& state);

    void setProgressCallback(AviProgressCallback callback) { progress_ = std::move(callback); }

    // Converts the timeline file (or a lecture's journal) and narration (may be empty) into the
    // AVI file the user names. finalTime bounds the number of lines converted. A line that
    // cannot be read, or whose tick lies past what the narration covers (its length plus
    // kTickMargin) or before the line above, ends the reading; it, slides that cannot be
    // read and a narration cut short are the problems of the build (problems()). The word
    // that the conversion ended, with those problems under it, follows only a build that
    // wrote its video.
    Outcome runConversion(const std::string& timelinePath, const std::string& narrationPath,
                          std::int32_t finalTime);

    // What was wrong with the last video written, one line each (path or line, and reason).
    const std::vector<std::string>& problems() const { return problems_; }

    // The last tick a timeline may hold beside this narration (empty: none).
    static std::int32_t tickBound(const std::string& narrationPath);
    // The narration's length in ticks, rounded up; 0 when it cannot be read.
    static std::int32_t narrationTicks(const std::string& narrationPath);

    // 0 when a path was chosen and stored, 1 when the dialogue was cancelled.
    int askOutputPath();

    // The path with ".avi" appended unless it ends in ".avi" in any case of the letters.
    static std::string withAviExtension(const std::string& path);

    const std::string& outputPath() const { return outputPath_; }
    std::int32_t placementMode() const { return placementMode_; }
    const AviBuildReport& lastReport() const { return report_; }

  private:
    UserPrompts& prompts_;
    ConversionState& state_;
    AviProgressCallback progress_;
    std::string outputPath_;
    std::int32_t placementMode_ = kPlaceCentred;
    AviBuildReport report_;
    std::vector<std::string> problems_;
};

// What was wrong with a video that was written, for the message that tells it: a heading, the
// first ten problems and how many more; empty without problems.
std::string problemsText(const std::vector<std::string>& problems);

}  // namespace vorlix
