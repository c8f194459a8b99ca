#include "recording/level_meter.h"

#include "resources/texts.h"

namespace vorlix {

std::uint8_t levelRange(std::span<const std::uint8_t> samples) {
    if (samples.empty()) return 0;
    std::uint8_t lo = samples.front();
    std::uint8_t hi = lo;
    // Two independent reductions keep the loop free of branches the compiler cannot vectorise.
    for (std::uint8_t s : samples) {
        lo = s < lo ? s : lo;
        hi = s > hi ? s : hi;
    }
    return static_cast<std::uint8_t>(hi - lo);
}

std::string_view levelText(int range) {
    for (const auto& grade : texts::kLevelTexts) {
        if (range >= grade.minRange) return grade.text;
    }
    return texts::kLevelTexts.back().text;
}

}  // namespace vorlix
