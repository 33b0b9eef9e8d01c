#include "record/SilenceWatch.h"

#include <algorithm>

void SilenceWatch::Start(int sampleRate, int channels) {
    rate_ = sampleRate;
    channels_ = std::max(1, channels);
    silentFrames_ = 0;
    heardSound_ = told_ = false;
}

namespace {

// -90 dBFS of a full-scale 16-bit sample, squared.
constexpr double kQuietSquare = 1.0737;

// The block's RMS is below -90 dBFS: digital silence, or the least bit of noise on it.
bool Silent(const SampleArray& block) {
    double sum = 0;
    for (const int16_t sample : block)
        sum += double(sample) * sample;
    return sum < kQuietSquare * static_cast<double>(block.size());
}

}  // namespace

bool SilenceWatch::Feed(const SampleArray& block) {
    if (!Silent(block)) {
        heardSound_ = true;
        silentFrames_ = 0;
        told_ = false;
        return false;
    }
    silentFrames_ += static_cast<int64_t>(block.size()) / channels_;
    const int64_t limit = rate_ * (heardSound_ ? kLaterSeconds : kFirstSeconds);
    if (told_ || rate_ <= 0 || silentFrames_ < limit)
        return false;
    told_ = true;
    return true;
}
