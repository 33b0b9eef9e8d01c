#pragma once

#include <QDate>
#include <QLatin1String>
#include <QString>
#include <QTime>
#include <array>
#include <optional>

class Settings;

// Every key of the settings file, each declared once with the default each of its readers falls
// back to. A reader with no default here does not read the key.
template <typename T>
struct SettingKey {
    QLatin1String section;
    QLatin1String name;
    std::optional<T> shown;  // a window's show step
    // Start-up, the recording start, its timer, the join, the schedule's power-off and the
    // default tag's writer.
    std::optional<T> used;
};

// A key whose default the reader works out as it reads: the time or the day of the reading,
// the last device.
template <typename T>
struct ComputedKey {
    QLatin1String section;
    QLatin1String name;
};

// Which reader asks: it decides the default.
enum class Reader { Shown, Used };

using BoolKey = SettingKey<bool>;
using IntKey = SettingKey<int>;
using TextKey = SettingKey<QLatin1String>;
using TimeKey = ComputedKey<QTime>;
using DateKey = ComputedKey<QDate>;

// The schedule's recording slots, a key each.
template <typename Key>
using PerSlot = std::array<Key, 3>;

namespace keys {

inline constexpr QLatin1String kFile("file");
inline constexpr QLatin1String kOutput("output");
inline constexpr QLatin1String kMp3("mp3");
inline constexpr QLatin1String kActivation("activation");
inline constexpr QLatin1String kRd("rd");
inline constexpr QLatin1String kAutorec("autorec");
inline constexpr QLatin1String kTimeclose("timeclose");
inline constexpr QLatin1String kTime("Time");
inline constexpr QLatin1String kInfo("info");

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

// The recording source's device, read by the source dialog; the last device when unset.
inline constexpr ComputedKey<int> kDevice{kRd, QLatin1String("rd")};

// The schedule, which only its window reads: an unset time or day is that of the reading.
inline constexpr IntKey kScheduleMode{kAutorec, QLatin1String("format"), 0, {}};
inline constexpr PerSlot<BoolKey> kSlotOn{{{kAutorec, QLatin1String("cb1"), false, {}},
                                           {kAutorec, QLatin1String("cb2"), false, {}},
                                           {kAutorec, QLatin1String("cb3"), false, {}}}};
inline constexpr PerSlot<TimeKey> kSlotBegin{{{kAutorec, QLatin1String("begintime1")},
                                              {kAutorec, QLatin1String("begintime2")},
                                              {kAutorec, QLatin1String("begintime3")}}};
inline constexpr PerSlot<TimeKey> kSlotEnd{{{kAutorec, QLatin1String("endtime1")},
                                            {kAutorec, QLatin1String("endtime2")},
                                            {kAutorec, QLatin1String("endtime3")}}};
inline constexpr PerSlot<BoolKey> kSlotBeginEnabled{
    {{kAutorec, QLatin1String("begintime1c"), false, {}},
     {kAutorec, QLatin1String("begintime2c"), false, {}},
     {kAutorec, QLatin1String("begintime3c"), false, {}}}};
inline constexpr PerSlot<BoolKey> kSlotEndEnabled{
    {{kAutorec, QLatin1String("endtime1c"), false, {}},
     {kAutorec, QLatin1String("endtime2c"), false, {}},
     {kAutorec, QLatin1String("endtime3c"), false, {}}}};
inline constexpr DateKey kScheduleDay{kAutorec, QLatin1String("date")};
// The power-off switch is what the schedule's runner obeys; its window shows it too.
inline constexpr BoolKey kPowerOff{kTimeclose, QLatin1String("bclose"), false, false};
inline constexpr TimeKey kPowerOffTime{kTime, QLatin1String("Time")};

// The default tag, spelt as the file has always spelt it. The tag window and the tag's writer
// share every default; a null text stays null. The genre is stored as the genre list's number
// and read as text, for a hand edit may name one.
inline constexpr TextKey kTagTitle{kInfo, QLatin1String("title"), QLatin1String(), QLatin1String()};
inline constexpr TextKey kTagArtist{kInfo, QLatin1String("arist"), QLatin1String(),
                                    QLatin1String()};
inline constexpr TextKey kTagAlbum{kInfo, QLatin1String("album"), QLatin1String(), QLatin1String()};
inline constexpr TextKey kTagComment{kInfo, QLatin1String("comment"), QLatin1String(),
                                     QLatin1String()};
inline constexpr TextKey kTagYear{kInfo, QLatin1String("year"), QLatin1String("0"),
                                  QLatin1String("0")};
inline constexpr TextKey kTagTrack{kInfo, QLatin1String("Track"), QLatin1String("0"),
                                   QLatin1String("0")};
inline constexpr TextKey kTagGenre{kInfo, QLatin1String("genre"), QLatin1String(), QLatin1String()};

}  // namespace keys

bool Read(const Settings& settings, const BoolKey& key, Reader reader);
QString Read(const Settings& settings, const TextKey& key, Reader reader);
// Any stored number: the caller judges it.
int Read(const Settings& settings, const IntKey& key, Reader reader);
int Read(const Settings& settings, const ComputedKey<int>& key, int fallback);
QTime Read(const Settings& settings, const TimeKey& key, const QTime& fallback);
QDate Read(const Settings& settings, const DateKey& key, const QDate& fallback);
// The stored index when it lies in 0..tableSize-1, else the reader's default.
int ReadIndex(const Settings& settings, const IntKey& key, Reader reader, int tableSize);
// The stored number when it lies in low..high, else the reader's default.
int ReadInRange(const Settings& settings, const IntKey& key, Reader reader, int low, int high);

void Write(Settings& settings, const BoolKey& key, bool value);
void Write(Settings& settings, const TextKey& key, const QString& value);
void Write(Settings& settings, const IntKey& key, int value);
void Write(Settings& settings, const TimeKey& key, const QTime& value);
void Write(Settings& settings, const DateKey& key, const QDate& value);
