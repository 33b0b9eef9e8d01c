#pragma once

#include "config/RecordingSettings.h"

class AudioFile2;
class Settings;

// The values the settings window edits, apart from the window: its controls write here as they
// change, and Commit stores them as its OK does. A recording start commits them too, whether
// or not the window is open or was ever shown.
class SettingsModel {
public:
    // writer answers whether an MP3 combination can be encoded.
    SettingsModel(Settings& settings, const AudioFile2& writer);

    const RecordingSettings& Values() const { return values_; }
    void SetValues(const RecordingSettings& values) { values_ = values; }

    // The stored settings, as the window's show step loads them.
    void Load();
    // As Load, with the folder last chosen in the output directory dialog (output/path) as the
    // folder while no recording folder is stored: every commit stores the folder as the
    // recording folder, and a stored one must survive that.
    void LoadAtStartUp();

    // Writes "activation", "file" and "output", then "mp3" if the writer accepts the combination.
    // False when refused: "mp3" keeps its values.
    bool Commit() const;

private:
    Settings& settings_;
    const AudioFile2& writer_;
    RecordingSettings values_;
};
