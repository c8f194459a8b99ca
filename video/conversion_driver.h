// One conversion attempt as the user sees it: the output name, the chance to give up, the
// timeline file opened, the AVI file built, and the word that the conversion has ended.
#pragma once

#include <cstdint>
#include <string>

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

    enum class Outcome {
        Abandoned,           // the user gave the conversion up; the flag is set
        TimelineUnreadable,  // told; nothing built
        Built,               // see lastReport() for how it went
    };

    ConversionDriver(UserPrompts& prompts, ConversionState& state);

    void setProgressCallback(AviProgressCallback callback) { progress_ = std::move(callback); }

    // Converts the timeline file and narration (may be empty) into the AVI file the user
    // names. finalTime bounds the number of lines converted.
    Outcome runConversion(const std::string& timelinePath, const std::string& narrationPath,
                          std::int32_t finalTime);

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
};

}  // namespace vorlix
