#include "video/video_codecs.h"

#include <gtest/gtest.h>

#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "video/avi_writer.h"

namespace vorlix {
namespace {

constexpr int kW = 640, kH = 480;

// Four flat quadrants, as slides mostly are; bottom-up rows.
testing::Bytes quadrants(std::uint8_t shift) {
    static constexpr std::uint8_t kColours[4][3] = {{255, 255, 255}, {200, 40, 30}, {30, 160, 60}, {20, 20, 20}};
    const std::size_t stride = AviWriter::rowStride(kW);
    testing::Bytes rows(stride * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c)
                rows[y * stride + x * 3 + c] = kColours[(y >= kH / 2 ? 0 : 2) + (x < kW / 2 ? 0 : 1)][c] - shift;
    return rows;
}

// Largest difference of a decoded picture from the rows, away from the quadrant edges where
// lossy codecs blur.
int largestDifference(const testing::Bytes& rows, const testing::AviRead& f, std::size_t frame) {
    int worst = 0;
    for (int top = 0; top < kH; ++top) {
        for (int x = 0; x < kW; ++x) {
            if (std::abs(top - kH / 2) < 8 || std::abs(x - kW / 2) < 8) continue;
            const std::uint8_t* want = rows.data() + (kH - 1 - top) * AviWriter::rowStride(kW) + x * 3;
            const std::uint32_t got = f.pixel(frame, x, top);
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(want[c] - int(got >> (8 * c) & 0xFF)));
        }
    }
    return worst;
}

// Writes the frames at positions 0, 7, ... with the codec.
testing::AviRead writeFrames(const std::string& path, const CodecChoice& codec,
                             const std::vector<testing::Bytes>& frames) {
    AviWriter w;
    EXPECT_TRUE(w.open(path) && w.addVideoStream(kW, kH, 2) && w.makeCompressedStream(codec) &&
                w.setVideoFormat() && w.start())
        << w.lastError();
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(w.writeVideoFrame(7 * static_cast<std::int64_t>(i), frames[i])) << w.lastError();
    EXPECT_TRUE(w.finish()) << w.lastError();
    return testing::readAvi(path);
}

// Every encoder offered (uncompressed first) writes key frames at their positions that decode
// to the picture: exactly where lossless, closely where not.
TEST(VideoCodecs, EachCodecRoundTripsItsFramesAtTheirPositions) {
    testing::ScratchDir dir;
    const testing::Bytes first = quadrants(0), second = quadrants(15);
    const std::vector<CodecOption> codecs = availableVideoCodecs();
    ASSERT_GE(codecs.size(), 5u);
    EXPECT_EQ(codecs[0].name, kUncompressedCodec);
    for (const CodecOption& c : codecs) {
        SCOPED_TRACE(c.name);
        const auto f = writeFrames(dir.file(c.name + ".avi"), {c.name, c.qualityDefault}, {first, second});
        EXPECT_EQ(f.positions(), (std::vector<std::int64_t>{0, 7}));
        for (const auto& p : f.packets) EXPECT_TRUE(p.key);
        ASSERT_EQ(f.frames.size(), 2u);
        EXPECT_EQ(std::pair(f.width, f.height), std::pair(kW, kH));
        EXPECT_EQ(f.aspect.num, f.aspect.den) << "square pixels";
        EXPECT_LE(largestDifference(first, f, 0), c.hasQuality ? 12 : 0);
        EXPECT_LE(largestDifference(second, f, 1), c.hasQuality ? 12 : 0);
    }
}

TEST(VideoCodecs, QualityChangesTheSizeOfLossyFrames) {
    testing::ScratchDir dir;
    const testing::Bytes noise = testing::noise(AviWriter::rowStride(kW) * kH, 12345);  // size follows quality
    for (const char* name : {"mjpeg", "mpeg4", "libx264"}) {
        SCOPED_TRACE(name);
        const auto low = writeFrames(dir.file("low.avi"), {name, 10}, {noise});
        const auto high = writeFrames(dir.file("high.avi"), {name, 100}, {noise});
        ASSERT_EQ(low.packets.size(), 1u);
        ASSERT_EQ(high.packets.size(), 1u);
        EXPECT_LT(low.packets[0].data.size() * 2, high.packets[0].data.size());
    }
}

}  // namespace
}  // namespace vorlix
