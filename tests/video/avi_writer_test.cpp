#include "video/avi_writer.h"

#include <gtest/gtest.h>

#include "support/avi_probe.h"
#include "support/scratch_dir.h"

namespace vorlix {
namespace {

using testing::readAvi;

constexpr int kW = 64, kH = 48;

// Bottom-up BGR rows of one grey with a black marker row at the top of the picture.
std::vector<std::uint8_t> solidRows(std::uint8_t grey) {
    const std::size_t stride = AviWriter::rowStride(kW);
    std::vector<std::uint8_t> rows(stride * kH, grey);
    std::fill(rows.end() - static_cast<std::ptrdiff_t>(stride), rows.end(), 0);
    return rows;
}

class AviWriterTest : public ::testing::Test {
  protected:
    // An open writer with the video stream, header written.
    bool begin(AviWriter& w) {
        return w.open(path) && w.addVideoStream(kW, kH, 2) &&
               w.makeCompressedStream({"rawvideo", 90}) && w.setVideoFormat() && w.start();
    }
    testing::ScratchDir scratch;
    std::string path = scratch.file("out.avi");
};

TEST_F(AviWriterTest, KeyFramesAtTheirPositionsWithEmptyPositionsBetween) {
    const std::int64_t gap = 2 * AviWriter::kMaxSkippedPositions + 10;
    struct Case {
        std::vector<std::int64_t> written, stored;  // stored: positions holding data
    } cases[] = {
        {{5, 9}, {5, 9}},  // a late first frame still plays at its own time
        {{0, 1, 2}, {0, 1, 2}},
        // Gaps longer than the muxer allows repeat the previous frame.
        {{0, gap},
         {0, AviWriter::kMaxSkippedPositions + 1, 2 * AviWriter::kMaxSkippedPositions + 2, gap}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.back());
        {
            AviWriter w;
            ASSERT_TRUE(begin(w));
            for (std::size_t i = 0; i < c.written.size(); ++i)
                ASSERT_TRUE(w.writeVideoFrame(c.written[i], solidRows(10 + i))) << w.lastError();
            ASSERT_TRUE(w.finish()) << w.lastError();
        }
        const testing::AviFile f = readAvi(path);
        ASSERT_EQ(f.streams.size(), 1u);
        EXPECT_EQ(f.streams[0].rate, 2u);
        EXPECT_EQ(f.streams[0].length, c.written.back() + 1);
        EXPECT_EQ(f.videoPositions(false).size() + c.stored.size(), c.written.back() + 1);
        EXPECT_EQ(f.videoPositions(true),
                  std::vector<std::uint32_t>(c.stored.begin(), c.stored.end()));
        for (const testing::IndexEntry& e : f.index) EXPECT_TRUE(e.size == 0 || e.key());
        // Uncompressed frames are the rows as given; a repeat is the previous frame again.
        const auto chunks = f.chunks(0);
        ASSERT_EQ(chunks.size(), c.stored.size());
        EXPECT_EQ(chunks.front(), solidRows(10));
        EXPECT_EQ(chunks.back(), solidRows(10 + c.written.size() - 1));
        if (c.stored.size() > c.written.size()) {
            EXPECT_EQ(chunks[1], chunks[0]);
        }
        // A player shows them at their positions, the marker row on top.
        const testing::Decoded d = testing::decodeAvi(path);
        EXPECT_EQ(d.framePositions, c.stored);
        ASSERT_FALSE(d.frames.empty());
        EXPECT_EQ(d.frames[0][0], 0);
        EXPECT_EQ(d.frames[0][kW * 3], 10);
    }
}

TEST_F(AviWriterTest, MisuseFailsCleanlyAndLeavesACompleteFile) {
    struct Case {
        std::vector<std::int64_t> good;
        std::int64_t bad;
        std::size_t badSize;
    } cases[] = {{{0, 21}, 21, 0}, {{0, 21}, 20, 0}, {{}, -1, 0}, {{3}, 0, 0}, {{}, 0, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        AviWriter w;
        ASSERT_TRUE(begin(w));
        for (std::int64_t p : c.good) ASSERT_TRUE(w.writeVideoFrame(p, solidRows(1)));
        auto rows = solidRows(2);
        if (c.badSize) rows.resize(c.badSize);
        EXPECT_FALSE(w.writeVideoFrame(c.bad, rows));
        EXPECT_FALSE(w.lastError().empty());
        EXPECT_TRUE(w.finish());
        EXPECT_EQ(readAvi(path).videoPositions(true),
                  std::vector<std::uint32_t>(c.good.begin(), c.good.end()));
    }
}

TEST_F(AviWriterTest, CallsOutOfOrderFailCleanly) {
    AviWriter w;
    EXPECT_FALSE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.start());
    EXPECT_FALSE(w.writeVideoFrame(0, solidRows(1)));
    EXPECT_FALSE(w.finish());
    EXPECT_FALSE(w.open(scratch.file("no such folder/x.avi")));
    ASSERT_TRUE(w.open(path));
    EXPECT_FALSE(w.writeAudio(0, std::vector<std::uint8_t>(4), 4));  // no header yet
    ASSERT_TRUE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.makeCompressedStream({"no-such-encoder", 0}));
    EXPECT_FALSE(w.makeCompressedStream({"aac", 0}));  // not a video encoder
    EXPECT_FALSE(w.addAudioStream(AudioFormat{.bitsPerSample = 12}));
    ASSERT_TRUE(w.setVideoFormat());
    ASSERT_TRUE(w.start());
    EXPECT_FALSE(w.writeAudio(0, std::vector<std::uint8_t>(4), 4));  // no audio stream
    EXPECT_TRUE(w.finish());
}

}  // namespace
}  // namespace vorlix
