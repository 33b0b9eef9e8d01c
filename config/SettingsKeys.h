#pragma once

#include <QLatin1String>
#include <QString>
#include <optional>

class Settings;

// The keys of sections "file", "output", "mp3" and "activation", each declared once with the
// default each of its readers falls back to. A reader with no default here does not read the key.
template <typename T>
struct SettingKey {
    QLatin1String section;
    QLatin1String name;
    std::optional<T> shown;  // the settings window's show step
    std::optional<T> used;   // start-up, the recording start, its timer and the join
};

// Which reader asks: it decides the default.
enum class Reader { Shown, Used };

using BoolKey = SettingKey<bool>;
using IntKey = SettingKey<int>;
using TextKey = SettingKey<QLatin1String>;

namespace keys {

inline constexpr QLatin1String kFile("file");
inline constexpr QLatin1String kOutput("output");
inline constexpr QLatin1String kMp3("mp3");
inline constexpr QLatin1String kActivation("activation");

// Length limitation.
inline constexpr BoolKey kLengthEnabled{kFile, QLatin1String("enlength"), false, false};
inline constexpr BoolKey kTimeChecked{kFile, QLatin1String("rbtime"), false, false};
inline constexpr BoolKey kTimeOptionEnabled{kFile, QLatin1String("rbtimee"), false, {}};
inline constexpr TextKey kSeconds{kFile, QLatin1String("timet"), QLatin1String("120"),
                                  QLatin1String("120")};
inline constexpr BoolKey kSecondsEnabled{kFile, QLatin1String("time"), false, {}};
inline constexpr BoolKey kLimitStop{kFile, QLatin1String("limit_s"), false, false};
inline constexpr BoolKey kLimitNew{kFile, QLatin1String("limit_n"), false, false};

// Output folder and naming. An empty folder is the default folder (LocalFolder).
inline constexpr TextKey kDirectory{kOutput, QLatin1String("dir"), QLatin1String(""),
                                    QLatin1String("")};
inline constexpr TextKey kChosenDirectory{kOutput, QLatin1String("path"), {}, QLatin1String("")};
inline constexpr IntKey kFormat{kOutput, QLatin1String("format"), 0, {}};
inline constexpr TextKey kMainName{kOutput, QLatin1String("out_name"), QLatin1String("EUT"),
                                   QLatin1String("EUT")};
inline constexpr BoolKey kDateTimeMode{kOutput, QLatin1String("rb_time"), true, {}};
// The window and the recording disagree on purpose: a file without the key records by name.
inline constexpr BoolKey kCustomName{kOutput, QLatin1String("rb_cust"), false, true};

// MP3 encoder: indexes into the value tables, qualities 0..9.
inline constexpr IntKey kFrequency{kMp3, QLatin1String("frequency"), 8, 8};
inline constexpr IntKey kBitrate{kMp3, QLatin1String("bitrate"), 11, 11};
inline constexpr IntKey kChannel{kMp3, QLatin1String("channel"), 1, 1};
inline constexpr IntKey kQuality{kMp3, QLatin1String("quality"), 9, 9};
// The window shows VBR off while the recording and the join use it on: on purpose.
inline constexpr BoolKey kVbr{kMp3, QLatin1String("enable vbr"), false, true};
inline constexpr IntKey kVbrBitrate{kMp3, QLatin1String("vbr bitrate"), 11, 11};
// The window shows 9 while the recording and the join use 5: on purpose.
inline constexpr IntKey kVbrQuality{kMp3, QLatin1String("vbr quality"), 9, 5};
// Encoder threads of a join; no window shows it.
inline constexpr IntKey kThreads{kMp3, QLatin1String("threads"), {}, 0};

// Sound activation: the window and the recording share every default.
inline constexpr BoolKey kActivationEnabled{kActivation, QLatin1String("enabled"), false, false};
inline constexpr IntKey kThreshold{kActivation, QLatin1String("threshold"), -40, -40};  // dBFS
inline constexpr IntKey kHoldMs{kActivation, QLatin1String("hold"), 150, 150};
inline constexpr IntKey kSilenceSeconds{kActivation, QLatin1String("silence"), 5, 5};
inline constexpr IntKey kActivationMode{kActivation, QLatin1String("mode"), 0, 0};
inline constexpr IntKey kPrerollMs{kActivation, QLatin1String("preroll"), 500, 500};

}  // namespace keys

bool Read(const Settings& settings, const BoolKey& key, Reader reader);
QString Read(const Settings& settings, const TextKey& key, Reader reader);
// The stored index when it lies in 0..tableSize-1, else the reader's default.
int ReadIndex(const Settings& settings, const IntKey& key, Reader reader, int tableSize);
// The stored number when it lies in low..high, else the reader's default.
int ReadInRange(const Settings& settings, const IntKey& key, Reader reader, int low, int high);

void Write(Settings& settings, const BoolKey& key, bool value);
void Write(Settings& settings, const TextKey& key, const QString& value);
void Write(Settings& settings, const IntKey& key, int value);
