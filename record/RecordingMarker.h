#pragma once

#include <QString>
#include <vector>

// Names the file a process is recording into, in a small file of its own in the settings
// folder, for as long as the file is open. A marker whose process is gone is what a crash,
// a kill or a power loss leaves behind: its recording has to be repaired.
class RecordingMarker {
public:
    // A marker left behind by a process that is gone.
    struct LeftBehind {
        QString marker;
        QString file;
    };

    explicit RecordingMarker(QString folder);
    ~RecordingMarker();
    RecordingMarker(const RecordingMarker&) = delete;
    RecordingMarker& operator=(const RecordingMarker&) = delete;

    // This process now records into file. The marker is replaced whole, so a crash leaves
    // either the old name or the new one. Throws SonvaraError when it cannot be written.
    void Begin(const QString& file);
    // The file is complete; the marker goes.
    void End();

    // The markers in folder whose process is no longer running (a process id taken by a new
    // process since does not count as running).
    static std::vector<LeftBehind> FindLeftBehind(const QString& folder);
    static void Dismiss(const LeftBehind& left);

private:
    QString path_;
};
