#include "recording/narration_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "common/regular_file.h"
#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

constexpr std::size_t kBuffer = 88200;
const Bytes kSound = noise(5 * kBuffer);

// The file holds the first `bytes` of the sound, both lengths say so, and a player (FFmpeg's WAV
// reader) finds 8-bit mono 44100 Hz PCM and every sample.
void expectWaveOf(const std::string& path, std::size_t bytes) {
    const Bytes f = readBytes(path);
    ASSERT_EQ(f.size(), 44 + bytes);
    EXPECT_EQ(le32(f, 4), bytes + 36);
    EXPECT_EQ(le32(f, 40), bytes);
    const AviRead wav = readAvi(path);
    const auto& s = wav.streams.at(0);
    EXPECT_EQ(std::tuple(s.codec, s.rate, s.channels), std::tuple(AV_CODEC_ID_PCM_U8, 44100, 1));
    EXPECT_TRUE(std::equal(wav.audio.begin(), wav.audio.end(), kSound.begin()) &&
                wav.audio.size() == bytes);
}

void appendBuffers(NarrationFile& narration, int count) {
    for (int n = 0; n < count; ++n)
        narration.append(std::span(kSound).subspan(n * kBuffer, kBuffer));
}

// Every buffer is in the file after the finish, and after a kill with no finish, no destructor
// and no flush; buffers handed back after the stop are not.
TEST(NarrationFile, HoldsEveryBufferAfterFinishAndAfterAKill) {
    for (const bool killed : {false, true}) {
        for (int buffers : {0, 3}) {
            ScratchDir dir;
            FakePrompts prompts;
            NarrationFile narration(prompts);
            if (killed && ::fork() == 0) {
                if (narration.createAt(dir.file("n.wav")))
                    appendBuffers(narration, buffers), ::raise(SIGKILL);
                ::_exit(2);
            }
            if (killed) {
                ::wait(nullptr);
            } else {
                ASSERT_TRUE(narration.createAt(dir.file("n.wav")));
                appendBuffers(narration, buffers);
                narration.finish();
                appendBuffers(narration, 1);  // handed back after the stop: not written
            }
            expectWaveOf(dir.file("n.wav"), buffers * kBuffer);
        }
    }
}

// A failed write (the largest file this process may write lowered, as a full disk does) and the
// size limit stop the appending with one message; the header then claims only what the file
// holds. A file that cannot be created is told once.
TEST(NarrationFile, FailuresAreToldOnceAndTheHeaderStaysTrue) {
    ScratchDir dir;
    FakePrompts prompts;
    {
        NarrationFile narration(prompts);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lower{44 + kBuffer + 1000, saved.rlim_max};
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
        ::setrlimit(RLIMIT_FSIZE, &lower);
        ASSERT_TRUE(narration.createAt(dir.file("full.wav")));
        appendBuffers(narration, 4);
        const rlimit noRoom{20, saved.rlim_max};  // not even the header fits: no file is left
        ::setrlimit(RLIMIT_FSIZE, &noRoom);
        NarrationFile headerless(prompts);
        EXPECT_FALSE(headerless.createAt(dir.file("headerless.wav")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("headerless.wav")));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldHandler);
        appendBuffers(narration, 1);  // room again, but a stopped narration stays as it was
        EXPECT_EQ(narration.bytesWritten(), std::int64_t(kBuffer) + 1000);
    }
    expectWaveOf(dir.file("full.wav"), kBuffer + 1000);
    NarrationFile narration(prompts, 2 * kBuffer + 10);  // a lower size limit
    ASSERT_TRUE(narration.createAt(dir.file("long.wav")));
    appendBuffers(narration, 5);
    EXPECT_EQ(narration.bytesWritten(), std::int64_t(2 * kBuffer));
    EXPECT_FALSE(narration.createAt(dir.file("missing-folder/n.wav")));
    appendBuffers(narration, 1);
    // Each message names the file on its second line, with the system's reason where it gave one.
    const std::string tooLarge = ": " + systemReason(EFBIG);
    EXPECT_EQ(prompts.log,
              (Log{std::string(texts::kNarrationWriteFailed) + "\n" + dir.file("full.wav") + tooLarge,
                   std::string(texts::kNarrationNotCreated) + "\n" + dir.file("headerless.wav") +
                       tooLarge,
                   std::string(texts::kNarrationFull) + "\n" + dir.file("long.wav"),
                   std::string(texts::kNarrationNotCreated) + "\n" +
                       dir.file("missing-folder/n.wav") + ": " + systemReason(ENOENT)}));
}

}  // namespace
}  // namespace vorlix::testing
