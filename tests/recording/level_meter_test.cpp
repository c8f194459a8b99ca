#include "recording/level_meter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorlix {
namespace {

// A buffer of the capture length holding silence (128) with one low and one high sample.
std::vector<std::uint8_t> bufferWith(std::uint8_t lo, std::uint8_t hi, std::size_t loAt = 100,
                                     std::size_t hiAt = 88199) {
    std::vector<std::uint8_t> b(88200, static_cast<std::uint8_t>((lo + hi) / 2));
    b[hiAt] = hi;
    b[loAt] = lo;
    return b;
}

TEST(LevelMeter, TextsAtEveryThreshold) {
    struct Case {
        int range;
        std::string_view text;
    } cases[] = {
        {0, "音量.  無音"},       {1, "音量.  無音"},       {2, "音量|  過小"},
        {3, "音量|  過小"},       {4, "音量||  過小"},      {8, "音量|||  過小"},
        {15, "音量|||  過小"},    {16, "音量||||  過小"},   {31, "音量||||  過小"},
        {32, "音量|||||  OK"},    {64, "音量||||||  OK"},   {127, "音量||||||  OK"},
        {128, "音量||||||| OK"},  {223, "音量||||||| OK"},  {224, "音量||||||||過大"},
        {255, "音量||||||||過大"},
    };
    for (const auto& c : cases) EXPECT_EQ(levelText(c.range), c.text) << "range " << c.range;
}

TEST(LevelMeter, RangeIsPeakToPeakWhereverTheZeroLineLies) {
    EXPECT_EQ(levelRange(std::vector<std::uint8_t>(88200, 0)), 0);
    EXPECT_EQ(levelRange(std::vector<std::uint8_t>(88200, 200)), 0);
    EXPECT_EQ(levelRange(bufferWith(0, 255)), 255);
    EXPECT_EQ(levelRange(bufferWith(10, 41)), 31);
    EXPECT_EQ(levelRange(bufferWith(200, 232)), 32);
    EXPECT_EQ(levelRange(bufferWith(7, 9, 88199, 0)), 2);  // extremes in reverse order
}

TEST(LevelMeter, ExtremesAtEitherEndCount) {
    std::vector<std::uint8_t> b(88200, 128);
    b.front() = 3;  // first byte is the smallest
    b.back() = 250; // last byte is the largest
    EXPECT_EQ(levelRange(b), 247);
    EXPECT_EQ(levelRange(std::vector<std::uint8_t>{}), 0);
}

TEST(LevelMeter, RecIndicatorBlinksWithAlternateBuffers) {
    EXPECT_TRUE(recIndicatorChecked(1));   // buffer A
    EXPECT_FALSE(recIndicatorChecked(2));  // buffer B
    EXPECT_TRUE(recIndicatorChecked(3));
}

}  // namespace
}  // namespace vorlix
