#pragma once

#include <QString>

class AudioFile2;

// What a repaired recording is handed to.
class RecoveryHost {
public:
    virtual ~RecoveryHost() = default;
    // The repaired file goes where a stopped recording goes: tagged and listed.
    virtual void RecordingRecovered(const QString& file) = 0;
    virtual void ShowMessage(const QString& text) = 0;
};

// Repairs the recordings that a crash, a kill or a power loss cut off, as the markers left in
// markerFolder by processes that are gone name them; each repaired file is handed on, and one
// message tells which files came back and how long each is, or why one could not. A marker is
// dismissed once dealt with, so nothing is repaired twice.
void RecoverRecordings(const QString& markerFolder, AudioFile2& reader, RecoveryHost& host);
