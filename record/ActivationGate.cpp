#include "record/ActivationGate.h"

#include <algorithm>
#include <utility>

#include "components/SoundLevel.h"

namespace {

// The step in which the hold is timed, and the quiet kept after each passage.
constexpr int64_t kStepMs = 10;
// Dips this short do not break a stretch of sound: speech falls silent at every closure of a
// "p" or "t", and the pre-roll must count from the first word, not from a later syllable.
constexpr int64_t kBridgeMs = 250;
constexpr int64_t kTailMs = 500;

}  // namespace

ActivationGate::ActivationGate(const ActivationSettings& settings, int sampleRate, int channels)
    : settings_(settings), rate_(std::max(1, sampleRate)), channels_(std::max(1, channels)) {}

bool ActivationGate::Loud(const int16_t* samples, size_t count) const {
    return RmsDbfs(samples, count) >= settings_.thresholdDb;
}

GateStep ActivationGate::Feed(const SampleArray& block) {
    GateStep step = open_ ? FeedPassage(block) : FeedWaiting(block);
    fed_ += static_cast<int64_t>(block.size()) / channels_;
    return step;
}

GateStep ActivationGate::FeedWaiting(const SampleArray& block) {
    GateStep step;
    const bool triggered = TriggerIn(block, fed_) >= 0;
    ring_.insert(ring_.end(), block.begin(), block.end());
    if (!triggered) {
        KeepInRing(block);
        return step;
    }
    const int64_t from = std::max(ringStart_, loudSince_ - Frames(settings_.prerollMs));
    step.write.emplace_back(ring_.begin() + (from - ringStart_) * channels_, ring_.end());
    step.passageStarted = true;
    ring_.clear();
    loudSince_ = -1;
    open_ = true;
    quietFrames_ = 0;
    return step;
}

int64_t ActivationGate::TriggerIn(const SampleArray& block, int64_t blockStart) {
    const int64_t frames = static_cast<int64_t>(block.size()) / channels_;
    const int64_t step = std::max<int64_t>(1, Frames(kStepMs));
    for (int64_t at = 0; at < frames; at += step) {
        const int64_t length = std::min(step, frames - at);
        if (!Loud(block.data() + at * channels_, static_cast<size_t>(length * channels_))) {
            quietInStretch_ += length;
            if (quietInStretch_ > Frames(kBridgeMs))
                loudSince_ = -1;
            continue;
        }
        if (loudSince_ < 0) {
            loudSince_ = blockStart + at;
            loudFrames_ = 0;
        }
        quietInStretch_ = 0;
        loudFrames_ += length;
        if (loudFrames_ >= Frames(settings_.holdMs))
            return blockStart + at + length;
    }
    return -1;
}

// Enough for the pre-roll before a stretch of sound that may still reach the hold time.
void ActivationGate::KeepInRing(const SampleArray& block) {
    const int64_t end = fed_ + static_cast<int64_t>(block.size()) / channels_;
    const int64_t keepFrom = (loudSince_ >= 0 ? loudSince_ : end) - Frames(settings_.prerollMs);
    ringStart_ = end - static_cast<int64_t>(ring_.size()) / channels_;
    if (keepFrom <= ringStart_)
        return;
    ring_.erase(ring_.begin(), ring_.begin() + (keepFrom - ringStart_) * channels_);
    ringStart_ = keepFrom;
}

// Where the last sound in a block ends, in frames from its start; 0 when it holds none.
int64_t ActivationGate::SoundEndIn(const SampleArray& block) const {
    const int64_t frames = static_cast<int64_t>(block.size()) / channels_;
    const int64_t step = std::max<int64_t>(1, Frames(kStepMs));
    int64_t end = 0;
    for (int64_t at = 0; at < frames; at += step) {
        const int64_t length = std::min(step, frames - at);
        if (Loud(block.data() + at * channels_, static_cast<size_t>(length * channels_)))
            end = at + length;
    }
    return end;
}

// The silence after a passage's last sound is timed from where that sound ends, not from the
// end of its block, so every passage keeps the same tail.
GateStep ActivationGate::FeedPassage(const SampleArray& block) {
    GateStep step;
    const int64_t frames = static_cast<int64_t>(block.size()) / channels_;
    const int64_t soundEnd = SoundEndIn(block);
    if (soundEnd > 0) {
        step.write = std::exchange(heldBack_, {});
        quietFrames_ = 0;
    }
    const int64_t tailLeft = std::max<int64_t>(0, Frames(kTailMs) - quietFrames_);
    const auto split = block.begin() + std::min(frames, soundEnd + tailLeft) * channels_;
    if (split != block.begin())
        step.write.emplace_back(block.begin(), split);
    if (split != block.end())
        heldBack_.emplace_back(split, block.end());
    quietFrames_ += frames - soundEnd;
    if (quietFrames_ < Frames(int64_t{settings_.silenceSeconds} * 1000))
        return step;
    // The passage is over: the quiet held back is the sound before whatever comes next.
    open_ = false;
    step.passageEnded = true;
    ring_.clear();
    for (const SampleArray& held : std::exchange(heldBack_, {}))
        ring_.insert(ring_.end(), held.begin(), held.end());
    KeepInRing(block);
    return step;
}
