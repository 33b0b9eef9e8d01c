#pragma once

#include <QElapsedTimer>
#include <QString>
#include <vector>

// Names the file a process is recording into, in a small file of its own in the settings
// folder, for as long as the file is open. A marker whose process is gone is what a crash,
// a kill or a power loss leaves behind: its recording has to be repaired. A marker also tells
// on which computer, in which boot and PID namespace it was written, and which file (device,
// inode, size so far) it means, so that a recording still running elsewhere, or a file that
// has since become another, is never taken for a cut-off one.
class RecordingMarker {
public:
    // The file as it was when the marker was last written.
    struct FileIdentity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
    };

    // A marker whose process is not known to be running here.
    struct LeftBehind {
        QString marker;
        QString file;
        // Empty when the marker was written on this computer in this boot and PID namespace
        // by a process that is gone; otherwise why that cannot be told.
        QString doubt;
        FileIdentity identity;
    };

    explicit RecordingMarker(QString folder);
    ~RecordingMarker();
    RecordingMarker(const RecordingMarker&) = delete;
    RecordingMarker& operator=(const RecordingMarker&) = delete;

    // This process now records into file. The marker is replaced whole, so a crash leaves
    // either the old name or the new one. Throws SonvaraError when it cannot be written.
    void Begin(const QString& file);
    // The file has grown: its size is written again, at most once a second.
    void Update();
    // The file is complete; the marker goes.
    void End();
    // The file stays open a little longer while the next one begins (a split part takes the
    // next part's first sound): its marker moves aside, under a name of its own, until
    // EndKept, so that a crash meanwhile leaves both files marked.
    void Keep();
    void EndKept();

    // The markers in folder but those of processes still running on this computer.
    static std::vector<LeftBehind> FindLeftBehind(const QString& folder);
    static void Dismiss(const LeftBehind& left);

private:
    void Write();

    QString path_;
    QString keptPath_;  // the marker of the file that Keep moved aside
    QString file_;
    QElapsedTimer sinceWritten_;
};
