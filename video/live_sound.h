// The narration's sound for the web video, encoded while the lecture is recorded: a background
// thread follows the growing narration file and encodes it at its own level, measuring its
// loudness and peaks as it goes, into a file beside it. From ten seconds on it already holds the
// peaks that the gain the lecture is heading for would lift past the ceiling. At End the web
// video takes that sound and only sets its level (see web_audio.h), instead of encoding the hour
// again.
//
// The file is trusted only when it is complete and was made from the narration exactly as it is
// now; anything else (a lecture cut short by a crash, another narration of the same name) is
// ignored and the sound is encoded from the narration.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "video/web_audio.h"

namespace vorlix {

// The most the level of encoded frames is shifted, in gain steps: within the largest boost.
inline constexpr int kMaxGainSteps = 26;
// Each encoded frame is tried shifted this far up and down: End shifts it by the difference
// between the final gain and the level it was encoded at, seldom more.
inline constexpr int kShiftProbeSteps = 8;

struct EncodedNarration {
    std::vector<std::uint8_t> extradata;
    int initialPadding = 0;
    std::vector<AacPacket> packets;  // as one encoder gives them for the whole narration
    // Per packet: the frame decodes shifted by up to kShiftProbeSteps either way.
    std::vector<std::uint8_t> shiftable;
    // Per 1024 samples at 48 kHz: the true peak at the narration's own level, and the level, in
    // gain steps, the frame was encoded at.
    std::vector<float> framePeaks;
    std::vector<std::int8_t> frameSteps;
    // Energies of the gating blocks (BlockMeter) at the narration's own level: as encoded, and
    // as decoded again (what a listener hears).
    std::vector<double> blocks;
    std::vector<double> heard;
    std::int64_t samples = 0;  // at 48 kHz
};

// "x.wav" -> "x.sound".
std::string encodedNarrationPath(std::string_view narrationPath);

// The sound encoded beside the narration, when it is complete and matches the narration file
// that NarrationSamples opens for `narrationPath` sample for sample.
std::optional<EncodedNarration> readEncodedNarration(const std::string& narrationPath);

class LiveSoundEncoder {
  public:
    LiveSoundEncoder() = default;
    ~LiveSoundEncoder();  // stops without completing: the file left is not trusted
    LiveSoundEncoder(const LiveSoundEncoder&) = delete;
    LiveSoundEncoder& operator=(const LiveSoundEncoder&) = delete;

    // Follows the narration (its 16-bit file when there is one) from now on.
    void start(const std::string& narrationPath);
    // Encodes what the finished narration holds beyond what was done and completes the file.
    // False when the file could not be made (the web video then encodes from the narration).
    bool finish();

  private:
    void run(std::string source, std::string output);
    void stop(bool complete);

    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stopping_ = false;
    bool complete_ = false;
    std::atomic<bool> ok_ = false;
};

}  // namespace vorlix
