#include "video/avi_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "support/avi_probe.h"
#include "support/scratch_dir.h"
#include "video/video_codecs.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;
using testing::decodeAvi;
using testing::readAvi;

constexpr int kW = 64, kH = 48;

// Bottom-up BGR rows of one colour with a marker row at the top of the picture.
std::vector<std::uint8_t> solidRows(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::vector<std::uint8_t> rows(AviWriter::rowStride(kW) * kH);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            std::uint8_t* p = rows.data() + y * AviWriter::rowStride(kW) + x * 3;
            bool top = y == kH - 1;
            p[0] = top ? 0 : b;
            p[1] = top ? 0 : g;
            p[2] = top ? 0 : r;
        }
    }
    return rows;
}

class AviWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.path();
        path = (dir / "out.avi").string();
    }

    // An open writer with the video stream (and the audio stream when asked), header written.
    bool begin(AviWriter& w, const std::string& codec = "rawvideo", bool audio = false) {
        return w.open(path) && w.addVideoStream(kW, kH, 2) && w.makeCompressedStream({codec, 90}) &&
               w.setVideoFormat() && (!audio || w.addAudioStream(AudioFormat{})) && w.start();
    }

    testing::ScratchDir scratch;
    fs::path dir;
    std::string path;
};

TEST_F(AviWriterTest, KeyFramesAtTheirPositionsWithEmptyPositionsBetween) {
    struct Case {
        std::vector<std::int64_t> positions;
        std::size_t entries;
    } cases[] = {
        {{0, 21, 60}, 61},
        {{5, 9}, 10},  // a late first frame still plays at its own time
        {{0}, 1},
        {{0, 1, 2}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.positions.front());
        {
            AviWriter w;
            ASSERT_TRUE(begin(w));
            for (std::int64_t p : c.positions) {
                ASSERT_TRUE(w.writeVideoFrame(p, solidRows(10, 20, 30))) << w.lastError();
            }
            ASSERT_TRUE(w.finish()) << w.lastError();
        }
        testing::AviFile f = readAvi(path);
        ASSERT_TRUE(f.valid);
        ASSERT_EQ(f.streams.size(), 1u);
        EXPECT_EQ(f.streams[0].type, "vids");
        EXPECT_EQ(f.streams[0].scale, 1u);
        EXPECT_EQ(f.streams[0].rate, 2u);
        EXPECT_EQ(f.streams[0].length, c.entries);
        EXPECT_EQ(f.entriesOf(0), c.entries);
        std::vector<std::uint32_t> withData = f.videoPositions(true);
        std::vector<std::uint32_t> expected(c.positions.begin(), c.positions.end());
        EXPECT_EQ(withData, expected);
        for (const testing::IndexEntry& e : f.index) {
            if (e.size > 0) {
                EXPECT_TRUE(e.key());
            }
        }
        testing::Decoded d = decodeAvi(path);
        EXPECT_EQ(d.framePositions, c.positions);
    }
}

TEST_F(AviWriterTest, UncompressedFramesAreBottomUpDibRows) {
    std::vector<std::uint8_t> rows = solidRows(200, 100, 50);
    {
        AviWriter w;
        ASSERT_TRUE(begin(w));
        ASSERT_TRUE(w.writeVideoFrame(0, rows));
        ASSERT_TRUE(w.finish());
    }
    testing::AviFile f = readAvi(path);
    ASSERT_EQ(f.streams.size(), 1u);
    const std::vector<std::uint8_t>& bih = f.streams[0].format;
    ASSERT_GE(bih.size(), 40u);
    EXPECT_EQ(testing::le32(&bih[4]), static_cast<std::uint32_t>(kW));
    EXPECT_EQ(static_cast<std::int32_t>(testing::le32(&bih[8])), kH);  // positive: bottom-up
    EXPECT_EQ(testing::le16(&bih[14]), 24);
    EXPECT_EQ(testing::le32(&bih[16]), 0u);  // BI_RGB
    auto chunks = f.chunks(0);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], rows);
    // And a player shows the marker row at the top.
    testing::Decoded d = decodeAvi(path);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0][0], 0);
    EXPECT_EQ(d.frames[0][kW * 3 * 1], 200);
}

TEST_F(AviWriterTest, PositionsNotAfterThePreviousAreWriteFailures) {
    struct Case {
        std::vector<std::int64_t> good;
        std::int64_t bad;
    } cases[] = {{{0, 21}, 21}, {{0, 21}, 20}, {{}, -1}, {{3}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        AviWriter w;
        ASSERT_TRUE(begin(w));
        for (std::int64_t p : c.good) ASSERT_TRUE(w.writeVideoFrame(p, solidRows(1, 2, 3)));
        EXPECT_FALSE(w.writeVideoFrame(c.bad, solidRows(1, 2, 3)));
        EXPECT_FALSE(w.lastError().empty());
        // The file is still completed with the frames before.
        EXPECT_TRUE(w.finish());
        EXPECT_EQ(readAvi(path).videoPositions(true),
                  std::vector<std::uint32_t>(c.good.begin(), c.good.end()));
    }
}

TEST_F(AviWriterTest, WrongFrameSizeIsRefused) {
    AviWriter w;
    ASSERT_TRUE(begin(w));
    std::vector<std::uint8_t> small(100);
    EXPECT_FALSE(w.writeVideoFrame(0, small));
    EXPECT_TRUE(w.writeVideoFrame(0, solidRows(1, 2, 3)));
    EXPECT_TRUE(w.finish());
}

TEST_F(AviWriterTest, GapsLongerThanTheMuxerAllowsRepeatThePreviousFrame) {
    const std::int64_t last = 2 * AviWriter::kMaxSkippedPositions + 10;
    {
        AviWriter w;
        ASSERT_TRUE(begin(w));
        ASSERT_TRUE(w.writeVideoFrame(0, solidRows(1, 2, 3)));
        ASSERT_TRUE(w.writeVideoFrame(last, solidRows(4, 5, 6))) << w.lastError();
        ASSERT_TRUE(w.finish());
    }
    testing::AviFile f = readAvi(path);
    EXPECT_EQ(f.entriesOf(0), static_cast<std::size_t>(last + 1));
    std::vector<std::uint32_t> withData = f.videoPositions(true);
    ASSERT_EQ(withData.size(), 4u);
    EXPECT_EQ(withData.front(), 0u);
    EXPECT_EQ(withData.back(), static_cast<std::uint32_t>(last));
    auto chunks = f.chunks(0);
    EXPECT_EQ(chunks[1], chunks[0]);  // the repeat is the first slide again
    EXPECT_EQ(chunks[2], chunks[0]);
    EXPECT_EQ(chunks[3], solidRows(4, 5, 6));
    for (std::size_t i = 1; i < withData.size(); ++i) {
        EXPECT_LE(withData[i] - withData[i - 1] - 1,
                  static_cast<std::uint32_t>(AviWriter::kMaxSkippedPositions));
    }
}

TEST_F(AviWriterTest, AudioIsCopiedByteForByteAndInterleaved) {
    std::vector<std::uint8_t> audio(44100 * 3);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i * 7);
    {
        AviWriter w;
        ASSERT_TRUE(begin(w, "rawvideo", true));
        std::int64_t p = 0;
        for (std::int64_t frame : {0, 3, 5}) {
            // audio up to this frame's time first
            for (; p < frame * 22050 && p < static_cast<std::int64_t>(audio.size()); p += 22050) {
                ASSERT_TRUE(w.writeAudio(p, std::span(audio).subspan(p, 22050), 22050));
            }
            ASSERT_TRUE(w.writeVideoFrame(frame, solidRows(9, 9, 9)));
        }
        for (; p < static_cast<std::int64_t>(audio.size()); p += 22050) {
            ASSERT_TRUE(w.writeAudio(p, std::span(audio).subspan(p, 22050), 22050));
        }
        ASSERT_TRUE(w.finish());
    }
    testing::AviFile f = readAvi(path);
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[1].type, "auds");
    EXPECT_EQ(f.streams[1].length, audio.size());
    ASSERT_GE(f.streams[1].format.size(), 16u);
    const std::uint8_t* wf = f.streams[1].format.data();
    EXPECT_EQ(testing::le16(wf), 1);           // PCM
    EXPECT_EQ(testing::le16(wf + 2), 1);       // mono
    EXPECT_EQ(testing::le32(wf + 4), 44100u);  // rate
    EXPECT_EQ(testing::le32(wf + 8), 44100u);  // bytes a second
    EXPECT_EQ(testing::le16(wf + 12), 1);      // block align
    EXPECT_EQ(testing::le16(wf + 14), 8);      // bits
    // In file order, the frame at 3 (1.5 s) comes after the audio of its first 1.5 s.
    std::size_t audioBefore = 0;
    for (const testing::IndexEntry& e : f.index) {
        if (e.stream() == 0 && e.size > 0 && audioBefore > 0) break;
        if (e.stream() == 1) audioBefore += e.size;
    }
    EXPECT_EQ(audioBefore, 3u * 22050);
    testing::Decoded d = decodeAvi(path);
    EXPECT_EQ(d.audio, audio);
    EXPECT_EQ(d.audioRate, 44100);
    EXPECT_EQ(d.audioCodec, AV_CODEC_ID_PCM_U8);
}

TEST_F(AviWriterTest, CallsOutOfOrderFailCleanly) {
    AviWriter w;
    EXPECT_FALSE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.start());
    EXPECT_FALSE(w.writeVideoFrame(0, solidRows(1, 1, 1)));
    EXPECT_FALSE(w.finish());
    EXPECT_FALSE(w.open((dir / "no such folder" / "x.avi").string()));
    ASSERT_TRUE(w.open(path));
    EXPECT_FALSE(w.writeAudio(0, std::vector<std::uint8_t>(4), 4));  // no header yet
    ASSERT_TRUE(w.addVideoStream(kW, kH, 2));
    EXPECT_FALSE(w.makeCompressedStream({"no-such-encoder", 0}));
    EXPECT_FALSE(w.makeCompressedStream({"aac", 0}));  // not a video encoder
    AudioFormat odd;
    odd.bitsPerSample = 12;
    EXPECT_FALSE(w.addAudioStream(odd));
    ASSERT_TRUE(w.setVideoFormat());
    ASSERT_TRUE(w.start());
    EXPECT_FALSE(w.writeAudio(0, std::vector<std::uint8_t>(4), 4));  // no audio stream
    EXPECT_TRUE(w.finish());
}

}  // namespace
}  // namespace vorlix
