// A web video remade from a lecture's journal puts each slide change at the narration sample the
// journal recorded, not on the half-second tick beside it.
#include <gtest/gtest.h>

#include "tests/support/avi_read.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

TEST(ConvertJournalMp4, ChangesLandOnTheirSamples) {
    testing::ScratchDir dir;
    const std::string journal = dir.file("vx_1_00000001.journal"), narration = dir.file("n.wav");
    const std::string one = dir.file("1.bmp"), two = dir.file("2.bmp");
    testing::writeFile(one, testing::bmpOf(64, 48, [](int, int) { return 0xff0000u; }));
    testing::writeFile(two, testing::bmpOf(64, 48, [](int, int) { return 0x0000ffu; }));
    testing::writeNarration(narration, testing::noise(44100 * 6));
    // The change at 3.3 s, in tick 6 (3.0 s).
    testing::writeFile(journal, "vorlix journal 1\nnarration " + narration + "\nslide 0 0 " + one +
                                    "\nslide 6 145530 " + two + "\nend 12 264600\n");
    ASSERT_EQ(testing::convert({journal, "-o", dir.file("x"), "--format", "mp4"}).first, 0);
    const testing::AviRead f = testing::readAvi(dir.file("x.mp4"));
    std::vector<double> keys;
    for (const auto& p : f.packets)
        if (f.streams[p.stream].type == AVMEDIA_TYPE_VIDEO && p.key) keys.push_back(p.time);
    ASSERT_EQ(std::tuple(keys.size(), f.chapters.size()), std::tuple(2u, 2u));
    EXPECT_NEAR(keys[1], 3.3, 0.001);
    EXPECT_NEAR(f.chapters[1], 3.3, 0.001);
}

}  // namespace
}  // namespace vorlix
