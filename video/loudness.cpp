#include "video/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace vorlix {

namespace {

// A gain below this level would only lift hiss and hum: no lecture voice is that quiet.
constexpr double kQuietestVoiceLufs = -70.0;
constexpr double kMaxCutDb = -40.0;

constexpr double kLookaheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.08;

// Four times oversampling: the three points between two samples, each from 16 neighbours
// (a Hann-windowed sinc), as true-peak meters estimate them.
constexpr int kTaps = 16;
constexpr int kPhases = 3;
using Phase = std::array<float, kTaps>;

std::array<Phase, kPhases> makeInterpolators() {
    std::array<Phase, kPhases> phases{};
    for (int p = 0; p < kPhases; ++p) {
        const double frac = (p + 1) / 4.0;
        for (int k = 0; k < kTaps; ++k) {
            const double t = frac - (k - (kTaps / 2 - 1));  // sample offsets -7 .. 8
            const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
            const double w = 0.5 + 0.5 * std::cos(std::numbers::pi * t / (kTaps / 2 + 0.5));
            phases[p][k] = static_cast<float>(sinc * w);
        }
    }
    return phases;
}

// The largest magnitude between sample n and sample n + 1, oversampled.
float peakBetween(std::span<const float> x, std::size_t n, const std::array<Phase, kPhases>& ph) {
    float peak = std::max(std::fabs(x[n]), n + 1 < x.size() ? std::fabs(x[n + 1]) : 0.0f);
    for (const Phase& h : ph) {
        float acc = 0;
        for (int k = 0; k < kTaps; ++k) {
            const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(n) + k - (kTaps / 2 - 1);
            if (i >= 0 && i < static_cast<std::ptrdiff_t>(x.size())) acc += x[i] * h[k];
        }
        peak = std::max(peak, std::fabs(acc));
    }
    return peak;
}

}  // namespace

double dbToLinear(double db) {
    return std::pow(10.0, db / 20.0);
}

double linearToDb(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

LoudnessMeter::LoudnessMeter(std::uint32_t sampleRate)
    : state_(ebur128_init(1, sampleRate, EBUR128_MODE_I)) {}

LoudnessMeter::~LoudnessMeter() {
    auto* st = static_cast<ebur128_state*>(state_);
    if (st != nullptr) ebur128_destroy(&st);
}

void LoudnessMeter::add(std::span<const float> samples) {
    if (state_ != nullptr && !samples.empty())
        ebur128_add_frames_float(static_cast<ebur128_state*>(state_), samples.data(),
                                 samples.size());
}

void LoudnessMeter::addU8(std::span<const std::uint8_t> samples) {
    float block[4096];
    while (!samples.empty()) {
        const std::size_t n = std::min(samples.size(), std::size(block));
        for (std::size_t i = 0; i < n; ++i) block[i] = (samples[i] - 128) / 128.0f;
        add({block, n});
        samples = samples.subspan(n);
    }
}

double LoudnessMeter::integrated() const {
    LoudnessMeter* self[] = {const_cast<LoudnessMeter*>(this)};
    return integrated(self);
}

double LoudnessMeter::integrated(std::span<LoudnessMeter* const> parts) {
    std::vector<ebur128_state*> states;
    for (LoudnessMeter* m : parts)
        if (m != nullptr && m->state_ != nullptr)
            states.push_back(static_cast<ebur128_state*>(m->state_));
    double out = -std::numeric_limits<double>::infinity();
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &out) != EBUR128_SUCCESS) {
        return -std::numeric_limits<double>::infinity();
    }
    return out;
}

double normalisingGainDb(double integratedLufs) {
    if (!std::isfinite(integratedLufs) || integratedLufs < kQuietestVoiceLufs) return 0.0;
    return std::clamp(kTargetLoudnessLufs - integratedLufs, kMaxCutDb, kMaxGainDb);
}

std::size_t applyGainAndLimit(std::span<float> x, float gain, float ceiling,
                              std::uint32_t sampleRate) {
    static const std::array<Phase, kPhases> interpolators = makeInterpolators();
    const std::size_t n = x.size();
    // Only samples near the ceiling can have a true peak above it (speech overshoots its samples
    // by far less than 6 dB), so the oversampling runs only there.
    const float watch = ceiling / gain * 0.5f;
    std::vector<float> need;  // gain the ceiling allows at each sample, 1 = none needed
    for (std::size_t i = 0; i < n; ++i) {
        if (std::fabs(x[i]) < watch && (i + 1 >= n || std::fabs(x[i + 1]) < watch)) continue;
        const float peak = peakBetween(x, i, interpolators) * gain;
        if (peak <= ceiling) continue;
        if (need.empty()) need.assign(n, 1.0f);
        const float allowed = ceiling / peak;
        need[i] = std::min(need[i], allowed);
        if (i + 1 < n) need[i + 1] = std::min(need[i + 1], allowed);
    }
    if (need.empty()) {
        for (float& v : x) v *= gain;
        return 0;
    }
    // Gain curve g = box average over L of h, h = release-limited minimum over the next L of
    // `need`. Every h averaged into g[i] looked ahead over sample i, so g[i] <= need[i]: no peak
    // passes, and the curve has no steps.
    const std::size_t lookahead =
        std::max<std::size_t>(1, static_cast<std::size_t>(kLookaheadSeconds * sampleRate));
    const float release = static_cast<float>(std::exp(-1.0 / (kReleaseSeconds * sampleRate)));
    // h is indexed from -(L - 1) so the first samples' averages see windows that cover them.
    // The running minimum over L uses blocks of L (van Herk / Gil-Werman): two passes, no queue.
    const std::size_t span = n + lookahead - 1;
    const std::size_t padded = span + lookahead;
    std::vector<float> p(padded, 1.0f), ahead(padded), behind(padded);
    std::copy(need.begin(), need.end(), p.begin() + static_cast<std::ptrdiff_t>(lookahead - 1));
    for (std::size_t j = 0; j < padded; ++j)  // minimum from the block's start up to j
        ahead[j] = j % lookahead == 0 ? p[j] : std::min(ahead[j - 1], p[j]);
    for (std::size_t j = padded; j-- > 0;)  // minimum from j to the block's end
        behind[j] =
            (j + 1) % lookahead == 0 || j + 1 == padded ? p[j] : std::min(behind[j + 1], p[j]);
    std::vector<float> h(span);
    float held = 1.0f;
    for (std::size_t k = 0; k < span; ++k) {
        const float lowest = std::min(behind[k], ahead[k + lookahead - 1]);
        held = std::min(lowest, 1.0f - (1.0f - held) * release);
        h[k] = held;
    }
    std::size_t reduced = 0;
    double sum = 0;
    for (std::size_t k = 0; k < span; ++k) {
        sum += h[k];
        if (k >= lookahead) sum -= h[k - lookahead];
        if (k + 1 < lookahead) continue;
        const std::size_t i = k + 1 - lookahead;
        const float g = static_cast<float>(sum / static_cast<double>(lookahead));
        if (g < 1.0f) ++reduced;
        x[i] *= gain * std::min(g, 1.0f);
    }
    return reduced;
}

}  // namespace vorlix

namespace vorlix {

BlockMeter::BlockMeter(std::uint32_t sampleRate)
    : state_(ebur128_init(1, sampleRate, EBUR128_MODE_M)),
      step_(sampleRate / static_cast<std::uint32_t>(kBlocksPerSecond)) {}

BlockMeter::~BlockMeter() {
    auto* st = static_cast<ebur128_state*>(state_);
    if (st != nullptr) ebur128_destroy(&st);
}

void BlockMeter::add(std::span<const float> samples) {
    auto* st = static_cast<ebur128_state*>(state_);
    if (st == nullptr) return;
    while (!samples.empty()) {
        const std::size_t n = std::min(samples.size(), step_ - inStep_);
        ebur128_add_frames_float(st, samples.data(), n);
        samples = samples.subspan(n);
        inStep_ += n;
        if (inStep_ < step_) break;
        inStep_ = 0;
        // A gating block is whole once four steps are in.
        if (++steps_ < 4) continue;
        double lufs = -std::numeric_limits<double>::infinity();
        ebur128_loudness_momentary(st, &lufs);
        blocks_.push_back(std::isfinite(lufs) ? std::pow(10.0, (lufs + 0.691) / 10.0) : 0.0);
    }
}

double integratedFromBlocks(std::span<const double> energies) {
    // Absolute gate at -70 LUFS, then relative gate 10 LU under the loudness above it.
    auto lufs = [](double e) { return -0.691 + 10.0 * std::log10(e); };
    auto meanAbove = [&](double gate) {
        double sum = 0;
        std::size_t n = 0;
        for (double e : energies) {
            if (e > 0 && lufs(e) > gate) {
                sum += e;
                ++n;
            }
        }
        return n == 0 ? 0.0 : sum / static_cast<double>(n);
    };
    const double absolute = meanAbove(-70.0);
    if (absolute <= 0) return -std::numeric_limits<double>::infinity();
    const double gated = meanAbove(lufs(absolute) - 10.0);
    return gated > 0 ? lufs(gated) : -std::numeric_limits<double>::infinity();
}

float truePeak(std::span<const float> x, std::size_t from, std::size_t to) {
    static const std::array<Phase, kPhases> interpolators = makeInterpolators();
    to = std::min(to, x.size());
    float samplePeak = 0;
    for (std::size_t i = from; i < to; ++i) samplePeak = std::max(samplePeak, std::fabs(x[i]));
    // Between two samples both under half the highest, no peak reaches the highest.
    const float watch = samplePeak * 0.5f;
    float peak = samplePeak;
    for (std::size_t i = from; i < to; ++i) {
        if (std::fabs(x[i]) < watch && (i + 1 >= x.size() || std::fabs(x[i + 1]) < watch)) continue;
        peak = std::max(peak, peakBetween(x, i, interpolators));
    }
    return peak;
}

}  // namespace vorlix
