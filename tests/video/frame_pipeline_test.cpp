// Frames made ahead of the file on a thread of their own give the file, the failures and the
// problems, in order, that frames made one at a time on the calling thread give, also when the
// build stops half-way with frames already made beyond that point.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <thread>
#include <utility>

#include "lecture/timeline_reader.h"
#include "tests/support/fakes.h"
#include "tests/support/files.h"
#include "video/avi_assembly.h"

namespace vorlix::testing {
namespace {

constexpr int kLines = 8;

struct Outcome {
    int failures = 0;
    std::int32_t frames = 0;
    Log problems, messages;
    Bytes file;
};

// Line i shows slide i (its own colour) at tick 10 i; the slide of line `missing` is not there,
// the frame of line `badTick` comes no later than the one before (Motion JPEG's encoder refuses it,
// with uncompressed frames the file's writer does), drawing line `throwAt` fails.
Outcome build(std::size_t ahead, const char* codec, int missing, int badTick, int throwAt) {
    static ScratchDir dir;  // one place, so that the messages naming it compare
    std::filesystem::remove(dir.file("s" + std::to_string(missing) + ".bmp"));
    std::string timeline;
    for (int i = 0; i < kLines; ++i) {
        const std::string slide = dir.file("s" + std::to_string(i) + ".bmp");
        if (i != missing)
            writeFile(slide, bmpOf(160, 120, [&](int x, int) { return i * 0x1F2F3F + x; }));
        timeline += std::to_string(10 * i) + "," + slide + "\n";
    }
    writeFile(dir.file("t.tmp"), timeline);
    writeNarration(dir.file("n.wav"), noise(44100 * 40));
    TimelineReader reader;
    EXPECT_TRUE(reader.open(dir.file("t.tmp")));
    FakePrompts prompts;
    prompts.codec = CodecChoice{codec, 90};
    ConversionState state;
    Outcome o;
    std::vector<std::string> found;
    const DrawOperation draw = [&](FrameCanvas& canvas, std::int32_t i) {
        if (i == throwAt) throw std::runtime_error("no memory for the slide");
        if (!drawSlideFrame(canvas, reader.currentSlidePath(), kPlaceStretch))
            found.push_back("unreadable " + std::to_string(i));
    };
    // A slow file: the frames get ahead of it as far as they may.
    AviBuildEnvironment env{prompts, state, [written = 0](const AviProgress& p) mutable {
                                if (p.linesDone == std::exchange(written, p.linesDone)) return;
                                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                            }};
    env.problems = &o.problems;
    env.frameProblems = &found;
    env.framesAhead = ahead;
    AviBuildReport report;
    o.failures = buildAviFile(
        dir.file("out.avi"), 64, 48, 24, 100, 2, draw,
        [&](int i) { return 10 * (i == badTick ? i - 1 : i); },
        [&](int i) { return reader.nextLine(i); }, dir.file("n.wav"), env, &report);
    o.frames = report.framesWritten;
    o.messages = prompts.log;
    if (report.written) o.file = readBytes(dir.file("out.avi"));
    return o;
}

TEST(FramePipeline, SameFileFailuresAndProblemsAsOneFrameAtATime) {
    struct Case {
        const char* codec;
        int missing, badTick, throwAt;
        int failures;
        std::int32_t frames;
        Log problems;
    };
    // A problem beyond the frame where a build stops is never told, though it was already found.
    for (const Case& c : std::initializer_list<Case>{
             {"mjpeg", 2, -1, -1, 0, kLines, {"unreadable 2"}},
             {"rawvideo", 2, -1, -1, 0, kLines, {"unreadable 2"}},
             {"mjpeg", 6, 5, -1, 1, 5, {}},
             {"rawvideo", 6, 5, -1, 1, 5, {}},
             {"rawvideo", 2, 5, -1, 1, 5, {"unreadable 2"}},
             {"mjpeg", 6, -1, 4, 1, 4, {}},
         }) {
        const Outcome alone = build(0, c.codec, c.missing, c.badTick, c.throwAt);
        EXPECT_EQ(alone.failures, c.failures) << c.codec << c.missing << c.badTick << c.throwAt;
        EXPECT_EQ(alone.frames, c.frames);
        EXPECT_EQ(alone.problems, c.problems);
        EXPECT_EQ(alone.file.empty(), c.failures != 0);
        for (std::size_t ahead : {1, 4}) {
            const Outcome made = build(ahead, c.codec, c.missing, c.badTick, c.throwAt);
            EXPECT_EQ(made.failures, alone.failures) << ahead;
            EXPECT_EQ(made.frames, alone.frames);
            EXPECT_EQ(made.problems, alone.problems);
            EXPECT_EQ(made.messages, alone.messages);
            EXPECT_TRUE(made.file == alone.file) << "the files differ";
        }
    }
}

// A plain bitmap is shrunk a band of rows at a time: the pixels of the whole file read at once.
TEST(FramePipeline, BandsGiveThePixelsOfTheWholeSlide) {
    ScratchDir dir;
    const std::string path = dir.file("s.bmp");
    const Bytes plain = bmpOf(301, 700, [](int x, int y) { return (x * 7 + y * 13) * 0x010203u; });
    for (const Bytes& file : {plain, patched(plain, {{22, static_cast<std::uint32_t>(-700)}}),
                              Bytes(plain.begin(), plain.end() - 5000)}) {
        writeFile(path, file);
        FrameCanvas banded(64, 48), whole(64, 48);
        EXPECT_TRUE(drawSlideFrame(banded, path, kPlaceStretch));
        EXPECT_EQ(drawSlideBitmap(path, whole, kPlaceStretch), 0);
        EXPECT_TRUE(banded.pixels == whole.pixels);
    }
}

}  // namespace
}  // namespace vorlix::testing
