#pragma once

#include <QPoint>
#include <QString>
#include <functional>

#include "components/WindowFrame.h"
#include "config/Activity.h"
#include "join/ListDocking.h"

class QObject;
class Skin;

// What the main window's commands ask of the rest of the program, and what runs now. Each
// operation makes its own further checks; the commands only apply the conditions of their own.
class MainOperations : public Activity {
public:
    virtual void StartRecording() = 0;
    virtual void StopRecording() = 0;
    virtual void ToggleRecordPause() = 0;

    virtual void StartPlayback() = 0;
    virtual void StopPlayback() = 0;
    virtual void TogglePlayPause() = 0;
    // barPosition on the seek bar's scale of 0..980.
    virtual void SeekTo(int barPosition) = 0;

    virtual void AddFiles() = 0;
    virtual void RemoveSelected() = 0;
    virtual void MoveUp() = 0;
    virtual void MoveDown() = 0;
    virtual void JoinFiles() = 0;
    // A request: the running job ends at its next block.
    virtual void StopJoin() = 0;

    virtual void ShowList() = 0;  // its show docks it under the main window
    virtual void CloseList() = 0;
    virtual bool ListShown() const = 0;
    // Shown, but on the task bar; a list that cannot be minimised never is.
    virtual bool ListMinimized() const { return false; }
    virtual void FocusList() = 0;  // keyboard focus to the list view

    // The dialogs are shown modally with their top-left corner at topLeft (screen
    // coordinates); each returns when its dialog is closed.
    virtual void ShowScheduleDialog(QPoint topLeft) = 0;
    // Also enables the dialog's help button, which the settings dialog disables when it
    // shows the source dialog as one of its pages.
    virtual void ShowSourceDialog(QPoint topLeft) = 0;
    virtual void ShowSettingsDialog(QPoint topLeft) = 0;
    virtual void ShowTagDialog(QPoint topLeft) = 0;

    // The help's first page, a file that comes with the program.
    virtual QString HelpFile() const = 0;
    // Hands file to the desktop's viewer without waiting for it. False when no program could
    // be started to show it.
    virtual bool OpenInViewer(const QString& file) = 0;

    // A modal information box with the text and one OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // While the user holds the seek bar, playback does not move it.
    virtual void HoldSeekBar(bool /*held*/) {}
};

// The main window's skin commands: clicks on named skin elements of the main and list windows,
// and presses and releases of those elements. Names are matched whole and case-sensitively; a
// command whose condition fails does nothing, silently.
class MainCommands {
public:
    MainCommands(MainOperations& operations, DragState& drag, const WindowFrame& mainWindow);

    // A click on the skin element of that name. Failures of the operations propagate.
    void Dispatch(const QString& name);
    // A press on a skin element; comes before the window's own press handling.
    void MouseDown(const QString& name);
    // A release on a skin element; barPosition is the seek bar's position at that moment.
    void MouseUp(const QString& name, int barPosition);

private:
    QPoint DialogPlace(int leftOffset) const;
    void OpenHelp();

    MainOperations& operations_;
    DragState& drag_;
    const WindowFrame& mainWindow_;
};

// From now on until context goes, the skin's element events run these commands, and what a
// command throws goes to the program's failure handler. barPosition reads the seek bar.
void ConnectSkinCommands(Skin& skin, MainCommands& commands, std::function<int()> barPosition,
                         QObject& context);
