#include "video/audio_source.h"

#include <gtest/gtest.h>

#include "support/narration_wav.h"
#include "support/scratch_dir.h"

namespace vorlix {
namespace {

using testing::Wav;

std::vector<std::uint8_t> ramp(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 3 + 1);
    return v;
}

class AudioSourceTest : public ::testing::Test {
  protected:
    bool open(AudioSource& s, const Wav& w) {
        testing::writeFile(path, testing::wavBytes(w));
        return s.open(path);
    }
    // Everything the source yields, read the way the copy reads it.
    static std::vector<std::uint8_t> readAll(AudioSource& s) {
        std::vector<std::uint8_t> out, buf;
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

TEST_F(AudioSourceTest, ReadsTheWholeFramesTheDataHolds) {
    const std::vector<std::uint8_t> samples = ramp(88200 * 2 + 17);
    struct Case {
        const char* what;
        Wav wav;
        std::int64_t frames;
        bool incomplete;
    } cases[] = {
        {"complete header", {.samples = samples}, 0, false},
        {"never completed (36 and 0)",
         {.riffSize = 36, .dataField = 0, .samples = samples},
         0,
         true},
        {"length past the end (file cut short)",
         {.dataField = 10'000'000, .samples = samples},
         0,
         true},
        {"shorter data length wins", {.dataField = 1000, .samples = samples}, 1000, false},
        {"header only", {}, 0, false},
        {"16-bit stereo after another chunk, length never completed",
         {.channels = 2, .bits = 16, .dataField = 0, .extraChunk = true, .samples = ramp(4003)},
         1000,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AudioSource s;
        ASSERT_TRUE(open(s, c.wav));
        const std::int64_t frames =
            c.frames ? c.frames : static_cast<std::int64_t>(c.wav.samples.size());
        EXPECT_EQ(s.length(), frames);
        EXPECT_EQ(s.lengthWasIncomplete(), c.incomplete);
        const std::size_t bytes = static_cast<std::size_t>(frames) * s.format().blockAlign;
        EXPECT_EQ(readAll(s),
                  std::vector<std::uint8_t>(c.wav.samples.begin(), c.wav.samples.begin() + bytes));
    }
}

TEST_F(AudioSourceTest, RefusesWhatIsNotPcmWave) {
    auto bytes = [](Wav w) { return testing::wavBytes(w); };
    std::vector<std::uint8_t> dataFirst = {'R', 'I', 'F', 'F', 12,  0,   0, 0, 'W', 'A',
                                           'V', 'E', 'd', 'a', 't', 'a', 0, 0, 0,   0};
    const std::vector<std::uint8_t> cases[] = {
        {},
        std::vector<std::uint8_t>(64, 'x'),
        dataFirst,
        bytes({.tag = 2}),
        bytes({.bits = 12}),
        bytes({.channels = 0}),
        bytes({.rate = 0}),
        bytes({.rate = 0x80000000u}),
    };
    for (const auto& file : cases) {
        SCOPED_TRACE(&file - cases);
        testing::writeFile(path, file);
        AudioSource s;
        EXPECT_FALSE(s.open(path));
        EXPECT_FALSE(s.isOpen());
    }
    AudioSource s;
    EXPECT_FALSE(s.open(path + ".missing"));
}

TEST_F(AudioSourceTest, ReadsAreCutAtTheEnd) {
    const Wav w{.samples = ramp(50000)};
    AudioSource s;
    ASSERT_TRUE(open(s, w));
    EXPECT_EQ(s.convenientRead(0).samples, 44100);
    EXPECT_EQ(s.convenientRead(44100).samples, 50000 - 44100);
    EXPECT_EQ(s.readSize(49000, 4096).samples, 1000);
    EXPECT_EQ(s.readSize(50000, 4096).samples, 0);
    EXPECT_EQ(s.readSize(-1, 4096).samples, 0);
    std::vector<std::uint8_t> small(10), buf(4096);
    EXPECT_EQ(s.read(0, 4096, small), -1);  // buffer too small
    EXPECT_EQ(s.read(50000, 4096, buf), 0);
    ASSERT_EQ(s.read(49000, 4096, buf), 1000);
    EXPECT_EQ(buf[0], w.samples[49000]);
}

}  // namespace
}  // namespace vorlix
