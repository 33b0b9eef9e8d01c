#include "config/ActivationSettings.h"

#include "config/SettingsKeys.h"

// The window and the recording read the same defaults, so either reader will do.
ActivationSettings LoadActivationSettings(const Settings& settings) {
    using namespace keys;
    constexpr Reader kUsed = Reader::Used;
    ActivationSettings v;
    v.enabled = Read(settings, kActivationEnabled, kUsed);
    v.thresholdDb = ReadInRange(settings, kThreshold, kUsed, kThresholdLowestDb, 0);
    v.holdMs = ReadInRange(settings, kHoldMs, kUsed, 0, kLongestHoldMs);
    v.silenceSeconds = ReadInRange(settings, kSilenceSeconds, kUsed, 1, kLongestSilenceSeconds);
    v.mode = ReadInRange(settings, kActivationMode, kUsed, 0, 1);
    v.prerollMs = ReadInRange(settings, kPrerollMs, kUsed, 0, kLongestPrerollMs);
    return v;
}

void SaveActivationSettings(const ActivationSettings& v, Settings& settings) {
    using namespace keys;
    Write(settings, kActivationEnabled, v.enabled);
    Write(settings, kThreshold, v.thresholdDb);
    Write(settings, kHoldMs, v.holdMs);
    Write(settings, kSilenceSeconds, v.silenceSeconds);
    Write(settings, kActivationMode, v.mode);
    Write(settings, kPrerollMs, v.prerollMs);
}
