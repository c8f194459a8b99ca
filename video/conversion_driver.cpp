#include "video/conversion_driver.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <vector>

#include "common/regular_file.h"
#include "common/user_prompts.h"
#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "video/audio_source.h"
#include "video/slide_frames.h"

namespace vorlix {

namespace {
constexpr std::size_t kProblemsShown = 10;
}

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

namespace {

template <class... Args>
std::string formatted(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n < 0) return {};
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// Distinct slide files a timeline names: the output may not be one of them.
std::vector<std::string> slidesOf(const std::string& timelinePath, std::int32_t openEndTick) {
    constexpr std::size_t kMostChecked = 4096;
    TimelineReader reader;
    std::set<std::string> seen;
    if (!reader.open(timelinePath, openEndTick)) return {};
    for (std::int32_t i = 0; seen.size() < kMostChecked && reader.nextLine(i) != 0; ++i) {
        seen.insert(reader.currentSlidePath());
    }
    return {seen.begin(), seen.end()};
}

}  // namespace

std::int32_t ConversionDriver::narrationTicks(const std::string& narrationPath) {
    AudioSource source;
    if (narrationPath.empty() || !source.open(narrationPath)) return 0;
    const std::int64_t rate = source.format().sampleRate;
    const std::int64_t ticks = (source.length() * kRate + rate - 1) / rate;
    return static_cast<std::int32_t>(std::min<std::int64_t>(ticks, kTicksWithoutNarration * 64));
}

std::int32_t ConversionDriver::tickBound(const std::string& narrationPath) {
    AudioSource source;
    if (narrationPath.empty() || !source.open(narrationPath)) return kTicksWithoutNarration;
    return narrationTicks(narrationPath) + kTickMargin;
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
    problems_.clear();

    const std::int32_t endTick = narrationTicks(narrationPath);
    const std::int32_t bound = tickBound(narrationPath);
    TimelineReader reader;
    std::string why;
    if (!reader.open(timelinePath, endTick, &why)) {
        prompts_.showMessage(std::string(texts::kTimelineReadError) + "\n" +
                             causeLine(timelinePath, why));
        return Outcome::TimelineUnreadable;
    }
    for (std::int32_t line : reader.skippedLines()) {
        problems_.push_back(formatted(texts::kProblemJournalLineFormat, timelinePath.c_str(),
                                      static_cast<long>(line)));
    }
    SlideFrames frames(placementMode_);
    {
        // The lines the build will convert, read ahead so that only the frames of slides that
        // come back are kept.
        TimelineReader ahead;
        std::vector<std::string> lines;
        if (ahead.open(timelinePath, endTick)) {
            for (std::int32_t i = 0; i < finalTime && ahead.nextLine(i) != 0; ++i) {
                lines.push_back(ahead.currentSlidePath());
            }
            frames.expect(lines);
        }
    }
    // The frames are made on the build's own thread: what they find wrong goes here, and the
    // build adds it to the problems frame by frame, in order.
    std::vector<std::string> frameProblems;
    std::set<std::string> unreadable;
    DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t) {
        std::string reason;
        const std::string& slide = reader.currentSlidePath();
        if (!frames.draw(canvas, slide, &reason) && unreadable.insert(slide).second) {
            frameProblems.push_back(std::string(texts::kProblemSlide) + "\n  " +
                                causeLine(slide, reason));
        }
    };
    FrameTimeOperation frameTime = [&reader](std::int32_t i) { return reader.frameTime(i); };
    std::int32_t previousTick = -1;
    NextLineOperation nextLine = [&](std::int32_t i) {
        if (reader.nextLine(i) == 0) {
            if (reader.malformedLine() > 0) {
                frameProblems.push_back(formatted(texts::kProblemLineFormat, timelinePath.c_str(),
                                              static_cast<long>(reader.malformedLine())));
            } else if (i == 0) {
                frameProblems.push_back(formatted(texts::kProblemNoLinesFormat, timelinePath.c_str()));
            }
            return 0;
        }
        // A tick past the sound, or before the line above, is no gap to fill: it ends the
        // reading as a malformed line does.
        const std::int32_t tick = reader.frameTime(i);
        if (tick < 0 || tick > bound || tick <= previousTick) {
            frameProblems.push_back(formatted(texts::kProblemTickFormat, timelinePath.c_str(),
                                          static_cast<long>(reader.lineNumber()),
                                          static_cast<long>(tick)));
            return 0;
        }
        previousTick = tick;
        return 1;
    };
    AviBuildEnvironment env{prompts_, state_, progress_};
    env.inputs = slidesOf(timelinePath, endTick);
    env.inputs.push_back(timelinePath);
    env.problems = &problems_;
    env.frameProblems = &frameProblems;
    report_ = AviBuildReport{};
    buildAviFile(outputPath_, kWidth, kHeight, kBitDepth, finalTime, kRate, draw, frameTime,
                 nextLine, narrationPath, env, &report_);
    reader.close();
    // Only a video that was written is told as done, with whatever was wrong with it.
    if (report_.written) {
        prompts_.showMessage(std::string(texts::kConversionEnded) + "\n" +
                             formatted(texts::kVideoWrittenLineFormat, outputPath_.c_str()) +
                             problemsText(problems_));
    }
    return Outcome::Built;
}

std::string problemsText(const std::vector<std::string>& problems) {
    if (problems.empty()) return {};
    std::string text = "\n" + std::string(texts::kProblemsHeading);
    // The box must fit on the screen: the first ones, then how many more.
    const std::size_t shown = std::min(problems.size(), kProblemsShown);
    for (std::size_t i = 0; i < shown; ++i) text += "\n" + problems[i];
    if (problems.size() > shown)
        text += "\n" + formatted(texts::kProblemsMoreFormat, static_cast<long>(problems.size() - shown));
    return text;
}

}  // namespace vorlix
