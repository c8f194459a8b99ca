// Tones made with sox, played into the test's sound server, and read back out of recorded
// unsigned 8-bit sound.
#pragma once

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace vorlix::testing {

// Where the signal crosses the zero line (128) upwards, with a margin against quantisation noise.
inline std::vector<std::size_t> upwardCrossings(std::span<const std::uint8_t> samples) {
    std::vector<std::size_t> at;
    bool low = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < 128 - 6) low = true;
        else if (samples[i] > 128 + 6 && low) low = false, at.push_back(i);
    }
    return at;
}

// The frequency of a stretch of 44100-Hz sound.
inline int frequencyOf(std::span<const std::uint8_t> s) {
    return static_cast<int>(upwardCrossings(s).size() * 44100 / s.size());
}

// A 16-bit mono 44100-Hz sine; true when sox made it.
inline bool makeTone(const std::string& path, int hz, int seconds, const char* volume) {
    return std::system(("sox -n -r 44100 -c 1 -b 16 '" + path + "' synth " + std::to_string(seconds) +
                        " sine " + std::to_string(hz) + " vol " + volume).c_str()) == 0;
}

}  // namespace vorlix::testing
