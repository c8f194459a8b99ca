#include "video/avi_writer.h"

#include <gtest/gtest.h>

#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using Positions = std::vector<std::int64_t>;
constexpr int kW = 64, kH = 48;

// Bottom-up BGR rows of one grey with a black marker row at the top of the picture.
testing::Bytes solidRows(std::uint8_t grey) {
    const std::size_t stride = AviWriter::rowStride(kW);
    testing::Bytes rows(stride * kH, grey);
    std::fill(rows.end() - static_cast<std::ptrdiff_t>(stride), rows.end(), 0);
    return rows;
}

class AviWriterTest : public ::testing::Test {
  protected:
    bool begin(AviWriter& w, const std::string& at) {  // open, video stream, header written
        return w.open(at) && w.addVideoStream(kW, kH, 2) && w.makeCompressedStream({"rawvideo", 90}) &&
               w.setVideoFormat() && w.start();
    }
    testing::ScratchDir scratch;
    std::string path = scratch.file("out.avi");
};

TEST_F(AviWriterTest, KeyFramesAtTheirPositionsWithEmptyPositionsBetween) {
    const std::int64_t skip = AviWriter::kMaxSkippedPositions, gap = 2 * skip + 10;
    struct Case {
        Positions written, stored;  // stored: positions holding data
    } cases[] = {
        {{1, 9}, {1, 9}},  // a late first frame still plays at its own time
        {{0, 1, 2}, {0, 1, 2}},
        {{0, gap}, {0, skip + 1, 2 * skip + 2, gap}},  // longer gaps repeat the previous frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.back());
        {
            AviWriter w;
            ASSERT_TRUE(begin(w, path));
            for (std::size_t i = 0; i < c.written.size(); ++i)
                ASSERT_TRUE(w.writeVideoFrame(c.written[i], solidRows(10 + i))) << w.lastError();
            ASSERT_TRUE(w.finish()) << w.lastError();
        }
        const testing::AviRead f = testing::readAvi(path);
        ASSERT_EQ(f.streams.size(), 1u);
        EXPECT_EQ(f.streams[0].length, c.written.back() + 1);
        EXPECT_EQ(f.positions(), c.stored);
        // Uncompressed frames are the rows as given, each a key frame; a repeat is the previous
        // frame again; a player shows the marker row on top.
        for (const auto& p : f.packets) EXPECT_TRUE(p.key);
        EXPECT_EQ(f.packets.front().data, solidRows(10));
        EXPECT_EQ(f.packets.back().data, solidRows(10 + c.written.size() - 1));
        if (c.stored.size() > c.written.size()) EXPECT_EQ(f.packets[1].data, f.packets[0].data);
        ASSERT_EQ(f.frames.size(), c.stored.size());
        EXPECT_EQ(f.pixel(0, 0, 0), 0u);
        EXPECT_EQ(f.pixel(0, 0, 1), 0x0A0A0Au);
    }
}

// A refused frame fails that write only; the file is finished with the frames before it. A
// write the disk refuses is a failure too.
TEST_F(AviWriterTest, MisuseAndFullDisksFailCleanly) {
    struct Case {
        Positions good;
        std::int64_t bad;
        std::size_t badSize;  // 0: the right size
    } cases[] = {{{0, 21}, 21, 0}, {{0, 21}, 20, 0}, {{}, -1, 0}, {{3}, 0, 0}, {{}, 0, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        AviWriter w;
        ASSERT_TRUE(begin(w, path));
        for (std::int64_t p : c.good) ASSERT_TRUE(w.writeVideoFrame(p, solidRows(1)));
        auto rows = solidRows(2);
        if (c.badSize) rows.resize(c.badSize);
        EXPECT_FALSE(w.writeVideoFrame(c.bad, rows));
        EXPECT_FALSE(w.lastError().empty());
        EXPECT_TRUE(w.finish());
        EXPECT_EQ(testing::readAvi(path).positions(), c.good);
    }
    AviWriter full;
    ASSERT_TRUE(begin(full, "/dev/full"));
    bool written = true;
    for (int p = 0; p < 8 && written; ++p) written = full.writeVideoFrame(p, solidRows(3));
    EXPECT_FALSE(written && full.finish());
}

TEST_F(AviWriterTest, CallsOutOfOrderFailCleanly) {
    AviWriter w;
    EXPECT_FALSE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.start());
    EXPECT_FALSE(w.writeVideoFrame(0, solidRows(1)));
    EXPECT_FALSE(w.finish());
    EXPECT_FALSE(w.open(scratch.file("no such folder/x.avi")));
    ASSERT_TRUE(w.open(path));
    EXPECT_FALSE(w.writeAudio(0, testing::Bytes(4), 4));  // no header yet
    ASSERT_TRUE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.makeCompressedStream({"no-such-encoder", 0}));
    EXPECT_FALSE(w.makeCompressedStream({"aac", 0}));  // not a video encoder
    EXPECT_FALSE(w.addAudioStream(AudioFormat{.bitsPerSample = 12}));
    ASSERT_TRUE(w.setVideoFormat());
    ASSERT_TRUE(w.start());
    EXPECT_FALSE(w.writeAudio(0, testing::Bytes(4), 4));  // no audio stream
    EXPECT_TRUE(w.finish());
}

}  // namespace
}  // namespace vorlix
