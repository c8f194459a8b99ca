// The narration as the sound of a web video: AAC-LC, 48 kHz, mono, about 96 kb/s, at one gain
// for the whole lecture with a true-peak limiter.
//
// The lecture is cut into pieces of about a minute, at its quietest moments, and each piece is
// encoded by an encoder of its own, so every core works on the sound at once. Each piece's encoder
// starts a few frames early on the real narration, so its first kept frame joins the piece before
// as a single encoder's would.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "video/audio_source.h"

namespace vorlix {

inline constexpr std::uint32_t kWebSampleRate = 48000;
inline constexpr std::int64_t kWebBitRate = 96000;

// The 16-bit narration the recorder may write beside the 8-bit one:
// vx_temp_<time>_<id>.wav -> vx_temp_<time>_<id>.s16.wav.
std::string wideNarrationSibling(std::string_view narrationPath);

// A narration file read as samples from -1 to 1 (mono; several channels are mixed), at any
// position: 8-bit or 16-bit PCM (24- and 32-bit and float too).
class NarrationSamples {
  public:
    // Opens the 16-bit narration beside `path` when there is one, else `path` itself.
    bool open(const std::string& path);
    const std::string& path() const { return path_; }
    std::uint32_t sampleRate() const { return source_.format().sampleRate; }
    std::int64_t length() const { return source_.length(); }
    // `out.size()` samples from `position`; zeros past the end. False on a read failure.
    bool read(std::int64_t position, std::span<float> out);

  private:
    AudioSource source_;
    std::string path_;
    std::vector<std::uint8_t> bytes_;
};

struct AacPacket {
    std::vector<std::uint8_t> data;
    std::int64_t pts = 0;  // in 1/48000 s; the first is -1024 (the encoder's priming)
    std::int64_t duration = 1024;
};

struct AacTrack {
    std::vector<AacPacket> packets;
    std::vector<std::uint8_t> extradata;  // the AudioSpecificConfig
    int initialPadding = 0;
    std::int64_t samples = 0;  // at 48 kHz
    double loudnessLufs = 0;   // as measured before the gain
    double gainDb = 0;
    std::size_t limitedSamples = 0;
};

struct EncodedNarration;

// One lecture's sound, encoded piece by piece. prepare, then encodePiece for every piece (from
// any threads, each piece once), then take. When the sound was encoded while recording (see
// live_sound.h) there are no pieces: take sets its level, and codes again only the stretches
// where the limiter works.
class WebAudioEncoder {
  public:
    // Opens the narration and plans the pieces; without the sound encoded while recording, its
    // loudness is measured here (over `threads` threads). False with the reason in error() when
    // the file cannot be read.
    bool prepare(const std::string& narrationPath, unsigned threads);
    std::size_t pieceCount() const { return pieces_.size(); }
    // The packet piece i starts at: where the sound before it was cut.
    std::int64_t pieceStart(std::size_t i) const { return pieces_.at(i).firstPacket; }
    bool encodePiece(std::size_t index);
    // The packets in order; empty when a piece failed.
    std::optional<AacTrack> take();
    const std::string& error() const { return error_; }

    // Integrated loudness of a narration file, measured over `threads` threads.
    static std::optional<double> measure(const std::string& narrationPath, unsigned threads);

  private:
    struct Piece {
        std::int64_t firstPacket = 0;  // kept packets [first, end)
        std::int64_t endPacket = 0;
        std::vector<AacPacket> packets;
        std::size_t limited = 0;
        bool done = false;
        std::string error;
    };
    void planPieces(unsigned threads);
    // Gating blocks of the sound at 48 kHz: {index, energy}, as BlockMeter numbers them.
    using Blocks = std::vector<std::pair<std::int64_t, double>>;
    // Encodes the piece's packets from the narration at `gain`, with the limiter; with `blocks`,
    // only measures the gating blocks inside them.
    bool encodeRange(Piece& piece, float gain, Blocks* blocks = nullptr) const;
    bool runRanges(std::vector<Piece>& pieces, float gain, std::vector<Blocks>* blocks);
    static std::vector<Piece> stretches(const std::vector<char>& again);
    std::optional<AacTrack> takeEncoded();
    double settleGain(double loudness, unsigned threads);

    std::string path_;
    std::uint32_t inRate_ = 0;
    std::int64_t inLength_ = 0;
    std::int64_t outLength_ = 0;
    std::int64_t packetCount_ = 0;
    std::int64_t alignFrames_ = 1;  // piece starts fall on input and output samples alike
    double loudness_ = 0;
    float gain_ = 1;
    std::vector<Piece> pieces_;
    std::vector<std::uint8_t> extradata_;
    int initialPadding_ = 0;
    std::string error_;
    unsigned threads_ = 1;
    std::shared_ptr<EncodedNarration> encoded_;
};

}  // namespace vorlix
