// How loud the last two seconds were, renewed with every completed capture buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vorlix {

// Largest sample minus smallest sample (peak to peak), 0 to 255; 0 for an empty buffer.
std::uint8_t levelRange(std::span<const std::uint8_t> samples);

// The level text for a range: nine grades from silence to too loud.
std::string_view levelText(int range);

}  // namespace vorlix
