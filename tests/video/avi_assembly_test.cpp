#include "video/avi_assembly.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"

namespace vorlix {
namespace {

using testing::ScriptedPrompts;
using Shown = ScriptedPrompts::Shown;
using Positions = std::vector<std::uint32_t>;

// Slide N of a timeline ("/x/slideN") is painted in colour N (blue, green, red).
constexpr std::uint8_t kColours[4][3] = {
    {40, 80, 160}, {200, 30, 10}, {20, 220, 90}, {250, 250, 250}};
const std::string kExample = "0,/lec/slide1\n21,/lec/slide2\n60,/lec/slide2\n";

// The one message shown, or none.
std::vector<Shown> shown(std::string_view text, const char* caption) {
    return text.empty() ? std::vector<Shown>{} : std::vector<Shown>{{std::string(text), caption}};
}

class AviAssemblyTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::writeNarration(narration, samples); }

    // One build over the timeline, as the conversion runs it; the slide drawn at throwAt fails.
    int build(const std::string& timelineText, std::int32_t limit, const std::string& narrationPath,
              std::int32_t width = 64, int throwAt = -1) {
        prompts.shown.clear();
        state.conversionFinished = 0;
        testing::writeText(timeline, timelineText);
        TimelineReader reader;
        EXPECT_TRUE(reader.open(timeline));
        const DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t i) {
            if (i == throwAt) throw std::runtime_error("no memory for the slide");
            const std::string& slide = reader.currentSlidePath();
            const std::uint8_t* c = kColours[slide.empty() ? 0 : slide.back() - '0'];
            for (std::size_t p = 0; p < canvas.pixels.size(); ++p) canvas.pixels[p] = c[p % 3];
        };
        AviBuildEnvironment env{prompts, state,
                                [&](const AviProgress& p) { progress.push_back(p); }};
        const int failures = buildAviFile(
            out, width, 48, 24, limit, 2, draw, [&](std::int32_t i) { return reader.frameTime(i); },
            [&](std::int32_t i) { return reader.nextLine(i); }, narrationPath, env, &report);
        EXPECT_EQ(failures, report.failures);
        EXPECT_EQ(state.conversionFinished, failures == 0 ? 1 : 0);
        return failures;
    }

    testing::ScratchDir dir;
    std::string timeline = dir.file("timeline.tmp"), narration = dir.file("narration.wav"),
                out = dir.file("lecture.avi");
    std::vector<std::uint8_t> samples = testing::narrationSamples(44100 * 31 + 123);  // over 30 s
    ScriptedPrompts prompts;
    ConversionState state;
    AviBuildReport report;
    std::vector<AviProgress> progress;
};

TEST_F(AviAssemblyTest, ExampleLectureGivesKeyFramesAtItsTicksAndTheWholeNarration) {
    EXPECT_EQ(build(kExample, 60, narration), 0);
    EXPECT_TRUE(prompts.shown.empty());

    const testing::AviFile f = testing::readAvi(out);
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].rate, 2u);
    EXPECT_EQ(f.streams[0].length, 61u);  // 30.5 s: the closing line's frame included
    EXPECT_EQ(f.videoPositions(true), (Positions{0, 21, 60}));
    EXPECT_EQ(f.videoPositions(false).size(), 58u);  // the empty positions are in the index
    EXPECT_EQ(f.streams[1].length, samples.size());

    // Interleaved: the frame at 21 (10.5 s) follows the audio of its first 10.5 s.
    std::uint64_t audioBefore = 0;
    int videoSeen = 0;
    for (const testing::IndexEntry& e : f.index) {
        if (e.stream() == 0 && e.size > 0 && ++videoSeen == 2) break;
        if (e.stream() == 1) audioBefore += e.size;
    }
    EXPECT_GE(audioBefore, 21u * 22050);
    EXPECT_LT(audioBefore, 21u * 22050 + 44100);

    const testing::Decoded d = testing::decodeAvi(out);
    EXPECT_EQ(d.audio, samples);
    EXPECT_EQ(d.framePositions, (std::vector<std::int64_t>{0, 21, 60}));
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        const std::uint8_t* c = kColours[i == 0 ? 1 : 2];
        EXPECT_EQ(std::vector<std::uint8_t>(d.frames[i].begin(), d.frames[i].begin() + 3),
                  std::vector<std::uint8_t>(c, c + 3));
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().linesDone, 3);
    EXPECT_EQ(progress.back().audioSamplesCopied, static_cast<std::int64_t>(samples.size()));
    EXPECT_EQ(progress.back().audioSamplesTotal, static_cast<std::int64_t>(samples.size()));
}

TEST_F(AviAssemblyTest, FrameLimitsAndNarrationProblemsAreNoFailures) {
    // The limit counts lines, not ticks; a narration that cannot be copied is only reported.
    testing::writeText(dir.file("bad.wav"), "not a wave file at all, honestly");
    testing::writeNarration(dir.file("cut.wav"), samples, false);
    const std::string three = "0,/s/slide1\n1,/s/slide2\n2,/s/slide3\n";
    struct Case {
        const char* what;
        std::string timeline;
        std::int32_t limit;
        Positions frames;
        std::string narration;
        bool copied = true;
    } cases[] = {
        {"limit below the lines", three, 2, {0, 1}, narration},
        {"limit 0", kExample, 0, {}, narration},
        {"negative limit", kExample, -5, {}, narration},
        {"empty timeline", "", 60, {}, narration},
        {"limit above the lines", kExample, 1000, {0, 21, 60}, narration},
        {"malformed line ends the timeline", "0,/s/slide1\n5,\n9,/s/slide2\n", 60, {0}, narration},
        {"late first line", "5,/s/slide1\n9,/s/slide2\n", 60, {5, 9}, narration},
        {"narration length never completed", kExample, 60, {0, 21, 60}, dir.file("cut.wav")},
        {"no narration", kExample, 60, {0, 21, 60}, "", false},
        {"narration missing", kExample, 60, {0, 21, 60}, dir.file("gone.wav"), false},
        {"narration not a WAV file", kExample, 60, {0, 21, 60}, dir.file("bad.wav"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(build(c.timeline, c.limit, c.narration), 0);
        const bool reported = !c.copied && !c.narration.empty();
        EXPECT_EQ(prompts.firstLines(), shown(reported ? texts::kNarrationNotCopied : "", ""));
        const testing::AviFile f = testing::readAvi(out);
        ASSERT_EQ(f.streams.size(), c.copied ? 2u : 1u);
        EXPECT_GE(f.streams[0].format.size(), 40u);  // the format is there with no frames
        EXPECT_EQ(f.videoPositions(true), c.frames);
        EXPECT_EQ(testing::decodeAvi(out).audio, c.copied ? samples : std::vector<std::uint8_t>{});
    }
}

TEST_F(AviAssemblyTest, VideoFailuresAreCountedAndLeaveNoFile) {
    const std::string repeated = "0,/s/slide1\n21,/s/slide2\n21,/s/slide3\n",
                      back = "0,/s/slide1\n21,/s/slide2\n7,/s/slide3\n";
    struct Case {
        const char* what;
        std::string timeline;
        const char* codec;  // nullptr: the choice is cancelled
        int throwAt;        // the frame whose drawing fails
        const char* error;
        Positions frames;
        bool noFormatFrame = false;
    } cases[] = {
        {"codec choice cancelled", kExample, nullptr, -1, nullptr, {}},
        {"encoder that cannot be opened", kExample, "no-such-encoder", -1, "WritingERR", {}},
        {"tick repeated", repeated, "rawvideo", -1, "WritingERR", {0, 21}},
        {"tick going back", back, "mjpeg", -1, "WritingERR", {0, 21}},
        {"negative tick", "-4,/s/slide1\n", "rawvideo", -1, "WritingERR", {}},
        {"frame image not made", kExample, "rawvideo", 1, "MAKEDIB ERROR!", {0}},
        {"format frame not made", kExample, "rawvideo", -1, "MAKEDIB ERROR!", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.codec.reset();
        if (c.codec) prompts.codec = CodecChoice{c.codec, 80};
        prompts.codecDialogues = 0;
        EXPECT_EQ(build(c.timeline, 60, narration, c.noFormatFrame ? 0 : 64, c.throwAt), 1);
        EXPECT_EQ(prompts.firstLines(), shown(c.error ? c.error : "", "AVI ERR"));
        EXPECT_EQ(prompts.codecDialogues, c.noFormatFrame ? 0 : 1);
        // Nothing under the output's name, and no temporary file left beside it.
        EXPECT_FALSE(std::filesystem::exists(out));
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_NE(e.path().extension(), ".part") << e.path();
    }
}

TEST_F(AviAssemblyTest, ASecondBuildReplacesTheFile) {
    ASSERT_EQ(build(kExample, 60, narration), 0);
    const auto firstSize = std::filesystem::file_size(out);
    ASSERT_EQ(build("0,/s/slide3\n", 60, ""), 0);
    EXPECT_LT(std::filesystem::file_size(out), firstSize);
    EXPECT_EQ(testing::readAvi(out).streams.size(), 1u);
    const testing::Decoded d = testing::decodeAvi(out);
    EXPECT_EQ(d.framePositions, std::vector<std::int64_t>{0});
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0][2], kColours[3][2]);
}

TEST_F(AviAssemblyTest, ACopyThatReadsNothingEndsAsAFailure) {
    AudioSource source;
    ASSERT_TRUE(source.open(narration));
    AviWriter writer;
    ASSERT_TRUE(writer.open(out));
    StreamCopy copy(writer, source);
    ASSERT_EQ(copy.begin(), 0);
    ASSERT_TRUE(writer.start());
    ASSERT_EQ(copy.copyUntil(44100), 0);
    // The narration shrinks under the copy: its reads now yield nothing.
    std::filesystem::resize_file(narration, 44 + 44100);
    EXPECT_EQ(copy.copyRest(), -1);
    EXPECT_TRUE(copy.failed());
    // What the file still held is copied (the reads may come from a buffer); then it stops.
    EXPECT_GE(copy.copied(), 44100);
    EXPECT_LT(copy.copied(), 44100 + 8192);
    EXPECT_EQ(copy.copyRest(), -1);
    EXPECT_TRUE(writer.finish());
}

}  // namespace
}  // namespace vorlix
