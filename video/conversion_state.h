// Whether the lecture's video is done with: set when a build ended without a failure or the
// user gave the conversion up. The lecture controller clears it before each attempt and asks
// again while it stays clear.
#pragma once

#include <cstdint>

namespace vorlix {

struct ConversionState {
    std::int32_t conversionFinished = 0;
};

}  // namespace vorlix
