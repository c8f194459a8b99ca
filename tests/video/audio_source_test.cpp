#include "video/audio_source.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace vorlix {
namespace {

using testing::Bytes;
const std::string kSeeds = VORLIX_SOURCE_DIR "/fuzz/seeds/narration_reader/";

// Everything the source yields, read the way the copy reads it.
Bytes readAll(AudioSource& s) {
    Bytes out, buf;
    for (std::int64_t p = s.start(), got = 1; p < s.start() + s.length() && got > 0; p += got) {
        const AudioSource::ReadSize size = s.convenientRead(p);
        buf.resize(static_cast<std::size_t>(size.bytes));
        EXPECT_EQ(got = s.read(p, size.samples, buf), size.samples);
        out.insert(out.end(), buf.begin(),
                   buf.begin() + std::max<std::int64_t>(got, 0) * s.format().blockAlign);
    }
    return out;
}

// Whole frames of what the data holds, up to the end of the file where the length was never
// completed or runs past it; what is not PCM WAVE is refused.
TEST(AudioSource, ReadsTheWholeFramesTheDataHolds) {
    // Seed, changes, data offset, frames, length incomplete: a shorter length wins; 36 and 0
    // were never completed; a length past the end; 16-bit stereo after another chunk.
    const std::tuple<const char*, std::vector<testing::Patch>, std::size_t, std::int64_t, bool>
        cases[] = {{"complete.wav", {}, 44, 2048, false},
                   {"complete.wav", {{40, 1000}}, 44, 1000, false},
                   {"incomplete.wav", {}, 44, 2048, true},
                   {"cut_short.wav", {}, 44, 100, true},
                   {"header_only.wav", {}, 44, 0, false},
                   {"stereo16_list.wav", {{52, 0}}, 56, 100, true}};
    testing::ScratchDir dir;
    for (const auto& [seed, patches, dataAt, frames, incomplete] : cases) {
        const Bytes file = testing::patched(testing::readBytes(kSeeds + seed), patches);
        testing::writeFile(dir.file("n.wav"), file);
        AudioSource s;
        ASSERT_TRUE(s.open(dir.file("n.wav"))) << seed;
        EXPECT_EQ(std::pair(s.length(), s.lengthWasIncomplete()), std::pair(frames, incomplete))
            << seed;
        const auto data = file.begin() + static_cast<std::ptrdiff_t>(dataAt);
        EXPECT_EQ(readAll(s), Bytes(data, data + frames * s.format().blockAlign)) << seed;
    }
    // Not RIFF, not WAVE, data before the format, not PCM, 12 bits, no channels, no rate, an
    // extensible format without its extension.
    const testing::Patch refused[] = {{0, 'X', 1}, {8, 'X', 1}, {12, 0x61746164}, {20, 2, 2},
                                      {34, 12, 2}, {22, 0, 2},  {24, 0}, {20, 0xFFFE, 2}};
    for (const auto& patch : refused) {
        testing::writeFile(dir.file("n.wav"),
                           testing::patched(testing::readBytes(kSeeds + "complete.wav"), {patch}));
        AudioSource s;
        EXPECT_FALSE(s.open(dir.file("n.wav")) || s.isOpen()) << patch.at;
    }
    AudioSource s;
    // Reads are cut at the end; a file that shrinks under the reader reads as ended, not failed.
    testing::writeNarration(dir.file("n.wav"), testing::noise(50000));
    ASSERT_TRUE(s.open(dir.file("n.wav")));
    EXPECT_EQ(s.convenientRead(44100).samples, 5900);
    Bytes buf(4096);
    EXPECT_EQ(s.read(0, 4096, std::span(buf).first(10)), -1);  // too small for the read
    EXPECT_EQ(s.read(49000, 4096, buf), 1000);
    EXPECT_EQ(s.read(-1, 10, buf), 0);  // nothing before the first sample
    std::filesystem::resize_file(dir.file("n.wav"), 44 + 1000);
    EXPECT_EQ(s.read(2000, 10, buf), 0);
    // A disk that fails after the first twelve bytes: refused, not taken for an empty narration.
    struct Failing {
        Bytes bytes;
        off64_t at = 0;
    } failing{testing::readBytes(kSeeds + "complete.wav")};
    cookie_io_functions_t io{};
    io.read = [](void* c, char* to, std::size_t n) -> ssize_t {
        auto& f = *static_cast<Failing*>(c);
        const auto k = static_cast<std::size_t>(std::max<off64_t>(0, std::min<off64_t>(n, 12 - f.at)));
        std::memcpy(to, f.bytes.data() + f.at, k);
        f.at += static_cast<off64_t>(k);
        return k > 0 ? static_cast<ssize_t>(k) : -1;
    };
    io.seek = [](void* c, off64_t* to, int whence) {
        auto& f = *static_cast<Failing*>(c);
        *to = f.at = *to + (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.at : off64_t(f.bytes.size()));
        return 0;
    };
    AudioSource failed;
    EXPECT_FALSE(failed.openStream(fopencookie(&failing, "r", io)));
}

}  // namespace
}  // namespace vorlix
