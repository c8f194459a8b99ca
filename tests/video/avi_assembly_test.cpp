#include "video/avi_assembly.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

constexpr std::uint8_t kColours[4][3] = {
    {40, 80, 160}, {200, 30, 10}, {20, 220, 90}, {250, 250, 250}};

// Timeline lines name slides "slideN"; the test paints slide N in colour N (blue, green, red).
void paint(FrameCanvas& canvas, const std::string& path) {
    const std::uint8_t* c = kColours[(path.empty() ? '0' : path.back()) - '0'];
    for (std::size_t i = 0; i < canvas.pixels.size(); i += 3) {
        canvas.pixels[i] = c[0];
        canvas.pixels[i + 1] = c[1];
        canvas.pixels[i + 2] = c[2];
    }
}

class AviAssemblyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        timeline = dir.file("timeline.tmp");
        narration = dir.file("narration.wav");
        out = dir.file("lecture.avi");
        samples = testing::narrationSamples(44100 * 6 + 123);
        testing::writeNarration(narration, samples);
    }

    void writeTimeline(const std::string& text) { testing::writeText(timeline, text); }

    // One build over the timeline file, as the conversion runs it.
    int build(std::int32_t limit, const std::string& narrationPath, std::int32_t width = 64,
              std::int32_t height = 48, int throwAt = -1) {
        TimelineReader reader;
        EXPECT_TRUE(reader.open(timeline));
        DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t i) {
            if (i == throwAt) throw std::runtime_error("no memory for the slide");
            paint(canvas, reader.currentSlidePath());
        };
        AviBuildEnvironment env{prompts, state,
                                [&](const AviProgress& p) { progress.push_back(p); }};
        int failures = buildAviFile(
            out, width, height, 24, limit, 2, draw,
            [&](std::int32_t i) { return reader.frameTime(i); },
            [&](std::int32_t i) { return reader.nextLine(i); }, narrationPath, env, &report);
        EXPECT_EQ(failures, report.failures);
        return failures;
    }

    testing::ScratchDir dir;
    std::string timeline, narration, out;
    std::vector<std::uint8_t> samples;
    ScriptedPrompts prompts;
    ConversionState state;
    AviBuildReport report;
    std::vector<AviProgress> progress;
};

const std::string kExample = "0,/lec/slide1\n21,/lec/slide2\n60,/lec/slide2\n";

TEST_F(AviAssemblyTest, ExampleLectureGivesKeyFramesAtItsTicksAndTheWholeNarration) {
    samples = testing::narrationSamples(44100 * 31 + 123);  // a little over the 30 s
    testing::writeNarration(narration, samples);
    writeTimeline(kExample);
    EXPECT_EQ(build(60, narration), 0);
    EXPECT_EQ(state.conversionFinished, 1);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_FALSE(prompts.offered.empty());
    EXPECT_EQ(prompts.offered[0].description, texts::kCodecUncompressed);

    testing::AviFile f = testing::readAvi(out);
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].type, "vids");
    EXPECT_EQ(f.streams[0].rate, 2u);
    EXPECT_EQ(f.streams[0].scale, 1u);
    EXPECT_EQ(f.streams[0].length, 61u);  // 30.5 s: the closing line's frame included
    EXPECT_EQ(f.streams[0].suggestedBufferSize, 64u * 48 * 3);
    EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0, 21, 60}));
    EXPECT_EQ(f.videoPositions(false).size(), 58u);  // the empty positions are in the index
    EXPECT_EQ(f.streams[1].type, "auds");
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

    testing::Decoded d = testing::decodeAvi(out);
    EXPECT_EQ(d.audio, samples);
    ASSERT_EQ(d.frames.size(), 3u);
    EXPECT_EQ(d.framePositions, (std::vector<std::int64_t>{0, 21, 60}));
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t* c = kColours[i == 0 ? 1 : 2];
        EXPECT_EQ(d.frames[i][0], c[0]);
        EXPECT_EQ(d.frames[i][1], c[1]);
        EXPECT_EQ(d.frames[i][2], c[2]);
    }

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().linesDone, 3);
    EXPECT_EQ(progress.back().audioSamplesCopied, static_cast<std::int64_t>(samples.size()));
    EXPECT_EQ(progress.back().audioSamplesTotal, static_cast<std::int64_t>(samples.size()));
}

TEST_F(AviAssemblyTest, TheFrameLimitCountsLinesNotTicks) {
    struct Case {
        const char* what;
        std::string timeline;
        std::int32_t limit;
        std::vector<std::uint32_t> frames;
    } cases[] = {
        {"limit below the lines", "0,/s/slide1\n1,/s/slide2\n2,/s/slide3\n", 2, {0, 1}},
        {"limit 0", kExample, 0, {}},
        {"negative limit", kExample, -5, {}},
        {"empty timeline", "", 60, {}},
        {"limit above the lines", kExample, 1000, {0, 21, 60}},
        {"malformed line ends the timeline", "0,/s/slide1\n5,\n9,/s/slide2\n", 60, {0}},
        {"late first line", "5,/s/slide1\n9,/s/slide2\n", 60, {5, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.shown.clear();
        state.conversionFinished = 0;
        writeTimeline(c.timeline);
        EXPECT_EQ(build(c.limit, narration), 0);
        EXPECT_EQ(state.conversionFinished, 1);
        EXPECT_TRUE(prompts.shown.empty());
        testing::AviFile f = testing::readAvi(out);
        ASSERT_EQ(f.streams.size(), 2u);
        EXPECT_EQ(f.streams[0].type, "vids");
        EXPECT_GE(f.streams[0].format.size(), 40u);  // the format is there with no frames
        EXPECT_EQ(f.videoPositions(true), c.frames);
        EXPECT_EQ(f.streams[1].length, samples.size());
        EXPECT_EQ(testing::decodeAvi(out).audio, samples);
    }
}

TEST_F(AviAssemblyTest, NarrationCasesNeverCountAsFailures) {
    struct Case {
        const char* what;
        std::function<std::string()> narrationPath;
        std::size_t streams;
        std::vector<Shown> shown;
        std::size_t audioBytes;
    } cases[] = {
        {"no narration", [] { return std::string(); }, 1, {}, 0},
        {"narration missing",
         [&] { return dir.file("gone.wav"); },
         1,
         {{std::string(texts::kNarrationNotCopied), ""}},
         0},
        {"not a WAV file",
         [&] {
             testing::writeText(dir.file("bad.wav"), "not a wave file at all, honestly");
             return dir.file("bad.wav");
         },
         1,
         {{std::string(texts::kNarrationNotCopied), ""}},
         0},
        {"length fields never completed",
         [&] {
             testing::writeNarration(dir.file("cut.wav"), samples, false);
             return dir.file("cut.wav");
         },
         2,
         {},
         samples.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.shown.clear();
        state.conversionFinished = 0;
        writeTimeline(kExample);
        EXPECT_EQ(build(60, c.narrationPath()), 0);
        EXPECT_EQ(state.conversionFinished, 1);
        EXPECT_EQ(prompts.shown, c.shown);
        testing::AviFile f = testing::readAvi(out);
        EXPECT_EQ(f.streams.size(), c.streams);
        EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0, 21, 60}));
        EXPECT_EQ(testing::decodeAvi(out).audio.size(), c.audioBytes);
    }
}

TEST_F(AviAssemblyTest, VideoFailuresAreCountedAndTheNarrationStillGoesIn) {
    struct Case {
        const char* what;
        std::string timeline;
        std::optional<CodecChoice> codec;
        int throwAt;
        std::vector<Shown> shown;
        std::vector<std::uint32_t> frames;
    } cases[] = {
        {"codec choice cancelled", kExample, std::nullopt, -1, {}, {}},
        {"encoder that cannot be opened",
         kExample,
         CodecChoice{"no-such-encoder", 0},
         -1,
         {{"WritingERR", "AVI ERR"}},
         {}},
        {"tick repeated (hand-edited file)",
         "0,/s/slide1\n21,/s/slide2\n21,/s/slide3\n",
         CodecChoice{"rawvideo", 0},
         -1,
         {{"WritingERR", "AVI ERR"}},
         {0, 21}},
        {"tick going back",
         "0,/s/slide1\n21,/s/slide2\n7,/s/slide3\n",
         CodecChoice{"mjpeg", 80},
         -1,
         {{"WritingERR", "AVI ERR"}},
         {0, 21}},
        {"negative tick",
         "-4,/s/slide1\n",
         CodecChoice{"rawvideo", 0},
         -1,
         {{"WritingERR", "AVI ERR"}},
         {}},
        {"frame image not made",
         kExample,
         CodecChoice{"rawvideo", 0},
         1,
         {{"MAKEDIB ERROR!", "AVI ERR"}},
         {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.shown.clear();
        prompts.codec = c.codec;
        state.conversionFinished = 0;
        writeTimeline(c.timeline);
        EXPECT_EQ(build(60, narration, 64, 48, c.throwAt), 1);
        EXPECT_EQ(state.conversionFinished, 0);
        EXPECT_EQ(prompts.shown, c.shown);
        testing::AviFile f = testing::readAvi(out);
        ASSERT_EQ(f.streams.size(), 2u);
        EXPECT_EQ(f.videoPositions(true), c.frames);
        EXPECT_EQ(testing::decodeAvi(out).audio, samples);
    }
}

TEST_F(AviAssemblyTest, FormatFrameNotMadeLeavesOnlyTheNarration) {
    writeTimeline(kExample);
    EXPECT_EQ(build(60, narration, 0, 480), 1);
    EXPECT_EQ(state.conversionFinished, 0);
    EXPECT_EQ(prompts.shown, (std::vector<Shown>{{"MAKEDIB ERROR!", "AVI ERR"}}));
    EXPECT_EQ(prompts.codecDialogues, 0);
    testing::AviFile f = testing::readAvi(out);
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].type, "auds");
    EXPECT_EQ(testing::decodeAvi(out).audio, samples);
}

TEST_F(AviAssemblyTest, OutputThatCannotBeOpened) {
    writeTimeline(kExample);
    out = dir.file("no such folder/lecture.avi");
    EXPECT_EQ(build(60, narration), 1);
    EXPECT_EQ(state.conversionFinished, 0);
    EXPECT_EQ(prompts.shown,
              (std::vector<Shown>{{"CannotOpenAviFile", "Error"}, {"WritingERR", "AVI ERR"}}));
    EXPECT_EQ(prompts.codecDialogues, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(AviAssemblyTest, ASecondBuildReplacesTheFile) {
    writeTimeline(kExample);
    ASSERT_EQ(build(60, narration), 0);
    const auto firstSize = std::filesystem::file_size(out);
    writeTimeline("0,/s/slide3\n");
    ASSERT_EQ(build(60, ""), 0);
    EXPECT_LT(std::filesystem::file_size(out), firstSize);
    testing::AviFile f = testing::readAvi(out);
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0}));
    testing::Decoded d = testing::decodeAvi(out);
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
