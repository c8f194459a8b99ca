#include "video/avi_writer.h"

#include <gtest/gtest.h>

#include "tests/support/avi_read.h"
#include "tests/support/files.h"
#include "video/video_codecs.h"

namespace vorlix {
namespace {

using Positions = std::vector<std::int64_t>;

// Bottom-up rows of w x h: four flat quadrants shifted by `shift`, as slides mostly are, with a
// black marker row at the top of the picture.
testing::Bytes quadrants(int w, int h, std::uint8_t shift) {
    static constexpr std::uint8_t kColours[4][3] = {
        {255, 255, 255}, {200, 40, 30}, {30, 160, 60}, {20, 20, 20}};
    const std::size_t stride = AviWriter::rowStride(w);
    testing::Bytes rows(stride * h);
    for (int y = 0; y < h - 1; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rows[y * stride + x * 3 + c] =
                    kColours[(y >= h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)][c] - shift;
    return rows;
}

// Writes frames at the positions with the codec; false at the first refusal.
bool writeFrames(const std::string& path, const CodecChoice& codec, const Positions& at,
                 const std::vector<testing::Bytes>& frames, int w = 64, int h = 48) {
    AviWriter writer;
    bool ok = writer.open(path) && writer.addVideoStream(w, h, 2) &&
              writer.makeCompressedStream(codec) && writer.setVideoFormat() && writer.start();
    for (std::size_t i = 0; ok && i < at.size(); ++i)
        ok = writer.writeVideoFrame(at[i], frames[i % frames.size()]);
    return writer.finish() && ok;
}

TEST(AviWriter, KeyFramesAtTheirPositionsWithEmptyPositionsBetween) {
    const std::int64_t skip = AviWriter::kMaxSkippedPositions, gap = 2 * skip + 10;
    const std::pair<Positions, Positions> cases[] = {
        // written, stored with data
        {{1, 9}, {1, 9}},  // a late first frame still plays at its own time
        {{0, 1, 2}, {0, 1, 2}},
        {{0, gap}, {0, skip + 1, 2 * skip + 2, gap}},  // longer gaps repeat the previous frame
    };
    testing::ScratchDir dir;
    for (const auto& [written, stored] : cases) {
        ASSERT_TRUE(writeFrames(dir.file("a.avi"), {"rawvideo", 0}, written,
                                {quadrants(64, 48, 0), quadrants(64, 48, 9)}));
        const testing::AviRead f = testing::readAvi(dir.file("a.avi"));
        EXPECT_EQ(f.streams.at(0).length, written.back() + 1);
        EXPECT_EQ(f.positions(), stored);
        // The rows as given, each a key frame; a repeat is the previous frame again; a player
        // shows the marker row on top.
        for (const auto& p : f.packets) EXPECT_TRUE(p.key);
        EXPECT_EQ(f.packets.front().data, quadrants(64, 48, 0));
        EXPECT_EQ(f.packets.back().data, quadrants(64, 48, written.size() % 2 ? 0 : 9));
        EXPECT_EQ(f.packets[1].data,
                  stored.size() > written.size() ? f.packets[0].data : quadrants(64, 48, 9));
        ASSERT_EQ(f.frames.size(), stored.size());
        EXPECT_EQ(std::pair(f.pixel(0, 0, 0), f.pixel(0, 0, 1)), std::pair(0u, 0xFFFFFFu));
    }
}

// A refused frame fails that write only; the file is finished with the frames before it. A write
// the disk refuses fails too.
TEST(AviWriter, MisuseAndFullDisksFailCleanly) {
    testing::ScratchDir dir;
    const std::string path = dir.file("a.avi");
    const testing::Bytes rows = quadrants(64, 48, 0);
    for (const Positions& written : {Positions{0, 21, 21}, {0, 21, 20}, {-1}, {3, 0}}) {
        EXPECT_FALSE(writeFrames(path, {"rawvideo", 0}, written, {rows}));
        EXPECT_EQ(testing::readAvi(path).positions(),
                  Positions(written.begin(), written.end() - 1));
    }
    EXPECT_FALSE(writeFrames(path, {"rawvideo", 0}, {0}, {testing::Bytes(100)}));
    EXPECT_FALSE(writeFrames("/dev/full", {"rawvideo", 0}, {0, 1, 2, 3, 4, 5, 6, 7}, {rows}));
    EXPECT_FALSE(writeFrames(path, {"aac", 0}, {0}, {rows}));  // not a video encoder
    AviWriter full;  // the disk's refusal is told at the frame that met it
    ASSERT_TRUE(full.open("/dev/full") && full.addVideoStream(64, 48, 2) &&
                full.makeCompressedStream({"rawvideo", 0}) && full.setVideoFormat() && full.start());
    int written = 0;
    while (written < 40 && full.writeVideoFrame(written, rows)) ++written;
    EXPECT_LT(written, 40);
    AviWriter twice;  // one video stream only, of a real rate; sound only before the header
    EXPECT_FALSE(twice.addAudioStream(AudioFormat{}));  // no file yet
    EXPECT_TRUE(twice.open(path) && twice.addVideoStream(64, 48, 2));
    EXPECT_FALSE(twice.addVideoStream(64, 48, 2));
    AviWriter still;
    EXPECT_TRUE(still.open(path) && !still.addVideoStream(64, 48, 0) && !still.addVideoStream(0, 48, 2) &&
                still.addVideoStream(64, 48, 2) && still.makeCompressedStream({"rawvideo", 0}) &&
                still.setVideoFormat() && still.start());
    EXPECT_FALSE(still.addAudioStream(AudioFormat{}) || still.setVideoFormat());  // nor a new format
    AviWriter nowhere;  // the reason names the file
    EXPECT_FALSE(nowhere.open(dir.file("no/such/folder/a.avi")));
    EXPECT_NE(nowhere.lastError().find("no/such/folder/a.avi"), std::string::npos) << nowhere.lastError();
}

// Every encoder offered (uncompressed first) writes key frames at their positions that decode to
// the picture with square pixels: exactly where lossless, closely (away from the quadrants'
// edges) where not.
TEST(AviWriter, EachCodecRoundTripsItsFrames) {
    testing::ScratchDir dir;
    const std::vector<testing::Bytes> frames = {quadrants(640, 480, 0), quadrants(640, 480, 15)};
    const std::vector<CodecOption> codecs = availableVideoCodecs();
    EXPECT_EQ(codecs[0].name, kUncompressedCodec);
    for (const CodecOption& c : codecs) {
        ASSERT_TRUE(
            writeFrames(dir.file("c.avi"), {c.name, c.qualityDefault}, {0, 7}, frames, 640, 480))
            << c.name;
        const testing::AviRead f = testing::readAvi(dir.file("c.avi"));
        EXPECT_EQ(f.positions(), (Positions{0, 7})) << c.name;
        for (const auto& p : f.packets) EXPECT_TRUE(p.key) << c.name;
        ASSERT_EQ(f.frames.size(), 2u) << c.name;
        EXPECT_EQ(std::pair(f.width, f.height), std::pair(640, 480)) << c.name;
        EXPECT_TRUE(f.aspect.num == f.aspect.den || f.aspect.num == 0) << c.name;  // square pixels
        int worst = 0;
        for (int i = 0; i < 2; ++i)
            for (int y = 10; y < 470; y += 3)
                for (int x = 10; x < 630; x += 3) {
                    if (std::abs(y - 240) < 8 || std::abs(x - 320) < 8) continue;
                    const std::uint8_t* want =
                        frames[i].data() + (479 - y) * AviWriter::rowStride(640) + x * 3;
                    for (int b = 0; b < 3; ++b)
                        worst = std::max(
                            worst, std::abs(want[b] - int(f.pixel(i, x, y) >> (8 * b) & 0xFF)));
                }
        EXPECT_LE(worst, c.hasQuality ? 12 : 0) << c.name;
    }
    // H.264's quality is its constant rate factor, 50 at the smallest file, 10 at the best; the
    // coder writes its settings into the first frame.
    for (const auto& [quality, crf] :
         {std::pair(kQualityMin, "crf=50.0"), std::pair(kQualityMax, "crf=10.0")}) {
        ASSERT_TRUE(writeFrames(dir.file("h.avi"), {"libx264", quality}, {0}, frames, 640, 480));
        const auto first = testing::readAvi(dir.file("h.avi")).packets.at(0).data;
        EXPECT_NE(std::string(first.begin(), first.end()).find(crf), std::string::npos);
    }
}

// A writer gives back all it took, its coder and frame too. (The sanitizer build has a leak
// check of its own, and no heap figures.)
TEST(AviWriter, GivesBackItsMemory) {
#if defined(VORLIX_SANITIZED)
    GTEST_SKIP() << "the leak sanitizer checks this build";
#else
    testing::ScratchDir dir;
    const auto round = [&] {
        return writeFrames(dir.file("m.avi"), {"mjpeg", 80}, {0, 3}, {quadrants(640, 480, 0)},
                           640, 480);
    };
    ASSERT_TRUE(round());  // the libraries' tables, made at their first use
    const std::size_t before = testing::heapInUse();
    ASSERT_TRUE(round());
    EXPECT_LT(testing::heapInUse(), before + 16384);
#endif
}

}  // namespace
}  // namespace vorlix
