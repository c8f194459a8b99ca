// The web video's AAC frames: the one encoder setting every part of the sound is made with, and
// a change of a frame's level without coding it again.
//
// A mono AAC-LC frame opens with a single channel element whose 8-bit global gain every
// scalefactor is coded relative to, so adding k to it scales the decoded frame by exactly
// 2^(k/4) (1.505 dB a step).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vorlix {

inline constexpr double kAacGainStepDb = 1.5051499783199060;  // 20 log10(2) / 4

struct AacCodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using AacCodecPtr = std::unique_ptr<AVCodecContext, AacCodecCloser>;

// The AAC-LC encoder, 48 kHz mono, about 96 kb/s. Its frames are plain single channel elements
// (no encoder tag, no noise substitution), so their level can be shifted. Null with the reason
// in `error`.
AacCodecPtr openWebAacEncoder(std::string& error);

// Adds `steps` to the frame's global gain. False, frame untouched, when it does not open with a
// single channel element or the gain would leave 0..255.
bool shiftAacGain(std::span<std::uint8_t> frame, int steps);

// Decodes frames: single ones to tell whether a shifted frame is still valid (every scalefactor
// within 0..255, which the frame's header alone does not show), or a stream to hear it.
class AacFrameCheck {
  public:
    bool open(std::span<const std::uint8_t> extradata);
    ~AacFrameCheck();
    bool decodes(std::span<const std::uint8_t> frame);
    // Decodes the next frame of a stream into `out` (mono); false when it does not decode.
    bool decode(std::span<const std::uint8_t> frame, std::vector<float>& out);

  private:
    AacCodecPtr c_;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

}  // namespace vorlix
