#include "video/conversion_driver.h"

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "lecture/timeline_reader.h"
#include "common/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {

namespace {

std::string unreadSlidesMessage(const std::vector<std::pair<std::string, std::string>>& unread) {
    constexpr std::size_t kListed = 10;  // the box must fit on the screen
    std::string text(texts::kSlidesNotReadHead);
    for (std::size_t i = 0; i < unread.size() && i < kListed; ++i)
        text += "\n" + unread[i].first + ": " + unread[i].second;
    if (unread.size() > kListed)
        text +=
            "\n" + std::to_string(unread.size() - kListed) + std::string(texts::kSlidesNotReadMore);
    return text;
}

}  // namespace

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
    const std::int32_t placement = placementMode_;
    // Slides that left their frames white, each named once with its reason, told at the end:
    // a video with blank stretches must not pass for a good one.
    std::vector<std::pair<std::string, std::string>> unread;
    std::set<std::string> named;
    DrawOperation draw = [&reader, &unread, &named, placement](FrameCanvas& canvas, std::int32_t) {
        std::string problem;
        const std::string& path = reader.currentSlidePath();
        if (drawSlideFrame(canvas, path, placement, &problem) != 0 && named.insert(path).second)
            unread.emplace_back(path,
                                problem.empty() ? std::string(texts::kSlideDamaged) : problem);
    };
    FrameTimeOperation frameTime = [&reader](std::int32_t i) { return reader.frameTime(i); };
    NextLineOperation nextLine = [&reader](std::int32_t i) { return reader.nextLine(i); };
    AviBuildEnvironment env{prompts_, state_, progress_};
    report_ = AviBuildReport{};
    buildAviFile(outputPath_, kWidth, kHeight, kBitDepth, finalTime, kRate, draw, frameTime,
                 nextLine, narrationPath, env, &report_);
    reader.close();
    if (!unread.empty()) prompts_.showMessage(unreadSlidesMessage(unread));
    prompts_.showMessage(texts::kConversionEnded);
    return Outcome::Built;
}

}  // namespace vorlix
