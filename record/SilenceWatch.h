#pragma once

#include <cstdint>

#include "components/SampleArray.h"

// Notices a recording of nothing: sound that has been digital silence (an RMS below -90 dBFS
// in every block) for the recording's first 10 s, or for 60 s later on. Each such stretch is
// noticed once; sound ends it.
class SilenceWatch {
public:
    static constexpr int kFirstSeconds = 10;
    static constexpr int kLaterSeconds = 60;

    // A new recording in that format.
    void Start(int sampleRate, int channels);
    // The next sound recorded; true when it makes the silence long enough to tell.
    bool Feed(const SampleArray& block);

private:
    int64_t rate_ = 0;
    int channels_ = 1;
    int64_t silentFrames_ = 0;
    bool heardSound_ = false;
    bool told_ = false;
};
