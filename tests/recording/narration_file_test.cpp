#include "recording/narration_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "resources/texts.h"
#include "support/lecture_fakes.h"
#include "support/scratch_dir.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vorlix {
namespace {

using testing::FakePrompts;
using testing::readBytes;
using testing::ScratchDir;
using Messages = std::vector<std::string>;

constexpr std::size_t kBuffer = 88200;

// Buffer n of a lecture: a ramp that differs from buffer to buffer, so order and content count.
std::vector<std::uint8_t> captureBuffer(int n) {
    std::vector<std::uint8_t> b(kBuffer);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + n * 31);
    return b;
}

std::uint32_t le32(const std::vector<std::uint8_t>& f, std::size_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}

// What a player sees: FFmpeg's WAV reader must find PCM u8 mono 44100 Hz and every sample.
std::int64_t samplesAPlayerReads(const std::string& path) {
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return -1;
    std::int64_t samples = -1;
    if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->nb_streams == 1) {
        const AVCodecParameters* par = ctx->streams[0]->codecpar;
        if (par->codec_id == AV_CODEC_ID_PCM_U8 && par->sample_rate == 44100 &&
            par->ch_layout.nb_channels == 1) {
            samples = 0;
            AVPacket* pkt = av_packet_alloc();
            while (av_read_frame(ctx, pkt) >= 0) {
                samples += pkt->size;
                av_packet_unref(pkt);
            }
            av_packet_free(&pkt);
        }
    }
    avformat_close_input(&ctx);
    return samples;
}

// The whole file must be the 44-byte header of 8-bit mono 44100 Hz PCM announcing exactly the
// samples that follow it, those samples must be buffers 0 .. count-1 in order (then extraBytes
// of the next), and a player must read them all.
void expectWaveWithBuffers(const std::string& path, int count, std::size_t extraBytes = 0) {
    SCOPED_TRACE(path);
    const auto f = readBytes(path);
    const std::size_t data = kBuffer * count + extraBytes;
    ASSERT_EQ(f.size(), 44 + data);
    static const char kFixed[] =
        "WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x44\xAC\0\0\x01\0\x08\0data";
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 40), std::string(kFixed, 32));
    EXPECT_EQ(le32(f, 4), data + 36);
    EXPECT_EQ(le32(f, 40), data);
    for (int n = 0; n < count; ++n) {
        auto b = captureBuffer(n);
        EXPECT_TRUE(std::equal(b.begin(), b.end(), f.begin() + 44 + kBuffer * n)) << "buffer " << n;
    }
    EXPECT_EQ(samplesAPlayerReads(path), static_cast<std::int64_t>(data));
}

TEST(NarrationFile, FinishedFileHoldsEveryBufferWithBothLengths) {
    for (int buffers : {0, 1, 3}) {
        SCOPED_TRACE(buffers);
        ScratchDir dir;
        FakePrompts prompts;
        NarrationFile narration(prompts);
        ASSERT_TRUE(narration.createAt(dir.file("n.wav")));
        for (int n = 0; n < buffers; ++n) narration.append(captureBuffer(n));
        EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(kBuffer) * buffers);
        narration.finish();
        EXPECT_FALSE(narration.isOpen());
        expectWaveWithBuffers(dir.file("n.wav"), buffers);
        // Buffers the device hands back after the stop, and a second finish, change nothing.
        narration.append(captureBuffer(9));
        narration.finish();
        expectWaveWithBuffers(dir.file("n.wav"), buffers);
        EXPECT_TRUE(prompts.messages.empty());
    }
}

TEST(NarrationFile, FileLeftByAKilledProgramPlaysWithEveryCompletedBuffer) {
    for (int buffers : {0, 3}) {
        ScratchDir dir;
        const std::string path = dir.file("killed.wav");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FakePrompts prompts;
            NarrationFile narration(prompts);
            if (!narration.createAt(path)) ::_exit(2);
            for (int n = 0; n < buffers; ++n) narration.append(captureBuffer(n));
            ::raise(SIGKILL);  // no finish, no destructor, no stream flush
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        expectWaveWithBuffers(path, buffers);
    }
}

TEST(NarrationFile, UncreatableFileIsReportedOnceAndNothingIsWritten) {
    ScratchDir dir;
    FakePrompts prompts;
    NarrationFile narration(prompts);
    const std::string path = dir.file("missing-folder/n.wav");
    EXPECT_FALSE(narration.createAt(path));
    narration.append(captureBuffer(0));
    narration.finish();
    EXPECT_EQ(prompts.messages, Messages{std::string(texts::kNarrationNotCreated)});
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(narration.path().empty());
}

// Lowers the largest file this process may write, so that a write fails part-way as on a full
// disk; restores the limit afterwards.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lower{bytes, saved.rlim_max};
        ok = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    bool ok = false;
    sighandler_t oldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a dead process
};

// A failed write and the size limit both stop the appending with one message; the header then
// claims only what the file holds.
TEST(NarrationFile, StopsAppendingOnAFailedWriteOrAtTheSizeLimit) {
    ScratchDir dir;
    {
        FakePrompts prompts;
        NarrationFile narration(prompts);
        FileSizeLimit limit(44 + kBuffer + 1000);  // room for one buffer and a bit
        ASSERT_TRUE(limit.ok);
        ASSERT_TRUE(narration.createAt(dir.file("full.wav")));
        for (int n = 0; n < 4; ++n) narration.append(captureBuffer(n));
        EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(kBuffer) + 1000);
        EXPECT_TRUE(narration.appendingStopped());
        expectWaveWithBuffers(dir.file("full.wav"), 1, 1000);
        narration.finish();
        EXPECT_EQ(prompts.messages, Messages{std::string(texts::kNarrationWriteFailed)});
    }
    expectWaveWithBuffers(dir.file("full.wav"), 1, 1000);

    FakePrompts prompts;
    NarrationFile narration(prompts, 2 * kBuffer + 10);
    ASSERT_TRUE(narration.createAt(dir.file("long.wav")));
    for (int n = 0; n < 5; ++n) narration.append(captureBuffer(n));
    narration.finish();
    expectWaveWithBuffers(dir.file("long.wav"), 2);
    EXPECT_EQ(prompts.messages, Messages{std::string(texts::kNarrationFull)});
}

TEST(NarrationFile, NameCarriesTimeAndClockThreadIdInTheTempFolder) {
    ScratchDir dir;
    testing::TempFolder temp(dir.path());
    EXPECT_EQ(NarrationFile::makeName(1215500000, 0x9c4),
              dir.file("vx_temp_1215500000_000009c4.wav"));
    FakePrompts prompts;
    NarrationFile narration(prompts);
    ASSERT_TRUE(narration.create(0xdeadbeef));
    const std::filesystem::path path(narration.path());
    EXPECT_EQ(path.parent_path(), dir.path());
    EXPECT_TRUE(path.filename().string().starts_with("vx_temp_")) << path;
    EXPECT_TRUE(path.filename().string().ends_with("_deadbeef.wav")) << path;
}

}  // namespace
}  // namespace vorlix
