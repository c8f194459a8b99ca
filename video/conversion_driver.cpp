#include "video/conversion_driver.h"

#include <optional>
#include <vector>

#include "lecture/timeline_reader.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "video/slide_frames.h"

namespace vorlix {

ConversionDriver::ConversionDriver(UserPrompts& prompts, ConversionState& state)
    : prompts_(prompts), state_(state) {}

std::string ConversionDriver::withAviExtension(const std::string& path) {
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    const std::size_t n = path.size();
    if (n >= 4 && path[n - 4] == '.' && lower(path[n - 3]) == 'a' && lower(path[n - 2]) == 'v' &&
        lower(path[n - 1]) == 'i') {
        return path;
    }
    return path + ".avi";
}

int ConversionDriver::askOutputPath() {
    std::optional<std::string> chosen = prompts_.askSavePath(
        texts::kSaveFilterDescription, texts::kSaveFilterPattern, texts::kSaveInitialName);
    if (!chosen) return 1;
    outputPath_ = withAviExtension(*chosen);
    return 0;
}

ConversionDriver::Outcome ConversionDriver::runConversion(const std::string& timelinePath,
                                                          const std::string& narrationPath,
                                                          std::int32_t finalTime) {
    while (askOutputPath() != 0) {
        if (prompts_.askYesNo(texts::kAbandonQuestion)) {
            state_.conversionFinished = 1;
            return Outcome::Abandoned;
        }
    }
    placementMode_ = kPlaceStretch;

    TimelineReader reader;
    if (!reader.open(timelinePath)) {
        prompts_.showMessage(texts::kTimelineReadError);
        return Outcome::TimelineUnreadable;
    }
    SlideFrames frames(placementMode_);
    {
        // The lines the build will convert, read ahead so that only the frames of slides that
        // come back are kept.
        TimelineReader ahead;
        std::vector<std::string> lines;
        if (ahead.open(timelinePath)) {
            for (std::int32_t i = 0; i < finalTime && ahead.nextLine(i) != 0; ++i) {
                lines.push_back(ahead.currentSlidePath());
            }
            frames.expect(lines);
        }
    }
    DrawOperation draw = [&reader, &frames](FrameCanvas& canvas, std::int32_t) {
        frames.draw(canvas, reader.currentSlidePath());
    };
    FrameTimeOperation frameTime = [&reader](std::int32_t i) { return reader.frameTime(i); };
    NextLineOperation nextLine = [&reader](std::int32_t i) { return reader.nextLine(i); };
    AviBuildEnvironment env{prompts_, state_, progress_};
    report_ = AviBuildReport{};
    buildAviFile(outputPath_, kWidth, kHeight, kBitDepth, finalTime, kRate, draw, frameTime,
                 nextLine, narrationPath, env, &report_);
    reader.close();
    prompts_.showMessage(texts::kConversionEnded);
    return Outcome::Built;
}

}  // namespace vorlix
