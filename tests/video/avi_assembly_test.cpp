#include "video/avi_assembly.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::Log;
using Positions = std::vector<std::int64_t>;

// Slide N of a timeline ("/x/slideN") is painted in colour N (0xRRGGBB).
constexpr std::uint32_t kColours[4] = {0xA05028, 0x0A1EC8, 0x5ADC14, 0xFAFAFA};
const std::string kExample = "0,/lec/slide1\n21,/lec/slide2\n60,/lec/slide2\n";

class AviAssemblyTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::writeNarration(narration, samples); }

    // One build over the timeline, as the conversion runs it; the slide drawn at throwAt fails.
    int build(const std::string& timelineText, std::int32_t limit, const std::string& narrationPath,
              std::int32_t width = 64, int throwAt = -1) {
        prompts.log.clear();
        prompts.captions.clear();
        state.conversionFinished = 0;
        testing::writeFile(timeline, timelineText);
        TimelineReader reader;
        EXPECT_TRUE(reader.open(timeline));
        const DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t i) {
            if (i == throwAt) throw std::runtime_error("no memory for the slide");
            const std::string& slide = reader.currentSlidePath();
            const std::uint32_t c = kColours[slide.empty() ? 0 : slide.back() - '0'];
            for (std::size_t p = 0; p < canvas.pixels.size(); ++p)
                canvas.pixels[p] = static_cast<std::uint8_t>(c >> (8 * (p % 3)));
        };
        AviBuildEnvironment env{prompts, state, [&](const AviProgress& p) { progress.push_back(p); }};
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
    testing::Bytes samples = testing::noise(44100 * 31 + 123);  // over 30 s
    testing::FakePrompts prompts;
    ConversionState state;
    AviBuildReport report;
    std::vector<AviProgress> progress;
};

TEST_F(AviAssemblyTest, ExampleLectureGivesKeyFramesAtItsTicksAndTheWholeNarration) {
    EXPECT_EQ(build(kExample, 60, narration), 0);
    EXPECT_EQ(prompts.log, Log{"codec"});
    const testing::AviRead f = testing::readAvi(out);
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].length, 61);  // 30.5 s: the closing line's frame included
    EXPECT_EQ(f.positions(0), (Positions{0, 21, 60}));
    EXPECT_EQ(f.audio, samples);
    ASSERT_EQ(f.frames.size(), 3u);
    EXPECT_EQ(f.pixel(0, 5, 5), kColours[1]);
    EXPECT_EQ(f.pixel(2, 5, 5), kColours[2]);
    // Interleaved in the file: the frame at 21 (10.5 s) follows the audio of its first 10.5 s.
    std::int64_t audioBefore = 0, second = f.packets.back().offset;
    for (const auto& p : f.packets)
        if (p.stream == 0 && p.position == 21) second = p.offset;
    for (const auto& p : f.packets)
        if (p.stream == 1 && p.offset < second) audioBefore += static_cast<std::int64_t>(p.data.size());
    EXPECT_GE(audioBefore, 21 * 22050);
    EXPECT_LT(audioBefore, 21 * 22050 + 44100);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().linesDone, 3);
    EXPECT_EQ(progress.back().audioSamplesCopied, static_cast<std::int64_t>(samples.size()));
    EXPECT_EQ(progress.back().audioSamplesTotal, static_cast<std::int64_t>(samples.size()));
}

TEST_F(AviAssemblyTest, FrameLimitsAndNarrationProblemsAreNoFailures) {
    // The limit counts lines, not ticks; a narration that cannot be copied is only reported.
    testing::writeFile(dir.file("bad.wav"), std::string("not a wave file at all, honestly"));
    testing::writeNarration(dir.file("cut.wav"), samples, false);
    const std::string three = "0,/s/slide1\n1,/s/slide2\n2,/s/slide3\n";
    struct Case {
        std::string timeline;
        std::int32_t limit;
        Positions frames;
        std::string narration;
        bool copied = true;
    } cases[] = {
        {three, 2, {0, 1}, narration},
        {kExample, 0, {}, narration},
        {kExample, -5, {}, narration},
        {"", 60, {}, narration},
        {"0,/s/slide1\n5,\n9,/s/slide2\n", 60, {0}, narration},  // a malformed line ends it
        {"5,/s/slide1\n9,/s/slide2\n", 60, {5, 9}, narration},    // a late first line
        {kExample, 60, {0, 21, 60}, dir.file("cut.wav")},       // length never completed
        {kExample, 60, {0, 21, 60}, "", false},                  // no narration
        {kExample, 60, {0, 21, 60}, dir.file("gone.wav"), false},
        {kExample, 60, {0, 21, 60}, dir.file("bad.wav"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(build(c.timeline, c.limit, c.narration), 0);
        const bool told = !c.copied && !c.narration.empty();
        Log expected = {"codec"};
        if (told) expected.push_back(std::string(texts::kNarrationNotCopied));
        EXPECT_EQ(prompts.log, expected);
        const testing::AviRead f = testing::readAvi(out);
        ASSERT_EQ(f.streams.size(), c.copied ? 2u : 1u);
        EXPECT_EQ(f.positions(0), c.frames);
        EXPECT_EQ(f.audio, c.copied ? samples : testing::Bytes{});
    }
}

TEST_F(AviAssemblyTest, VideoFailuresAreCountedAndTheNarrationStillGoesIn) {
    const std::string repeated = "0,/s/slide1\n21,/s/slide2\n21,/s/slide3\n",
                      back = "0,/s/slide1\n21,/s/slide2\n7,/s/slide3\n";
    struct Case {
        std::string timeline;
        const char* codec;  // nullptr: the choice is cancelled
        int throwAt;        // the frame whose drawing fails
        const char* error;
        Positions frames;
        bool noFormatFrame = false;
    } cases[] = {
        {kExample, nullptr, -1, nullptr, {}},
        {kExample, "no-such-encoder", -1, "WritingERR", {}},
        {repeated, "rawvideo", -1, "WritingERR", {0, 21}},
        {back, "mjpeg", -1, "WritingERR", {0, 21}},
        {"-4,/s/slide1\n", "rawvideo", -1, "WritingERR", {}},
        {kExample, "rawvideo", 1, "MAKEDIB ERROR!", {0}},
        {kExample, "rawvideo", -1, "MAKEDIB ERROR!", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        prompts.codec.reset();
        if (c.codec) prompts.codec = CodecChoice{c.codec, 80};
        EXPECT_EQ(build(c.timeline, 60, narration, c.noFormatFrame ? 0 : 64, c.throwAt), 1);
        Log expected = c.noFormatFrame ? Log{} : Log{"codec"};
        if (c.error) expected.insert(c.noFormatFrame ? expected.begin() : expected.end(), c.error);
        EXPECT_EQ(prompts.log, expected);
        if (c.error) EXPECT_EQ(prompts.captions.back(), "AVI ERR");
        const testing::AviRead f = testing::readAvi(out);
        ASSERT_EQ(f.streams.size(), c.noFormatFrame ? 1u : 2u);
        EXPECT_EQ(f.streams.back().type, AVMEDIA_TYPE_AUDIO);
        if (!c.noFormatFrame) EXPECT_EQ(f.positions(0), c.frames);
        EXPECT_EQ(f.audio, samples);
    }
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
    std::filesystem::resize_file(narration, 44 + 44100);  // its reads now yield nothing
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
