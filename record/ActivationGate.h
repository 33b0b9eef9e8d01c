#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "components/SampleArray.h"
#include "config/ActivationSettings.h"

// What the gate makes of one captured block.
struct GateStep {
    std::vector<SampleArray> write;  // in order: the sound before the trigger comes first
    bool passageStarted = false;
    bool passageEnded = false;  // after the writes; in mode 1 the file is complete here
};

// Decides, block by block, which captured sound a sound-activated recording writes. Waiting, it
// keeps the latest sound in a ring; a passage starts once the level has stayed at or above the
// threshold for the hold time, and is written from the pre-roll before the sound's onset, so
// nothing between the ring and the live blocks is lost. Inside a passage, pauses shorter than
// the silence time are written whole; a longer silence ends the passage after a half-second tail.
// The level is the RMS in dBFS, as the level display shows it, taken over 10 ms steps: a click
// shorter than the hold starts nothing, dips of a quarter second or less do not break the sound,
// and the half-second tail is timed from where the sound ends.
class ActivationGate {
public:
    ActivationGate(const ActivationSettings& settings, int sampleRate, int channels);

    GateStep Feed(const SampleArray& block);
    bool Waiting() const { return !open_; }
    // A file per passage: the recording finishes its file when a passage ends.
    bool FilePerPassage() const { return settings_.mode == 1; }

private:
    GateStep FeedWaiting(const SampleArray& block);
    GateStep FeedPassage(const SampleArray& block);
    // The frame at which the sound reached the hold time in this block, or -1.
    int64_t TriggerIn(const SampleArray& block, int64_t blockStart);
    void KeepInRing(const SampleArray& block);
    int64_t SoundEndIn(const SampleArray& block) const;
    bool Loud(const int16_t* samples, size_t count) const;
    int64_t Frames(int64_t ms) const { return ms * rate_ / 1000; }

    ActivationSettings settings_;
    int64_t rate_;
    int channels_;
    int64_t fed_ = 0;             // frames fed so far
    SampleArray ring_;            // the latest sound while waiting
    int64_t ringStart_ = 0;       // the frame number of ring_'s first frame
    int64_t loudSince_ = -1;      // where the current stretch of sound began, or -1
    int64_t loudFrames_ = 0;      // above the threshold in that stretch
    int64_t quietInStretch_ = 0;  // below it since the stretch was last loud
    bool open_ = false;
    int64_t quietFrames_ = 0;            // below the threshold since the last sound
    std::vector<SampleArray> heldBack_;  // quiet past the tail: written only if sound returns
};
