#include "recording/level_meter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorlix {
namespace {

TEST(LevelMeter, TextsAtEveryThreshold) {
    struct Case {
        int range;
        std::string_view text;
    } cases[] = {
        {1, "音量.  無音"},       {2, "音量|  過小"},       {3, "音量|  過小"},
        {4, "音量||  過小"},      {15, "音量|||  過小"},    {16, "音量||||  過小"},
        {31, "音量||||  過小"},   {32, "音量|||||  OK"},    {127, "音量||||||  OK"},
        {128, "音量||||||| OK"},  {223, "音量||||||| OK"},  {224, "音量||||||||過大"},
    };
    for (const auto& c : cases) EXPECT_EQ(levelText(c.range), c.text) << "range " << c.range;
}

// Peak to peak wherever the zero line lies and wherever the extremes sit in the buffer.
TEST(LevelMeter, RangeIsPeakToPeak) {
    struct Case {
        std::uint8_t fill, lo, hi;
        std::size_t loAt, hiAt;
        int range;
    } cases[] = {{200, 200, 200, 0, 0, 0},  {128, 0, 255, 100, 88199, 255},
                 {216, 200, 232, 5, 6, 32}, {8, 7, 9, 88199, 0, 2}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> b(88200, c.fill);
        b[c.loAt] = c.lo;
        b[c.hiAt] = c.hi;
        EXPECT_EQ(levelRange(b), c.range) << int(c.lo) << ".." << int(c.hi);
    }
    EXPECT_EQ(levelRange(std::vector<std::uint8_t>{}), 0);
}

}  // namespace
}  // namespace vorlix
