// The speaker's two signs of life, renewed with every completed two-second buffer: how loud
// the buffer was, and a REC mark that blinks with alternate buffers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vorlix {

// Largest sample minus smallest sample (peak to peak), 0 to 255; 0 for an empty buffer.
std::uint8_t levelRange(std::span<const std::uint8_t> samples);

// The level text for a range: nine grades from silence to too loud.
std::string_view levelText(int range);

// The REC mark is on after buffer A (odd completed-buffer count), off after buffer B (even).
constexpr bool recIndicatorChecked(std::int32_t completedBuffers) {
    return (completedBuffers & 1) != 0;
}

}  // namespace vorlix
