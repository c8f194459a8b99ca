// Loudness of a lecture's narration: measured as a listener's player would (ITU-R BS.1770 through
// libebur128), brought to one level for the whole lecture, and kept below the true-peak ceiling by
// a limiter that acts only on the peaks that would pass it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vorlix {

// The level web and podcast players expect, and the highest true peak left after coding.
inline constexpr double kTargetLoudnessLufs = -16.0;
inline constexpr double kTruePeakLimitDbtp = -1.0;
// The limiter aims lower than the limit: AAC coding lifts peaks by some tenths of a dB.
inline constexpr double kLimiterCeilingDbtp = -2.0;
// The most a quiet recording is lifted: beyond that, hiss would be the lecture.
inline constexpr double kMaxGainDb = 40.0;

// Integrated loudness of one stream, fed as the samples come (while recording, or block by block
// from a file).
class LoudnessMeter {
  public:
    explicit LoudnessMeter(std::uint32_t sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    bool valid() const { return state_ != nullptr; }
    // Samples from -1 to 1.
    void add(std::span<const float> samples);
    // Unsigned 8-bit samples as the narration file holds them.
    void addU8(std::span<const std::uint8_t> samples);
    // Integrated loudness in LUFS; -inf while nothing louder than the gate has been heard.
    double integrated() const;
    // Integrated loudness of several meters that heard consecutive parts of one stream.
    static double integrated(std::span<LoudnessMeter* const> parts);

  private:
    void* state_ = nullptr;  // libebur128's state
};

// The loudness of every 400 ms gating block, one every 100 ms, kept so that the integrated
// loudness can be told later from the blocks alone, or from blocks measured piece by piece.
class BlockMeter {
  public:
    static constexpr std::int64_t kBlocksPerSecond = 10;
    explicit BlockMeter(std::uint32_t sampleRate);
    ~BlockMeter();
    BlockMeter(const BlockMeter&) = delete;
    BlockMeter& operator=(const BlockMeter&) = delete;

    bool valid() const { return state_ != nullptr; }
    // Samples from -1 to 1, from the stream's start on.
    void add(std::span<const float> samples);
    // Mean-square energy of each whole gating block so far (the first ends 400 ms in).
    const std::vector<double>& blocks() const { return blocks_; }

  private:
    void* state_ = nullptr;
    std::size_t step_;
    std::size_t inStep_ = 0;
    std::int64_t steps_ = 0;
    std::vector<double> blocks_;
};

// Integrated loudness in LUFS of gating blocks' energies, gated as a meter gates them.
double integratedFromBlocks(std::span<const double> energies);

// The highest true peak (linear) of x[from, to), four times oversampled, its neighbours in x
// included in the estimate.
float truePeak(std::span<const float> x, std::size_t from, std::size_t to);

// The one gain, in dB, that brings a lecture measured at `integratedLufs` to the target. Silence
// (or a level no voice has) keeps its level; the boost is bounded so hiss never becomes the
// lecture.
double normalisingGainDb(double integratedLufs);

// Multiplies the samples by `gain` and holds their true peak (estimated four times oversampled) at
// or below `ceiling` (linear), with a gain curve that reaches each peak smoothly (5 ms ahead) and
// recovers over about 80 ms. Samples that stay below the ceiling are only multiplied. Returns the
// number of samples whose gain the limiter reduced.
std::size_t applyGainAndLimit(std::span<float> samples, float gain, float ceiling,
                              std::uint32_t sampleRate);

// dB to a linear factor and back.
double dbToLinear(double db);
double linearToDb(double linear);

}  // namespace vorlix
