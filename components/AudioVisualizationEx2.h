#pragma once

#include <optional>

#include "components/SampleArray.h"

// The level display: shows the RMS level of each channel of the arrays it is given.
class AudioVisualizationEx2 {
public:
    virtual ~AudioVisualizationEx2() = default;

    virtual void ShowArray(const SampleArray& array, int channels) = 0;
    virtual void SetVisible(bool visible) = 0;
    // A mark at this level in dBFS, where sound activation starts a recording; none clears it.
    virtual void SetMark(std::optional<double> db) { (void)db; }
};
