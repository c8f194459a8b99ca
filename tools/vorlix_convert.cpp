// vorlix-convert: makes a lecture's video again from the timeline file and the narration the
// program leaves in the temp folder (with another codec, or after a crash).
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "lecture/timeline_reader.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "video/conversion_driver.h"
#include "video/frame_memory.h"
#include "video/mp4_writer.h"
#include "video/video_codecs.h"

namespace {

using namespace vorlix;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void say(const std::string& text) {
    std::fprintf(stderr, "vorlix-convert: %s\n", text.c_str());
}

template <class... Args>
std::string format(const char* fmt, Args... args) {
    char buffer[4096];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

// The questions a window would ask, answered from the command line.
class CommandLinePrompts : public UserPrompts {
  public:
    CommandLinePrompts(std::string output, CodecChoice codec)
        : output_(std::move(output)), codec_(std::move(codec)) {}

    void showMessage(std::string_view text, std::string_view caption) override {
        if (text == texts::kConversionEnded) return;  // the converter says how it went itself
        std::string line;
        if (!caption.empty()) line = std::string(caption) + ": ";
        say(line + std::string(text));
    }
    // Only asked after the save path was refused, which a command line never does: give up.
    bool askYesNo(std::string_view) override { return true; }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        if (asked_) return std::nullopt;
        asked_ = true;
        return output_;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return codec_;
    }

  private:
    std::string output_;
    CodecChoice codec_;
    bool asked_ = false;
};

bool parseInt(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

// The final time of a timeline file: its last line's tick (0 when it has none).
std::int32_t lastLineTime(const std::string& path) {
    TimelineReader reader;
    if (!reader.open(path)) return 0;
    std::int32_t last = 0;
    for (std::int32_t i = 0; reader.nextLine(i) != 0; ++i) last = reader.frameTime(i);
    return last;
}

bool endsWithMp4(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext == ".mp4";
}

// The web video: slide changes at the timeline's ticks, the lecture's end at the frame limit.
int convertToMp4(const std::string& timeline, const std::string& narration,
                 const std::string& output, std::int32_t frameLimit) {
    TimelineReader reader;
    if (!reader.open(timeline)) {
        say(std::string(texts::kTimelineReadError) + ": " + timeline);
        return kExitFailed;
    }
    Mp4Job job{.outputPath = output,
               .endSample = static_cast<std::int64_t>(frameLimit) * kSamplesPerTick,
               .narrationPath = narration};
    for (std::int32_t i = 0; reader.nextLine(i) != 0; ++i)
        job.changes.push_back({reader.frameTime(i) * kSamplesPerTick, reader.currentSlidePath()});
    const bool tty = isatty(STDERR_FILENO) != 0;
    int shown = -1;
    job.progress = [&](double done) {
        const int percent = static_cast<int>(done * 100);
        if (percent == shown || (!tty && percent / 25 == shown / 25)) return;
        shown = percent;
        std::fprintf(stderr, texts::kConvertMp4Progress, percent);
        std::fputc(tty ? '\r' : '\n', stderr);
    };
    const Mp4Result r = writeMp4(job);
    if (tty && shown >= 0) std::fputc('\n', stderr);
    if (!r.ok) {
        say(format(texts::kConvertFailed, r.error.c_str()));
        return kExitFailed;
    }
    say(format(texts::kConvertWritten, (output + ", " + r.chaptersPath).c_str()));
    return 0;
}

void listCodecs() {
    for (const CodecOption& c : availableVideoCodecs()) {
        std::string line = c.name;
        line.resize(12, ' ');
        line += c.description;
        if (c.hasQuality) {
            line += "  (" +
                    format(std::string(texts::kConvertQualityNote).c_str(), c.qualityMin,
                           c.qualityMax, c.qualityDefault) +
                    ")";
        }
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    keepFrameBuffersMapped();
    std::vector<std::string> positional;
    std::string output, codecName = "mjpeg";
    std::optional<long> quality, limit;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (arg == "-h" || arg == "--help") {
            std::fputs(std::string(texts::kConvertUsage).c_str(), stdout);
            return 0;
        } else if (arg == "--list-codecs") {
            listCodecs();
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(output) || output.empty()) {
                say(format(texts::kConvertBadValue, arg.c_str(), ""));
                return kExitUsage;
            }
        } else if (arg == "--codec") {
            if (!value(codecName)) {
                say(format(texts::kConvertBadValue, arg.c_str(), ""));
                return kExitUsage;
            }
        } else if (arg == "--quality" || arg == "--limit") {
            bool ok = value(v) && (arg == "--quality" ? parseInt(v, kQualityMin, kQualityMax, n)
                                                      : parseInt(v, 0, INT32_MAX, n));
            if (!ok) {
                say(format(texts::kConvertBadValue, arg.c_str(), v.c_str()));
                return kExitUsage;
            }
            (arg == "--quality" ? quality : limit) = n;
        } else if (arg.size() > 1 && arg[0] == '-') {
            say(format(texts::kConvertBadArgument, arg.c_str()));
            return kExitUsage;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        say(positional.empty() ? std::string(texts::kConvertNoTimeline)
                               : format(texts::kConvertBadArgument, positional[2].c_str()));
        std::fputs(std::string(texts::kConvertUsage).c_str(), stderr);
        return kExitUsage;
    }
    if (output.empty()) {
        say(std::string(texts::kConvertNoOutput));
        return kExitUsage;
    }
    if (endsWithMp4(output)) {
        const std::string narration = positional.size() > 1 ? positional[1] : std::string();
        return convertToMp4(positional[0], narration, output,
                            limit ? static_cast<std::int32_t>(*limit) : lastLineTime(positional[0]));
    }
    const std::vector<CodecOption> codecs = availableVideoCodecs();
    const CodecOption* codec = findVideoCodec(codecs, codecName);
    if (codec == nullptr) {
        say(format(texts::kConvertUnknownCodec, codecName.c_str()));
        return kExitUsage;
    }

    const std::string& timeline = positional[0];
    const std::string narration = positional.size() > 1 ? positional[1] : std::string();
    const std::int32_t frameLimit =
        limit ? static_cast<std::int32_t>(*limit) : lastLineTime(timeline);

    CommandLinePrompts prompts(output, CodecChoice{codec->name, quality ? static_cast<int>(*quality)
                                                                        : codec->qualityDefault});
    ConversionState state;
    ConversionDriver driver(prompts, state);
    const bool tty = isatty(STDERR_FILENO) != 0;
    long shownSecond = -1, shownLines = -1;
    bool progressShown = false;
    driver.setProgressCallback([&](const AviProgress& p) {
        const long rate = p.audioSampleRate > 0 ? p.audioSampleRate : 1;
        const long second = static_cast<long>(p.audioSamplesCopied / rate);
        // On a terminal the line is renewed in place; in a log, a line every minute of audio.
        if (p.linesDone == shownLines &&
            (tty ? second == shownSecond : second / 60 == shownSecond / 60)) {
            return;
        }
        shownSecond = second;
        shownLines = p.linesDone;
        std::fprintf(stderr, texts::kConvertProgress, static_cast<long>(p.linesDone), second,
                     static_cast<long>(p.audioSamplesTotal / rate));
        if (!tty) std::fputc('\n', stderr);
        progressShown = true;
    });

    ConversionDriver::Outcome outcome = driver.runConversion(timeline, narration, frameLimit);
    if (progressShown && tty) std::fputc('\n', stderr);
    const AviBuildReport& report = driver.lastReport();
    const bool ok = outcome == ConversionDriver::Outcome::Built && report.failures == 0 &&
                    (!report.narrationWanted || report.narrationCopied);
    if (!ok) {
        if (outcome == ConversionDriver::Outcome::Built) {
            say(format(
                texts::kConvertFailed,
                (driver.outputPath() + (report.error.empty() ? "" : " (" + report.error + ")"))
                    .c_str()));
        }
        return kExitFailed;
    }
    say(format(texts::kConvertWritten, driver.outputPath().c_str()));
    return 0;
}
