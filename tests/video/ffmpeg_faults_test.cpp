// An FFmpeg built without a coder, or memory running out inside FFmpeg: this program is linked
// with three FFmpeg calls wrapped (tests/CMakeLists.txt) so that a test can make them fail. Each
// failure is told in the user's words, never crashed on nor passed over.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "resources/texts.h"
#include "tests/support/files.h"
#include "video/avi_writer.h"
#include "video/frame_renderer.h"
#include "video/web_audio.h"

namespace {
std::atomic<int> packetsBeforeFailure{-1};  // below 0: none fails
std::atomic<bool> noCoders{false};
}  // namespace

extern "C" {
AVPacket* __real_av_packet_alloc();
const AVCodec* __real_avcodec_find_decoder(AVCodecID id);
const AVCodec* __real_avcodec_find_encoder(AVCodecID id);
AVPacket* __wrap_av_packet_alloc() {
    return packetsBeforeFailure.fetch_sub(1) == 0 ? nullptr : __real_av_packet_alloc();
}
const AVCodec* __wrap_avcodec_find_decoder(AVCodecID id) { return noCoders ? nullptr : __real_avcodec_find_decoder(id); }
const AVCodec* __wrap_avcodec_find_encoder(AVCodecID id) { return noCoders ? nullptr : __real_avcodec_find_encoder(id); }
}

namespace vorlix {
namespace {

TEST(FfmpegFaults, AMissingCoderOrMemoryIsTold) {
    testing::ScratchDir dir;
    const std::string png = dir.file("s.png"), wav = dir.file("n.wav");
    QImage red(32, 24, QImage::Format_RGB888);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(png)));
    testing::writeNarration(wav, testing::noise(44100));
    FrameCanvas canvas(16, 12);
    std::string problem;
    WebAudioEncoder audio;
    noCoders = true;
    EXPECT_FALSE(drawSlideFrame(canvas, png, kPlaceStretch, &problem));
    EXPECT_EQ(problem, texts::kSlideUnknownFormat);
    EXPECT_FALSE(audio.prepare(wav, 1));
    EXPECT_EQ(audio.error(), "no AAC encoder");
    noCoders = false;
    packetsBeforeFailure = 0;  // the decoder's packet
    EXPECT_FALSE(drawSlideFrame(canvas, png, kPlaceStretch, &problem));
    EXPECT_EQ(problem, texts::kSlideTooLarge);
    packetsBeforeFailure = 1;  // the writer's second packet
    AviWriter writer;
    EXPECT_FALSE(writer.open(dir.file("a.avi")));
    EXPECT_EQ(writer.lastError(), "out of memory");
    EXPECT_TRUE(drawSlideFrame(canvas, png, kPlaceStretch, &problem)) << problem;  // all well again
}

}  // namespace
}  // namespace vorlix
