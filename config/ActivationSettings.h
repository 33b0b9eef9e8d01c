#pragma once

class Settings;

// Sound-activated recording: capture runs armed, and only passages of sound are written, each
// with the sound just before it.
struct ActivationSettings {
    bool enabled = false;
    int thresholdDb = -40;   // dBFS of the RMS level that counts as sound
    int holdMs = 150;        // how long the sound must last to start a passage
    int silenceSeconds = 5;  // how long below the threshold ends a passage
    int mode = 0;            // 0: silences left out of one file; 1: a file per passage
    int prerollMs = 500;     // sound kept from before the trigger

    bool operator==(const ActivationSettings&) const = default;
};

// The ranges a stored value must lie in; outside them the default is used.
inline constexpr int kThresholdLowestDb = -90;
inline constexpr int kLongestHoldMs = 10000;
inline constexpr int kLongestSilenceSeconds = 600;
inline constexpr int kLongestPrerollMs = 10000;

ActivationSettings LoadActivationSettings(const Settings& settings);
void SaveActivationSettings(const ActivationSettings& values, Settings& settings);
