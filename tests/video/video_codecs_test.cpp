#include "video/video_codecs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "resources/texts.h"
#include "support/avi_probe.h"
#include "support/scratch_dir.h"
#include "video/avi_writer.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 640, kH = 480;

// Four flat quadrants, as slides mostly are; bottom-up rows.
std::vector<std::uint8_t> quadrants(std::uint8_t shift) {
    const std::size_t stride = AviWriter::rowStride(kW);
    std::vector<std::uint8_t> rows(stride * kH);
    for (int y = 0; y < kH; ++y) {
        int top = kH - 1 - y;  // picture row
        for (int x = 0; x < kW; ++x) {
            std::uint8_t* p = rows.data() + y * stride + x * 3;
            int q = (top < kH / 2 ? 0 : 2) + (x < kW / 2 ? 0 : 1);
            static constexpr std::uint8_t kColours[4][3] = {
                {255, 255, 255}, {200, 40, 30}, {30, 160, 60}, {20, 20, 20}};
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(kColours[q][c] - shift);
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
        if (std::abs(top - kH / 2) < 8) continue;
        for (int x = 0; x < kW; ++x) {
            if (std::abs(x - kW / 2) < 8) continue;
            const std::uint8_t* want = rows.data() + (kH - 1 - top) * stride + x * 3;
            const std::uint8_t* got = bgr.data() + (static_cast<std::size_t>(top) * kW + x) * 3;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(want[c] - got[c]));
        }
    }
    return worst;
}

TEST(VideoCodecs, UncompressedFirstThenTheCompressorsPresent) {
    std::vector<CodecOption> list = availableVideoCodecs();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].name, kUncompressedCodec);
    EXPECT_EQ(list[0].description, texts::kCodecUncompressed);
    EXPECT_FALSE(list[0].hasQuality);
    // This machine's FFmpeg has all of them.
    std::vector<std::string> names;
    for (const CodecOption& c : list) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"rawvideo", "mjpeg", "mpeg4", "libx264", "ffv1",
                                               "utvideo", "zmbv", "huffyuv", "png"}));
    for (const CodecOption& c : list) {
        if (!c.hasQuality) continue;
        EXPECT_LT(c.qualityMin, c.qualityMax) << c.name;
        EXPECT_GE(c.qualityDefault, c.qualityMin) << c.name;
        EXPECT_LE(c.qualityDefault, c.qualityMax) << c.name;
    }
    EXPECT_EQ(findVideoCodec(list, "mjpeg")->description, texts::kCodecMjpeg);
    EXPECT_EQ(findVideoCodec(list, "hevc"), nullptr);
}

TEST(VideoCodecs, EachCodecRoundTripsItsFramesAtTheirPositions) {
    testing::ScratchDir scratch;
    const fs::path& dir = scratch.path();
    for (const CodecOption& c : availableVideoCodecs()) {
        SCOPED_TRACE(c.name);
        std::string path = (dir / (c.name + ".avi")).string();
        std::vector<std::uint8_t> first = quadrants(0), second = quadrants(15);
        {
            AviWriter w;
            ASSERT_TRUE(w.open(path));
            ASSERT_TRUE(w.addVideoStream(kW, kH, 2));
            ASSERT_TRUE(w.makeCompressedStream({c.name, c.qualityDefault})) << w.lastError();
            ASSERT_TRUE(w.setVideoFormat()) << w.lastError();
            ASSERT_TRUE(w.start()) << w.lastError();
            ASSERT_TRUE(w.writeVideoFrame(0, first)) << w.lastError();
            ASSERT_TRUE(w.writeVideoFrame(7, second)) << w.lastError();
            ASSERT_TRUE(w.finish()) << w.lastError();
        }
        testing::AviFile f = testing::readAvi(path);
        EXPECT_EQ(f.videoPositions(true), (std::vector<std::uint32_t>{0, 7}));
        for (const testing::IndexEntry& e : f.index) {
            if (e.size > 0) {
                EXPECT_TRUE(e.key());
            }
        }
        testing::Decoded d = testing::decodeAvi(path);
        ASSERT_EQ(d.frames.size(), 2u);
        EXPECT_EQ(d.width, kW);
        EXPECT_EQ(d.height, kH);
        bool lossy = c.hasQuality;
        int tolerance = lossy ? 12 : 0;
        EXPECT_LE(largestDifference(first, d.frames[0]), tolerance);
        EXPECT_LE(largestDifference(second, d.frames[1]), tolerance);
    }
}

TEST(VideoCodecs, QualityChangesTheSizeOfLossyFrames) {
    testing::ScratchDir scratch;
    const fs::path& dir = scratch.path();
    // Noise makes the size follow the quality.
    std::vector<std::uint8_t> rows(AviWriter::rowStride(kW) * kH);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : rows) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    for (const char* name : {"mjpeg", "mpeg4", "libx264"}) {
        SCOPED_TRACE(name);
        std::size_t sizes[2] = {};
        int qualities[2] = {10, 100};
        for (int i = 0; i < 2; ++i) {
            std::string path = (dir / "q.avi").string();
            AviWriter w;
            ASSERT_TRUE(w.open(path));
            ASSERT_TRUE(w.addVideoStream(kW, kH, 2));
            ASSERT_TRUE(w.makeCompressedStream({name, qualities[i]}));
            ASSERT_TRUE(w.setVideoFormat());
            ASSERT_TRUE(w.start());
            ASSERT_TRUE(w.writeVideoFrame(0, rows));
            ASSERT_TRUE(w.finish());
            auto chunks = testing::readAvi(path).chunks(0);
            ASSERT_EQ(chunks.size(), 1u);
            sizes[i] = chunks[0].size();
        }
        EXPECT_LT(sizes[0] * 2, sizes[1]);
    }
}

}  // namespace
}  // namespace vorlix
