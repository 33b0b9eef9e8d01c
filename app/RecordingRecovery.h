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

// Repairs the recordings that a crash or a kill cut off, as the markers left in markerFolder
// by processes that are gone name them: only where the marker shows this computer, boot and
// PID namespace, and the file is still the regular file recorded into with its length not yet
// written. Each repaired file is handed on, and one message tells which files came back and
// how long each is, and which were left as they are and why. A marker is dismissed once dealt
// with, so nothing is repaired twice; one whose process cannot be checked from here (another
// computer or boot, or an earlier version's) stays while its file may still be written.
void RecoverRecordings(const QString& markerFolder, AudioFile2& reader, RecoveryHost& host);
