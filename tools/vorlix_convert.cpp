// vorlix-convert: makes a lecture's video again from the timeline file (or the journal) and the
// narration the program leaves in its lecture folder (with another codec, or after a crash).
//
// Exit status: 0 the video holds every line and every slide; 1 no video was written; 2 bad
// arguments, or an input named on the command line that cannot be read (nothing is written);
// 3 a video was written, with the problems named on stderr.
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

#include "common/regular_file.h"
#include "common/safe_output.h"
#include "common/user_prompts.h"
#include "lecture/timeline_journal.h"
#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "video/audio_source.h"
#include "video/conversion_driver.h"
#include "video/frame_memory.h"
#include "video/mp4_writer.h"
#include "video/video_codecs.h"

namespace {

using namespace vorlix;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitProblems = 3;

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
        // The converter says how it went itself, problems included.
        if (text.substr(0, texts::kConversionEnded.size()) == texts::kConversionEnded) return;
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

bool endsWithMp4(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext == ".mp4";
}

// The web video: slide changes at the journal's samples, or at the timeline's ticks (up to
// maxLines lines), where the last line read is the lecture's end, not a change, unless it is the
// only one.
int convertToMp4(const std::string& timeline, const std::string& narration,
                 const std::string& output, std::int32_t maxLines) {
    TimelineReader reader;
    std::string why;
    if (!reader.open(timeline, 0, &why)) {
        say(std::string(texts::kTimelineReadError) + "\n" + causeLine(timeline, why));
        return kExitFailed;
    }
    Mp4Job job{.outputPath = output, .narrationPath = narration};
    // A journal knows each change's narration sample; a timeline file only its tick.
    const std::optional<Journal> journal = TimelineJournal::looksLikeJournal(timeline)
                                               ? TimelineJournal::read(timeline)
                                               : std::nullopt;
    if (journal && !journal->slides.empty()) takeJournalChanges(job, *journal, maxLines);
    const bool fromTicks = job.changes.empty();
    for (std::int32_t i = 0; fromTicks && i < maxLines && reader.nextLine(i) != 0; ++i) {
        job.changes.push_back({reader.frameTime(i) * kSamplesPerTick, reader.currentSlidePath()});
        job.endSample = reader.frameTime(i) * kSamplesPerTick;
    }
    if (fromTicks && job.changes.size() > 1) job.changes.pop_back();
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
        say(format(texts::kConvertMp4Failed, r.error.c_str()));
        return kExitFailed;
    }
    const std::string written = output + ", " + r.chaptersPath;
    if (!r.problems.empty()) {
        say(format(texts::kConvertWrittenWithProblems, written.c_str()));
        for (const std::string& problem : r.problems) say(problem);
        return kExitProblems;
    }
    say(format(texts::kConvertWritten, written.c_str()));
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

int convertMain(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    keepFrameBuffersMapped();
    std::vector<std::string> positional;
    std::string output, codecName = "mjpeg", kind;
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
        } else if (arg == "--format") {
            if (!value(kind) || (kind != "avi" && kind != "mp4")) {
                say(format(texts::kConvertBadFormat, kind.c_str()));
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
    const std::vector<CodecOption> codecs = availableVideoCodecs();
    const CodecOption* codec = findVideoCodec(codecs, codecName);
    if (codec == nullptr) {
        say(format(texts::kConvertUnknownCodec, codecName.c_str()));
        return kExitUsage;
    }

    const std::string& timeline = positional[0];
    std::string narration = positional.size() > 1 ? positional[1] : std::string();
    // The inputs named here are opened before anything is written: a mistyped name must not
    // cost the video already under the output's name.
    std::string why;
    TimelineReader probe;
    if (!probe.open(timeline, 0, &why)) {
        say(std::string(texts::kTimelineReadError) + "\n" + causeLine(timeline, why));
        return kExitUsage;
    }
    // A journal names its narration; one named here wins.
    if (narration.empty()) narration = probe.journalNarration();
    probe.close();
    AudioSource narrationProbe;
    if (positional.size() > 1 && !narrationProbe.open(narration, &why)) {
        say(std::string(texts::kConvertNarrationUnreadable) + "\n" + causeLine(narration, why));
        return kExitUsage;
    }
    narrationProbe.close();
    // Refused here too, before the video's name is even asked for: exit 2, like a bad argument.
    // The kind follows the name unless forced; a forced MP4 gets its extension as the AVI does.
    const bool mp4 = kind.empty() ? endsWithMp4(output) : kind == "mp4";
    if (mp4 && !endsWithMp4(output)) output += ".mp4";
    for (const std::string& input : {timeline, narration}) {
        if (SafeOutput::sameFile(mp4 ? output : ConversionDriver::withAviExtension(output),
                                 input)) {
            say(std::string(texts::kConvertOutputIsInput) + "\n" + input);
            return kExitUsage;
        }
    }
    // Every line unless limited: the bounds on the ticks keep the work finite.
    const std::int32_t frameLimit = limit ? static_cast<std::int32_t>(*limit) : INT32_MAX;
    if (mp4) return convertToMp4(timeline, narration, output, frameLimit);

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
    if (outcome != ConversionDriver::Outcome::Built || !report.written) {
        if (outcome == ConversionDriver::Outcome::Built) {
            say(format(
                texts::kConvertFailed,
                (driver.outputPath() + (report.error.empty() ? "" : " (" + report.error + ")"))
                    .c_str()));
        }
        return kExitFailed;
    }
    if (!driver.problems().empty()) {
        say(format(texts::kConvertWrittenWithProblems, driver.outputPath().c_str()));
        for (const std::string& problem : driver.problems()) say(problem);
        return kExitProblems;
    }
    say(format(texts::kConvertWritten, driver.outputPath().c_str()));
    return 0;
}

int main(int argc, char** argv) {
    const int code = convertMain(argc, argv);
#if defined(VORLIX_SANITIZED)
    return code;  // the leak check runs at the normal exit
#else
    // The video is written and closed, and so is every other file. The shared libraries the
    // codecs bring (well over a hundred) would now be torn down one by one, paging in their
    // clean-up code: 2 MB and some milliseconds for nothing, so the process ends here.
    std::fflush(nullptr);
    std::_Exit(code);
#endif
}
