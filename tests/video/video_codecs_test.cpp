#include "video/video_codecs.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/scratch_dir.h"
#include "video/avi_writer.h"

namespace vorlix {
namespace {

constexpr int kW = 640, kH = 480;

// Four flat quadrants, as slides mostly are; bottom-up rows.
std::vector<std::uint8_t> quadrants(std::uint8_t shift) {
    static constexpr std::uint8_t kColours[4][3] = {
        {255, 255, 255}, {200, 40, 30}, {30, 160, 60}, {20, 20, 20}};
    const std::size_t stride = AviWriter::rowStride(kW);
    std::vector<std::uint8_t> rows(stride * kH);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const int q = (y >= kH / 2 ? 0 : 2) + (x < kW / 2 ? 0 : 1);
            for (int c = 0; c < 3; ++c) rows[y * stride + x * 3 + c] = kColours[q][c] - shift;
        }
    }
    return rows;
}

// Largest difference of the decoded top-down picture from the bottom-up rows, away from the
// quadrant edges where lossy codecs blur.
int largestDifference(const std::vector<std::uint8_t>& rows, const std::vector<std::uint8_t>& bgr) {
    const std::size_t stride = AviWriter::rowStride(kW);
    int worst = 0;
    for (int top = 0; top < kH; ++top) {
        for (int x = 0; x < kW; ++x) {
            if (std::abs(top - kH / 2) < 8 || std::abs(x - kW / 2) < 8) continue;
            const std::uint8_t* want = rows.data() + (kH - 1 - top) * stride + x * 3;
            const std::uint8_t* got = bgr.data() + (static_cast<std::size_t>(top) * kW + x) * 3;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(want[c] - got[c]));
        }
    }
    return worst;
}

// Writes the frames at positions 0, 7, ... with the codec.
testing::AviFile writeFrames(const std::string& path, const CodecChoice& codec,
                             const std::vector<std::vector<std::uint8_t>>& frames) {
    AviWriter w;
    EXPECT_TRUE(w.open(path) && w.addVideoStream(kW, kH, 2) && w.makeCompressedStream(codec) &&
                w.setVideoFormat() && w.start())
        << w.lastError();
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(w.writeVideoFrame(7 * static_cast<std::int64_t>(i), frames[i]))
            << w.lastError();
    EXPECT_TRUE(w.finish()) << w.lastError();
    return testing::readAvi(path);
}

TEST(VideoCodecs, UncompressedFirstThenTheCompressorsPresent) {
    const std::vector<CodecOption> list = availableVideoCodecs();
    std::vector<std::string> names;
    for (const CodecOption& c : list) {
        names.push_back(c.name);
        if (c.hasQuality) {
            EXPECT_LE(c.qualityMin, c.qualityDefault) << c.name;
            EXPECT_LE(c.qualityDefault, c.qualityMax) << c.name;
        }
    }
    // This machine's FFmpeg has all of them.
    EXPECT_EQ(names, (std::vector<std::string>{"rawvideo", "mjpeg", "mpeg4", "libx264", "ffv1",
                                               "utvideo", "zmbv", "huffyuv", "png"}));
    EXPECT_EQ(list[0].description, texts::kCodecUncompressed);
    EXPECT_FALSE(list[0].hasQuality);
    EXPECT_EQ(findVideoCodec(list, "mjpeg")->description, texts::kCodecMjpeg);
    EXPECT_EQ(findVideoCodec(list, "hevc"), nullptr);
}

TEST(VideoCodecs, EachCodecRoundTripsItsFramesAtTheirPositions) {
    testing::ScratchDir dir;
    const std::vector<std::uint8_t> first = quadrants(0), second = quadrants(15);
    for (const CodecOption& c : availableVideoCodecs()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name + ".avi");
        const testing::AviFile f = writeFrames(path, {c.name, c.qualityDefault}, {first, second});
        EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0, 7}));
        for (const testing::IndexEntry& e : f.index) EXPECT_TRUE(e.size == 0 || e.key());
        const testing::Decoded d = testing::decodeAvi(path);
        ASSERT_EQ(d.frames.size(), 2u);
        EXPECT_EQ(d.width, kW);
        EXPECT_EQ(d.height, kH);
        const int tolerance = c.hasQuality ? 12 : 0;
        EXPECT_LE(largestDifference(first, d.frames[0]), tolerance);
        EXPECT_LE(largestDifference(second, d.frames[1]), tolerance);
    }
}

TEST(VideoCodecs, QualityChangesTheSizeOfLossyFrames) {
    testing::ScratchDir dir;
    // Noise makes the size follow the quality.
    std::vector<std::uint8_t> noise(AviWriter::rowStride(kW) * kH);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : noise)
        b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    for (const char* name : {"mjpeg", "mpeg4", "libx264"}) {
        SCOPED_TRACE(name);
        const auto low = writeFrames(dir.file("low.avi"), {name, 10}, {noise}).chunks(0);
        const auto high = writeFrames(dir.file("high.avi"), {name, 100}, {noise}).chunks(0);
        ASSERT_EQ(low.size(), 1u);
        ASSERT_EQ(high.size(), 1u);
        EXPECT_LT(low[0].size() * 2, high[0].size());
    }
}

}  // namespace
}  // namespace vorlix
