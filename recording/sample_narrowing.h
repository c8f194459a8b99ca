// 16-bit sound to the narration's unsigned 8 bits. Plain rounding would turn quiet speech, a few
// 16-bit steps high, into a constant; a random offset of up to one 8-bit step before the cut
// (dither) keeps its average, so it stays audible under a soft hiss. A value that already lies on
// an 8-bit step comes out exactly (silence stays silence for the level meter).
#pragma once

#include <cstdint>
#include <span>

namespace vorlix {

class SampleNarrowing {
  public:
    // s16le holds whole signed 16-bit little-endian samples; out receives one byte for each.
    void narrow(std::span<const std::uint8_t> s16le, std::span<std::uint8_t> out);

  private:
    std::uint32_t noise_ = 0x9E3779B9u;  // xorshift state, never 0
};

}  // namespace vorlix
