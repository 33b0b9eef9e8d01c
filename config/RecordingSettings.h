#pragma once

#include <QString>
#include <optional>

#include "config/ActivationSettings.h"
#include "config/Mp3Settings.h"
#include "config/OutputFolder.h"

class AudioFile2;
class Settings;

// What the settings window's controls hold: length limitation, output folder and naming, MP3
// encoder. Loading, saving and the effects of the window's options live here, without widgets.
struct RecordingSettings {
    // Section "file". The enabled states are stored as they are shown.
    bool lengthEnabled = false;
    bool timeChecked = true;
    bool timeOptionEnabled = true;
    QString seconds = QStringLiteral("120");
    bool secondsEnabled = true;
    bool limitStop = true;
    bool limitNew = false;

    // Section "output".
    QString directory = DefaultOutputDirectory();
    int format = 0;  // item of the format list; 0 is MP3, its only item
    QString mainName = QStringLiteral("E");
    bool dateTimeMode = true;
    bool customName = false;

    // Section "mp3". Until loaded, quality and VBR quality show 0 and VBR off.
    Mp3Settings mp3{.quality = 0, .vbr = false, .vbrQuality = 0};

    // Section "activation", which the model loads and commits beside the others.
    ActivationSettings activation;

    bool operator==(const RecordingSettings&) const = default;
};

// The controls as the window's show step loads them, with that step's defaults (VBR off,
// VBR quality 9). Indexes outside their tables give the defaults.
RecordingSettings LoadRecordingSettings(const Settings& settings);

// Writes "file", then "output", then asks the writer whether the MP3 combination can be
// encoded and writes "mp3" only when it can. False when refused: "mp3" keeps its values.
bool SaveRecordingSettings(const RecordingSettings& values, Settings& settings,
                           const AudioFile2& writer);

// What the user is told when SaveRecordingSettings refuses.
QString UnsupportedMp3Message();

// The "Default" button's values. The seconds, "new file" choice and folder are kept; turning
// the limitation off disables its controls as its click would.
RecordingSettings Defaulted(RecordingSettings values);

// The limitation check box was clicked: its option and the seconds follow it.
void LengthEnabledClicked(RecordingSettings& values);
// The "Time: " option was clicked: the seconds are editable only while it is enabled and on.
void TimeOptionClicked(RecordingSettings& values);
// The VBR bit rate and quality are editable only with VBR on.
inline bool VbrControlsEnabled(const RecordingSettings& values) {
    return values.mp3.vbr;
}

// The two naming examples shown beside the naming options.
struct NamingExamples {
    QString dateTime;
    QString custom;
    bool operator==(const NamingExamples&) const = default;
};
NamingExamples ExamplesFor(const QString& mainName);
// "Custom Name" was clicked. With an empty main name it becomes "EUT"; the examples to show
// then, or none when they stay as they are.
std::optional<NamingExamples> CustomNameClicked(RecordingSettings& values);
