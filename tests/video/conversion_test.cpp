// A lecture's timeline and narration into its AVI file: the assembly, and the conversion around
// it as the user sees it (the file name, giving up, the messages).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <stdexcept>

#include "lecture/timeline_reader.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "video/conversion_driver.h"

namespace vorlix {
namespace {

using testing::Log;
using Positions = std::vector<std::int64_t>;
const std::string kExample = "0,/s/slide1\n21,/s/slide2\n60,/s/slide2\n";
const std::uint32_t kColours[4] = {0, 0x0A1EC8, 0x5ADC14, 0xFAFAFA};  // slide N in colour N

struct AviAssembly : ::testing::Test {
    void SetUp() override { testing::writeNarration(narration, samples); }

    // One build over the timeline, as the conversion runs it; drawing frame throwAt fails.
    int build(const std::string& timeline, std::int32_t limit, const std::string& narrationPath,
              std::int32_t width = 64, int throwAt = -1) {
        prompts.log.clear();
        state.conversionFinished = 0;
        std::filesystem::remove(out);
        testing::writeFile(dir.file("t.tmp"), timeline);
        TimelineReader reader;
        EXPECT_TRUE(reader.open(dir.file("t.tmp")));
        const DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t i) {
            if (i == throwAt) throw std::runtime_error("no memory for the slide");
            const std::uint32_t c = kColours[reader.currentSlidePath().back() - '0'];
            for (std::size_t p = 0; p < canvas.pixels.size(); ++p)
                canvas.pixels[p] = c >> p % 3 * 8;
        };
        AviBuildEnvironment env{prompts, state, {}};
        const int failures = buildAviFile(
            out, width, 48, 24, limit, 2, draw, [&](int) { return reader.frameTime(0); },
            [&](int i) { return reader.nextLine(i); }, narrationPath, env);
        EXPECT_EQ(state.conversionFinished, failures == 0 ? 1 : 0);
        return failures;
    }

    testing::ScratchDir dir;
    std::string narration = dir.file("narration.wav"), out = dir.file("lecture.avi");
    testing::Bytes samples = testing::noise(44100 * 31 + 123);  // over 30 s
    testing::FakePrompts prompts;
    ConversionState state;
};

TEST_F(AviAssembly, ExampleLectureGivesKeyFramesAtItsTicksAndTheWholeNarration) {
    EXPECT_EQ(build(kExample, 60, narration), 0);
    EXPECT_EQ(prompts.log, Log{"codec"});
    const testing::AviRead f = testing::readAvi(out);
    EXPECT_EQ(f.streams.at(0).length, 61);  // 30.5 s: the closing line's frame included
    EXPECT_EQ(f.positions(0), (Positions{0, 21, 60}));
    EXPECT_EQ(f.audio, samples);
    EXPECT_EQ(std::pair(f.pixel(0, 5, 5), f.pixel(2, 5, 5)), std::pair(kColours[1], kColours[2]));
    // Interleaved: the frame at 21 (10.5 s) follows the audio of its first 10.5 s in the file.
    std::int64_t audioBefore = 0, second = 0;
    for (const auto& p : f.packets) second = p.stream == 0 && p.position == 21 ? p.offset : second;
    for (const auto& p : f.packets)
        audioBefore += p.stream == 1 && p.offset < second ? p.data.size() : 0;
    EXPECT_GE(audioBefore, 21 * 22050);
    EXPECT_LT(audioBefore, 21 * 22050 + 44100);
}

// A narration of several bytes a sample (16-bit stereo) is copied whole, byte for byte, too.
TEST_F(AviAssembly, WideNarrationIsCopiedWhole) {
    const std::string wide = dir.file("wide.wav");
    ASSERT_EQ(
        std::system(("sox -R -n -r 22050 -b 16 -c 2 " + wide + " synth 31 whitenoise").c_str()), 0);
    EXPECT_EQ(build(kExample, 60, wide), 0);
    const testing::Bytes file = testing::readBytes(wide);
    EXPECT_EQ(testing::readAvi(out).audio, testing::Bytes(file.begin() + 44, file.end()));
}

// The limit counts lines, not ticks; a narration that cannot be copied is only reported, with its
// path and reason; a failed video is told and never left under the output's name.
TEST_F(AviAssembly, LimitsAndFailures) {
    testing::writeFile(dir.file("bad.wav"), std::string("not a wave file at all, honestly"));
    testing::writeNarration(dir.file("cut.wav"), samples, false);
    const std::string three = "0,/s/slide1\n1,/s/slide2\n2,/s/slide3\n",
                      bad = "0,/s/slide1\n5,\n9,/s/slide2\n",
                      again = "0,/s/slide1\n21,/s/slide2\n21,/s/slide3\n",
                      back = "0,/s/slide1\n21,/s/slide2\n7,/s/slide3\n", cut = dir.file("cut.wav"),
                      notCopied(texts::kNarrationNotCopied), err = "WritingERR";
    // Timeline, limit, narration, codec (none: cancelled), the frame whose drawing fails, what the
    // user is told, the frames: a limit below the lines, a malformed line, a narration never
    // completed, missing or not WAVE, no codec, one that cannot be opened, a tick repeated or
    // going back, a frame that cannot be drawn.
    const std::tuple<std::string, int, std::string, const char*, int, Log, Positions> cases[] = {
        {three, 2, narration, "rawvideo", -1, {}, {0, 1}},
        {bad, 60, narration, "rawvideo", -1, {}, {0}},
        {kExample, 60, cut, "rawvideo", -1, {}, {0, 21, 60}},
        {kExample, 60, dir.file("gone.wav"), "rawvideo", -1, {notCopied}, {0, 21, 60}},
        {kExample, 60, dir.file("bad.wav"), "rawvideo", -1, {notCopied}, {0, 21, 60}},
        {kExample, 60, narration, nullptr, -1, {}, {}},
        {kExample, 60, narration, "no-such-encoder", -1, {err}, {}},
        {again, 60, narration, "rawvideo", -1, {err}, {}},
        {back, 60, narration, "mjpeg", -1, {err}, {}},
        {kExample, 60, narration, "rawvideo", 1, {"MAKEDIB ERROR!"}, {}}};
    for (const auto& [timeline, limit, narrationPath, codec, throwAt, told, frames] : cases) {
        prompts.codec = codec ? std::optional(CodecChoice{codec, 80}) : std::nullopt;
        const bool failed = !codec || (!told.empty() && told[0] != notCopied);
        EXPECT_EQ(build(timeline, limit, narrationPath, 64, throwAt), failed ? 1 : 0) << timeline;
        Log log = {"codec"};
        log.insert(log.end(), told.begin(), told.end());
        Log firstLines;  // the known cause follows on a line of its own
        for (const std::string& m : prompts.log) firstLines.push_back(m.substr(0, m.find('\n')));
        EXPECT_EQ(firstLines, log);
        if (!told.empty() && told[0] == notCopied) {
            EXPECT_NE(prompts.log.back().find(narrationPath), std::string::npos);
        }
        const testing::AviRead f = testing::readAvi(out);
        EXPECT_EQ(f.positions(0), frames);
        const bool copied = !failed && (narrationPath == narration || narrationPath == cut);
        EXPECT_EQ(f.audio, copied ? samples : testing::Bytes{});
    }
    EXPECT_EQ(build(kExample, 60, narration, 0), 1);  // no format frame: no video stream at all
    EXPECT_EQ(prompts.log, Log{"MAKEDIB ERROR!"});
    EXPECT_FALSE(std::filesystem::exists(out));
}

// The user's moves: C cancels the save dialogue, N and Y answer whether to give up, anything
// else is a name typed (".avi" added where missing). A timeline that cannot be read or a build that
// fails leave the finished flag clear, and only a video written is told as done.
TEST(ConversionDriver, SaveDialogueLoopAndWhatEachAttemptLeaves) {
    EXPECT_EQ(ConversionDriver::withAviExtension("/u/a.aVi"), "/u/a.aVi");
    EXPECT_EQ(ConversionDriver::withAviExtension("/u/lectureavi"), "/u/lectureavi.avi");
    testing::ScratchDir dir;
    testing::writeFile(dir.file("t.tmp"), kExample);
    testing::writeFile(dir.file("s.avi"), std::string("a slide, whatever its name"));
    testing::writeFile(dir.file("s.tmp"), "0," + dir.file("s.avi") + "\n");
    using Outcome = ConversionDriver::Outcome;
    const std::string giveUp = std::string(texts::kAbandonQuestion) + "?",
                      ended(texts::kConversionEnded), unread(texts::kTimelineReadError);
    const std::tuple<std::vector<std::string>, std::string, Outcome, int, Log> cases[] = {
        {{"C", "Y"}, "t.tmp", Outcome::Abandoned, 1, {"save", giveUp}},
        {{"C", "N", "C", "Y"}, "t.tmp", Outcome::Abandoned, 1, {"save", giveUp, "save", giveUp}},
        {{"C", "N", "講義"}, "t.tmp", Outcome::Built, 1, {"save", giveUp, "save", "codec", ended}},
        {{"a"}, "gone.tmp", Outcome::TimelineUnreadable, 0, {"save", unread}},
        {{"no/c"}, "t.tmp", Outcome::Built, 0, {"save", "CannotOpenAviFile"}},
        {{"s.avi"}, "s.tmp", Outcome::Built, 0, {"save", "CannotOpenAviFile"}},  // a slide
    };
    for (const auto& [moves, timeline, outcome, finished, log] : cases) {
        testing::FakePrompts p;
        for (const std::string& m : moves) {
            if (m == "Y" || m == "N")
                p.yesNo.push_back(m == "Y");
            else
                p.savePaths.push_back(m == "C" ? std::nullopt : std::optional(dir.file(m)));
        }
        ConversionState s;
        EXPECT_EQ(ConversionDriver(p, s).runConversion(dir.file(timeline), "", 60), outcome);
        Log firstLines;  // the known cause, or what was wrong, follows on lines of its own
        for (const std::string& m : p.log) firstLines.push_back(m.substr(0, m.find('\n')));
        EXPECT_EQ(std::pair(s.conversionFinished, firstLines), std::pair(finished, log));
    }
    EXPECT_EQ(testing::readAvi(dir.file("講義.avi")).positions(0), (Positions{0, 21, 60}));
    EXPECT_EQ(testing::readBytes(dir.file("s.avi")).size(), 26u);  // the slide untouched
    // Many problems: the first ten, then how many more, so the box fits on the screen.
    std::string many;
    for (int i = 0; i < 13; ++i) many += std::to_string(i) + ",/missing/" + std::to_string(i) + "\n";
    testing::writeFile(dir.file("m.tmp"), many);
    testing::FakePrompts p;
    p.savePaths.push_back(dir.file("m"));
    ConversionState s;
    ConversionDriver(p, s).runConversion(dir.file("m.tmp"), "", 60);
    const std::string told = p.log.back();
    EXPECT_NE(told.find("/missing/9:"), std::string::npos) << told;
    EXPECT_EQ(told.find("/missing/10:"), std::string::npos) << told;
    EXPECT_TRUE(told.ends_with("ほかに 3 件の問題があります")) << told;
}

}  // namespace
}  // namespace vorlix
