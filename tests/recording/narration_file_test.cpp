#include "recording/narration_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "resources/texts.h"
#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix::testing {
namespace {

constexpr std::size_t kBuffer = 88200;

Bytes captureBuffer(int n) {
    return noise(kBuffer, 1000u + static_cast<std::uint32_t>(n));
}

// The file holds buffers 0 .. count-1 and extraBytes of the next, both lengths say so, and a
// player (FFmpeg's WAV reader) finds 8-bit mono 44100 Hz PCM and every sample.
void expectWaveWithBuffers(const std::string& path, int count, std::size_t extraBytes = 0) {
    SCOPED_TRACE(path);
    const Bytes f = readBytes(path);
    const std::size_t data = kBuffer * count + extraBytes;
    ASSERT_EQ(f.size(), 44 + data);
    EXPECT_EQ(le32(f, 4), data + 36);
    EXPECT_EQ(le32(f, 40), data);
    Bytes want;
    for (int n = 0; n <= count; ++n) {
        const Bytes b = captureBuffer(n);
        want.insert(want.end(), b.begin(), b.begin() + (n < count ? kBuffer : extraBytes));
    }
    AVFormatContext* ctx = nullptr;
    ASSERT_GE(avformat_open_input(&ctx, path.c_str(), nullptr, nullptr), 0);
    const AVCodecParameters* par = ctx->streams[0]->codecpar;
    EXPECT_EQ(par->codec_id, AV_CODEC_ID_PCM_U8);
    EXPECT_EQ(par->sample_rate, 44100);
    EXPECT_EQ(par->ch_layout.nb_channels, 1);
    Bytes read;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(ctx, pkt) >= 0) {
        read.insert(read.end(), pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&ctx);
    EXPECT_TRUE(read == want);
}

TEST(NarrationFile, HoldsEveryBufferAfterFinishAndAfterAKill) {
    for (const bool killed : {false, true}) {
        for (int buffers : {0, 3}) {
            SCOPED_TRACE(killed ? "killed" : "finished");
            ScratchDir dir;
            const std::string path = dir.file("n.wav");
            auto record = [&](NarrationFile& narration) {
                if (!narration.createAt(path)) return false;
                for (int n = 0; n < buffers; ++n) narration.append(captureBuffer(n));
                return true;
            };
            FakePrompts prompts;
            NarrationFile narration(prompts);
            if (killed) {
                const pid_t child = ::fork();
                if (child == 0) {
                    if (record(narration)) ::raise(SIGKILL);  // no finish, no flush
                    ::_exit(2);
                }
                ASSERT_EQ(::waitpid(child, nullptr, 0), child);
            } else {
                ASSERT_TRUE(record(narration));
                narration.finish();
                narration.append(captureBuffer(9));  // handed back after the stop: not written
                narration.finish();
                EXPECT_TRUE(prompts.log.empty());
            }
            expectWaveWithBuffers(path, buffers);
        }
    }
}

// Lowers the largest file this process may write, so that a write fails part-way as on a full
// disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lower{bytes, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    sighandler_t oldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
};

// A failed write and the size limit stop the appending with one message; the header then
// claims only what the file holds. A file that cannot be created is told once.
TEST(NarrationFile, FailuresAreToldOnceAndTheHeaderStaysTrue) {
    ScratchDir dir;
    {
        FakePrompts prompts;
        NarrationFile narration(prompts);
        FileSizeLimit limit(44 + kBuffer + 1000);  // room for one buffer and a bit
        ASSERT_TRUE(narration.createAt(dir.file("full.wav")));
        for (int n = 0; n < 4; ++n) narration.append(captureBuffer(n));
        EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(kBuffer) + 1000);
        narration.finish();
        EXPECT_EQ(prompts.log, Log{std::string(texts::kNarrationWriteFailed)});
    }
    expectWaveWithBuffers(dir.file("full.wav"), 1, 1000);

    FakePrompts prompts;
    NarrationFile narration(prompts, 2 * kBuffer + 10);
    ASSERT_TRUE(narration.createAt(dir.file("long.wav")));
    for (int n = 0; n < 5; ++n) narration.append(captureBuffer(n));
    narration.finish();
    expectWaveWithBuffers(dir.file("long.wav"), 2);
    EXPECT_FALSE(narration.createAt(dir.file("missing-folder/n.wav")));
    narration.append(captureBuffer(0));
    EXPECT_EQ(prompts.log, (Log{std::string(texts::kNarrationFull),
                                std::string(texts::kNarrationNotCreated)}));
}

TEST(NarrationFile, NamedByTimeAndClockThreadInTheTempFolder) {
    ScratchDir dir;
    TempFolder temp(dir.path());
    EXPECT_EQ(NarrationFile::makeName(1215500000, 0x9c4),
              dir.file("vx_temp_1215500000_000009c4.wav"));
    FakePrompts prompts;
    NarrationFile narration(prompts);
    ASSERT_TRUE(narration.create(0xdeadbeef));
    EXPECT_EQ(std::filesystem::path(narration.path()).parent_path(), dir.path());
    EXPECT_TRUE(narration.path().ends_with("_deadbeef.wav")) << narration.path();
}

}  // namespace
}  // namespace vorlix::testing
