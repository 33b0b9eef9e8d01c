#pragma once

#include "config/RecordingSettings.h"

class AudioFile2;
class Settings;

// The values the settings window edits, apart from the window: its controls write here as they
// change, Commit stores what was edited as its OK does, and Discard drops the edits as closing
// the window does. A user's recording start commits pending edits too.
class SettingsModel {
public:
    // writer answers whether an MP3 combination can be encoded.
    SettingsModel(Settings& settings, const AudioFile2& writer);

    const RecordingSettings& Values() const { return values_; }
    void SetValues(const RecordingSettings& values) { values_ = values; }
    // Edited since they were loaded or stored, or not all stored yet: a key the file lacks is
    // read with each reader's own default, and the window's and the recording's differ.
    // Never loaded, nothing was edited.
    bool Pending() const { return loaded_ && (!complete_ || values_ != stored_); }

    // The stored settings, as the window's show step loads them.
    void Load();
    // The values as edited now count as stored: what the window makes of the loaded values
    // (an index out of its list, say) is no edit of the user's.
    void Settle() { stored_ = values_; }
    // Back to the values as loaded or last stored.
    void Discard() { values_ = stored_; }
    // While no recording folder is stored, the folder last chosen in the output directory
    // dialog (output/path), as an edit: a commit stores it as the recording folder.
    void UseChosenDirectory();

    // Writes "activation", "file" and "output", then "mp3" if the writer accepts the combination,
    // all in one write of the settings. False when refused: "mp3" keeps its values and stays
    // pending. Throws as the settings' write does.
    bool Commit();
    // As Commit when values were edited; otherwise writes nothing and returns true.
    bool CommitPending() { return !Pending() || Commit(); }

private:
    bool StoresEveryKey() const;

    Settings& settings_;
    const AudioFile2& writer_;
    RecordingSettings values_;
    RecordingSettings stored_;  // as loaded or last committed
    bool complete_ = false;     // the file holds every key a commit writes
    bool loaded_ = false;
};
