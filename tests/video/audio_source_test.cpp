#include "video/audio_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/scratch_dir.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;

void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putId(std::vector<std::uint8_t>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

struct Wav {
    std::uint16_t tag = 1, channels = 1, bits = 8;
    std::uint32_t rate = 44100;
    std::uint32_t riffSize = 0;   // 0: the right one
    std::int64_t dataField = -1;  // -1: the right one
    bool extraChunk = false;      // a LIST chunk between fmt and data
    std::vector<std::uint8_t> samples;
};

std::vector<std::uint8_t> makeWav(const Wav& w) {
    std::vector<std::uint8_t> b;
    putId(b, "RIFF");
    put32(b, w.riffSize);
    putId(b, "WAVE");
    putId(b, "fmt ");
    put32(b, 16);
    std::uint16_t align = static_cast<std::uint16_t>(w.channels * w.bits / 8);
    put16(b, w.tag);
    put16(b, w.channels);
    put32(b, w.rate);
    put32(b, w.rate * align);
    put16(b, align);
    put16(b, w.bits);
    if (w.extraChunk) {
        putId(b, "LIST");
        put32(b, 3);
        b.insert(b.end(), {'a', 'b', 'c', 0});  // odd size, padded
    }
    putId(b, "data");
    put32(b, w.dataField < 0 ? static_cast<std::uint32_t>(w.samples.size())
                             : static_cast<std::uint32_t>(w.dataField));
    b.insert(b.end(), w.samples.begin(), w.samples.end());
    if (w.riffSize == 0) {
        std::uint32_t size = static_cast<std::uint32_t>(b.size() - 8);
        std::memcpy(&b[4], &size, 4);
    }
    return b;
}

template <class Change>
Wav with(Change change) {
    Wav w;
    change(w);
    return w;
}

std::vector<std::uint8_t> ramp(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 3 + 1);
    return v;
}

class AudioSourceTest : public ::testing::Test {
  protected:
    void SetUp() override { path = scratch.file("narration.wav"); }
    void write(const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    // Everything the source yields, read the way the copy reads it.
    std::vector<std::uint8_t> readAll(AudioSource& s) {
        std::vector<std::uint8_t> out, buf;
        for (std::int64_t p = s.start(); p < s.start() + s.length();) {
            AudioSource::ReadSize size = s.convenientRead(p);
            EXPECT_GT(size.samples, 0);
            buf.resize(static_cast<std::size_t>(size.bytes));
            std::int64_t got = s.read(p, size.samples, buf);
            EXPECT_EQ(got, size.samples);
            if (got <= 0) break;
            out.insert(out.end(), buf.begin(), buf.begin() + got * s.format().blockAlign);
            p += got;
        }
        return out;
    }
    testing::ScratchDir scratch;
    std::string path;
};

TEST_F(AudioSourceTest, ReadsTheSamplesWhateverTheLengthFieldsSay) {
    const std::vector<std::uint8_t> samples = ramp(88200 * 2 + 17);
    struct Case {
        const char* what;
        std::uint32_t riffSize;
        std::int64_t dataField;
        std::size_t expected;
        bool incomplete;
    } cases[] = {
        {"complete header", 0, -1, samples.size(), false},
        {"never completed (36 and 0)", 36, 0, samples.size(), true},
        {"length past the end (file cut short)", 0, 10'000'000, samples.size(), true},
        {"shorter data length wins", 0, 1000, 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wav w;
        w.samples = samples;
        w.riffSize = c.riffSize;
        w.dataField = c.dataField;
        write(makeWav(w));
        AudioSource s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(s.length(), static_cast<std::int64_t>(c.expected));
        EXPECT_EQ(s.lengthWasIncomplete(), c.incomplete);
        EXPECT_EQ(s.format().sampleRate, 44100u);
        EXPECT_EQ(s.format().bitsPerSample, 8);
        EXPECT_EQ(readAll(s),
                  std::vector<std::uint8_t>(samples.begin(), samples.begin() + c.expected));
    }
}

TEST_F(AudioSourceTest, EmptyAndOddLayouts) {
    {
        Wav w;  // header only: a narration of no buffers
        write(makeWav(w));
        AudioSource s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(s.length(), 0);
        EXPECT_EQ(s.convenientRead(0).samples, 0);
    }
    {
        Wav w;  // a chunk before the data, 16-bit stereo: whole frames only
        w.extraChunk = true;
        w.channels = 2;
        w.bits = 16;
        w.samples = ramp(4 * 1000 + 3);
        w.dataField = 0;
        write(makeWav(w));
        AudioSource s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(s.format().blockAlign, 4);
        EXPECT_EQ(s.length(), 1000);
        std::vector<std::uint8_t> got = readAll(s);
        EXPECT_EQ(got, std::vector<std::uint8_t>(w.samples.begin(), w.samples.begin() + 4000));
    }
}

TEST_F(AudioSourceTest, RefusesWhatIsNotPcmWave) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty file", {}},
        {"not RIFF", std::vector<std::uint8_t>(64, 'x')},
        {"compressed format", makeWav(with([](Wav& w) { w.tag = 2; }))},
        {"12-bit", makeWav(with([](Wav& w) { w.bits = 12; }))},
        {"no channels", makeWav(with([](Wav& w) { w.channels = 0; }))},
        {"no rate", makeWav(with([](Wav& w) { w.rate = 0; }))},
        {"absurd rate", makeWav(with([](Wav& w) { w.rate = 0x80000000u; }))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bytes);
        AudioSource s;
        EXPECT_FALSE(s.open(path));
        EXPECT_FALSE(s.isOpen());
    }
    {
        // data before fmt
        std::vector<std::uint8_t> b;
        putId(b, "RIFF");
        put32(b, 12);
        putId(b, "WAVE");
        putId(b, "data");
        put32(b, 0);
        write(b);
        AudioSource s;
        EXPECT_FALSE(s.open(path));
    }
    AudioSource s;
    EXPECT_FALSE(s.open(path + ".missing"));
}

TEST_F(AudioSourceTest, ReadsAreCutAtTheEnd) {
    Wav w;
    w.samples = ramp(50000);
    write(makeWav(w));
    AudioSource s;
    ASSERT_TRUE(s.open(path));
    EXPECT_EQ(s.convenientRead(0).samples, 44100);
    EXPECT_EQ(s.convenientRead(44100).samples, 50000 - 44100);
    EXPECT_EQ(s.readSize(49000, 4096).samples, 1000);
    EXPECT_EQ(s.readSize(50000, 4096).samples, 0);
    EXPECT_EQ(s.readSize(-1, 4096).samples, 0);
    std::vector<std::uint8_t> small(10);
    EXPECT_EQ(s.read(0, 4096, small), -1);  // buffer too small
    std::vector<std::uint8_t> buf(4096);
    EXPECT_EQ(s.read(50000, 4096, buf), 0);
    ASSERT_EQ(s.read(49000, 4096, buf), 1000);
    EXPECT_EQ(buf[0], w.samples[49000]);
}

}  // namespace
}  // namespace vorlix
