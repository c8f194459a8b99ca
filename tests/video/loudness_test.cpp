// The limiter holds true peaks under the ceiling and touches nothing else.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "video/loudness.h"

namespace vorlix {
namespace {

constexpr std::uint32_t kRate = 48000;

// The true peak in dBTP as libebur128 estimates it.
double truePeakDb(const std::vector<float>& x) {
    ebur128_state* st = ebur128_init(1, kRate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(st, x.data(), x.size());
    double peak = 0;
    ebur128_true_peak(st, 0, &peak);
    ebur128_destroy(&st);
    return linearToDb(peak);
}

struct LimitCase {
    const char* name;
    double toneDb;   // level of a 2 s, 3 kHz tone at sample 1 s, after the gain
    double burstDb;  // level of a 20 ms burst at 7 kHz in its middle (-inf: none)
};

TEST(Limiter, HoldsTruePeaksAndLeavesTheRestAlone) {
    const LimitCase cases[] = {
        {"quiet tone", -12, -INFINITY},
        {"tone at the ceiling", kLimiterCeilingDbtp - 0.5, -INFINITY},
        {"tone just over the ceiling", kLimiterCeilingDbtp + 1, -INFINITY},
        {"loud tone", +6, -INFINITY},
        {"burst on a quiet tone", -12, +3},
    };
    const float gain = 4.0f;
    const auto ceiling = static_cast<float>(dbToLinear(kLimiterCeilingDbtp));
    for (const LimitCase& c : cases) {
        std::vector<float> x(4 * kRate, 0.0f);
        for (std::size_t i = kRate; i < 3 * kRate; ++i) {
            const double t = static_cast<double>(i) / kRate;
            double v = dbToLinear(c.toneDb) * std::sin(2 * std::numbers::pi * 3000 * t + 0.3);
            if (i >= 2 * kRate && i < 2 * kRate + kRate / 50)
                v += dbToLinear(c.burstDb) * std::sin(2 * std::numbers::pi * 7000 * t);
            x[i] = static_cast<float>(v / gain);
        }
        std::vector<float> y = x;
        const std::size_t limited = applyGainAndLimit(y, gain, ceiling, kRate);
        const bool needed = std::max(c.toneDb, c.burstDb) > kLimiterCeilingDbtp;
        EXPECT_EQ(limited > 0, needed) << c.name;
        EXPECT_LE(truePeakDb(y), kLimiterCeilingDbtp + 0.1) << c.name;
        // Away from any peak (100 ms before the burst, or everywhere when none was needed) the
        // samples are only multiplied.
        const std::size_t untouchedUntil =
            needed && c.toneDb > kLimiterCeilingDbtp ? kRate : 2 * kRate - kRate / 10;
        for (std::size_t i = 0; i < untouchedUntil; i += 97)
            ASSERT_FLOAT_EQ(y[i], x[i] * gain) << c.name << " at " << i;
        if (!needed) {
            for (std::size_t i = 0; i < y.size(); i += 97)
                ASSERT_FLOAT_EQ(y[i], x[i] * gain) << c.name;
        }
    }
}

// A lone click anywhere in a block of the look-ahead is held under the ceiling, sample by sample.
TEST(Limiter, ClicksAreHeldWhereverTheyFall) {
    const float ceiling = 0.5f;
    for (std::size_t at = 1000; at < 1000 + 480; at += 7) {
        std::vector<float> y(4000, 0.0f);
        y[at] = 1.0f;
        applyGainAndLimit(y, 1.0f, ceiling, kRate);
        EXPECT_LE(*std::max_element(y.begin(), y.end()), ceiling * 1.001f) << at;
    }
}

// Peaks between the samples: tones of amplitude 0.5 (-6.0 dB) whose samples miss their crests
// by up to 3 dB.
TEST(Limiter, TruePeaksBetweenTheSamplesAreSeen) {
    for (const double hz : {12000.0, 11000.0, 7000.0}) {
        std::vector<float> x(kRate / 10);
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>(
                0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate + 0.785));
        EXPECT_NEAR(linearToDb(truePeak(x, 0, x.size())), linearToDb(0.5), 0.3) << hz;
    }
}

TEST(Loudness, GainBringsAVoiceToTheTargetAndLeavesSilenceAlone) {
    const struct {
        double measured, gain;
    } cases[] = {{-30, 14}, {-16, 0}, {-5, -11}, {-INFINITY, 0}, {-90, 0}, {-69, kMaxGainDb}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(normalisingGainDb(c.measured), c.gain) << c.measured;
}

}  // namespace
}  // namespace vorlix
