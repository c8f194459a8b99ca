#include "video/audio_source.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::Bytes;
const std::string kSeeds = VORLIX_SOURCE_DIR "/fuzz/seeds/narration_reader/";

struct Patch {
    std::size_t at;
    std::uint32_t value;
    int bytes = 4;
};

class AudioSourceTest : public ::testing::Test {
  protected:
    // A seed narration with little-endian fields written over it, as the file to read.
    Bytes write(const std::string& name, std::vector<Patch> patches = {}) {
        Bytes f = testing::readBytes(kSeeds + name);
        for (const Patch& p : patches)
            for (int i = 0; i < p.bytes; ++i) f[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
        testing::writeFile(path, f);
        return f;
    }
    // Everything the source yields, read the way the copy reads it.
    static Bytes readAll(AudioSource& s) {
        Bytes out, buf;
        for (std::int64_t p = s.start(); p < s.start() + s.length();) {
            const AudioSource::ReadSize size = s.convenientRead(p);
            buf.resize(static_cast<std::size_t>(size.bytes));
            const std::int64_t got = s.read(p, size.samples, buf);
            EXPECT_EQ(got, size.samples);
            if (got <= 0) break;
            out.insert(out.end(), buf.begin(), buf.begin() + got * s.format().blockAlign);
            p += got;
        }
        return out;
    }
    testing::ScratchDir scratch;
    std::string path = scratch.file("narration.wav");
};

// Whole frames of what the data holds, up to the end of the file where the length was never
// completed or runs past it.
TEST_F(AudioSourceTest, ReadsTheWholeFramesTheDataHolds) {
    struct Case {
        const char* seed;
        std::vector<Patch> patches;
        std::size_t dataAt;
        std::int64_t frames;
        bool incomplete;
    } cases[] = {
        {"complete.wav", {}, 44, 2048, false},
        {"complete.wav", {{40, 1000}}, 44, 1000, false},  // a shorter length wins
        {"incomplete.wav", {}, 44, 2048, true},           // 36 and 0: never completed
        {"cut_short.wav", {}, 44, 100, true},             // length past the end
        {"header_only.wav", {}, 44, 0, false},
        {"stereo16_list.wav", {{52, 0}}, 56, 100, true},  // after another chunk, 4 bytes a frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        const Bytes file = write(c.seed, c.patches);
        AudioSource s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(s.length(), c.frames);
        EXPECT_EQ(s.lengthWasIncomplete(), c.incomplete);
        const auto data = file.begin() + static_cast<std::ptrdiff_t>(c.dataAt);
        EXPECT_EQ(readAll(s), Bytes(data, data + c.frames * s.format().blockAlign));
    }
}

TEST_F(AudioSourceTest, RefusesWhatIsNotPcmWave) {
    const std::vector<Patch> cases[] = {
        {{0, 'X', 1}},         // not RIFF
        {{8, 'X', 1}},         // not WAVE
        {{12, 'd' | 'a' << 8 | 't' << 16 | 'a' << 24}},  // data before the format
        {{20, 2, 2}},          // not PCM
        {{34, 12, 2}},         // 12 bits
        {{22, 0, 2}},          // no channels
        {{24, 0}},             // no rate
        {{24, 0x80000000}},    // absurd rate
    };
    for (const auto& patches : cases) {
        write("complete.wav", patches);
        AudioSource s;
        EXPECT_FALSE(s.open(path)) << &patches - cases;
        EXPECT_FALSE(s.isOpen());
    }
    testing::writeFile(path, Bytes{});
    AudioSource s;
    EXPECT_FALSE(s.open(path));
    EXPECT_FALSE(s.open(path + ".missing"));
}

TEST_F(AudioSourceTest, ReadsAreCutAtTheEnd) {
    const Bytes samples = testing::noise(50000);
    testing::writeNarration(path, samples);
    AudioSource s;
    ASSERT_TRUE(s.open(path));
    EXPECT_EQ(s.convenientRead(0).samples, 44100);
    EXPECT_EQ(s.convenientRead(44100).samples, 50000 - 44100);
    EXPECT_EQ(s.readSize(50000, 4096).samples, 0);
    EXPECT_EQ(s.readSize(-1, 4096).samples, 0);
    Bytes small(10), buf(4096);
    EXPECT_EQ(s.read(0, 4096, small), -1);  // buffer too small
    EXPECT_EQ(s.read(50000, 4096, buf), 0);
    ASSERT_EQ(s.read(49000, 4096, buf), 1000);
    EXPECT_EQ(buf[0], samples[49000]);
    // The file shrinks under the reader: what is gone reads as the end, not as a failure.
    std::filesystem::resize_file(path, 44 + 1000);
    EXPECT_EQ(s.read(2000, 10, buf), 0);
}

}  // namespace
}  // namespace vorlix
