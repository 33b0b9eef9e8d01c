#pragma once

#include <cstdint>
#include <vector>

// Interleaved signed 16-bit samples, as the audio components hand them out and take them in.
// Element count = upper bound + 1; frames = elements / channels. An empty array (upper bound
// -1) marks the end of a file.
using SampleArray = std::vector<int16_t>;

inline int64_t UpperBound(const SampleArray& array) {
    return static_cast<int64_t>(array.size()) - 1;
}
