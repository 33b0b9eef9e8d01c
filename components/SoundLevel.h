#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// The level of a stretch of interleaved samples: the RMS over all of them, in dB below full
// scale. Digital silence gives kSilenceDb rather than minus infinity.
inline constexpr double kSilenceDb = -120.0;

// The RMS level of `count` samples whose squares sum to `sumOfSquares`.
inline double RmsDbfs(double sumOfSquares, size_t count) {
    if (count == 0 || sumOfSquares <= 0.0)
        return kSilenceDb;
    const double db =
        10.0 * std::log10(sumOfSquares / static_cast<double>(count) / (32768.0 * 32768.0));
    return db < kSilenceDb ? kSilenceDb : db;
}

inline double RmsDbfs(const int16_t* samples, size_t count) {
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return RmsDbfs(sum, count);
}
