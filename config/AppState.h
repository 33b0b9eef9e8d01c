#pragma once

#include <QPoint>
#include <QString>
#include <QtGlobal>

// The state that recording, playback, the list, the join job and the windows share. One
// instance lives as long as the program and is handed by reference to whoever reads or writes
// it; everything runs on the user-interface thread, so it has no locks.
struct AppState {
    // Full path of the file being recorded, or of the last one.
    QString OutputFile;

    bool Recording = false;       // a recording is under way, paused or not
    bool RecordNotPaused = true;  // false only while a recording is paused
    bool Playing = false;         // playback is under way, paused or not
    bool PlayNotPaused = true;    // false only while playback is paused
    bool StoppingRecord = false;  // the stop routine is finishing a recording
    bool JoinRunning = false;     // a join or convert job is running
    bool ListShown = false;       // the join list window is showing

    // The recording and playback displays are refreshed only while the user is not dragging
    // the main window. It starts true although no mouse release has happened yet: otherwise a
    // recording started by the schedule before the first click would show no time or size,
    // and a move with the button held would drag the window from a press that never happened.
    bool NotDragging = true;

    bool BarFollows = true;  // the seek bar follows playback; false while the user holds it

    // Samples counted before the latest capture start or playback start (kept across a
    // pause), and that base plus what the component has counted since.
    qint64 PositionBase = 0;
    qint64 PlayedPosition = 0;

    // A press hit one of the skin's command elements, or the list window is snapped under
    // the main window during its drag; a release over either window clears it.
    bool SkinPressed = false;
    // Client coordinates of the press that began a drag of the main window.
    QPoint DragOrigin;
};
