#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/DisplayElements.h"
#include "app/Docking.h"
#include "app/MainCommands.h"
#include "app/MinimiseTogether.h"
#include "app/PendingFiles.h"
#include "app/ProgramCore.h"
#include "app/RecordingRecovery.h"
#include "components/widgets/LevelDisplay.h"
#include "components/widgets/WidgetFrame.h"
#include "components/widgets/WidgetSkin.h"
#include "join/JoinList.h"
#include "play/PlaybackControl.h"
#include "record/RecordingControl.h"
#include "record/RecordingMarker.h"
#include "record/SleepInhibitor.h"

// The other windows as the main window reaches them; the program wires them. A hook left
// empty is skipped.
struct MainWindowLinks {
    QWidget* listWindow = nullptr;  // docked under the main window
    JoinList* list = nullptr;       // its rows, which finished recordings join
    std::function<void()> joinFiles;
    std::function<void()> endJoin;  // a join under way stops, for the program's end
    std::function<void()> focusList;
    std::function<void(const Settings& settings)> fillSourceDialog;  // at start-up
    std::function<void(QPoint topLeft)> showSourceDialog;            // modal
    std::function<void()> loadSettingsDialog;                        // at start-up
    std::function<void(QPoint topLeft)> showSettingsDialog;          // modal
    std::function<void()> commitSettings;  // the settings dialog's OK, also while hidden
    std::function<void(QPoint topLeft)> showTagDialog;  // modal
    // Into a finished recording, right after it joined the list.
    std::function<void(const QString& file)> writeDefaultTags;
    std::function<void()> loadScheduleDialog;                // at start-up
    std::function<void(QPoint topLeft)> showScheduleDialog;  // modal
};

// The main window. Its whole face is the skin's "kelvox" form; it owns the skin engine and the
// level display, takes the settings and audio components from the program's core, runs the
// start-up sequence at its first showing, and turns skin events into the program's commands.
// Closing it ends the program, after finishing what runs.
class Tfm_main : public QWidget,
                 public MainOperations,
                 public RecordingHost,
                 public PlaybackHost,
                 public RecoveryHost {
    Q_OBJECT

public:
    Tfm_main(ProgramCore& core, QString skinFile, QWidget* parent = nullptr);
    ~Tfm_main() override;

    void SetLinks(MainWindowLinks links);
    WidgetSkin& Skin1() { return skin_; }
    DisplayElements& Displays() { return displays_; }
    // The player's operations for the desktop's media keys and the schedule; null until the
    // list is linked.
    PlaybackOperations* Playback() { return playback_.get(); }
    // Shown, not minimised, in front and with the keyboard.
    void BringToFront();
    // The application-wide error handler.
    void HandleError(const QString& message) { commands_.HandleError(message); }

    void StartRecording() override { recording_.StartRecording(StartedBy::User); }
    // A start that waits for nobody.
    void StartScheduledRecording() { recording_.StartRecording(StartedBy::Schedule); }
    // The input line recordings use is on the sound server now.
    bool InputLineAvailable() const { return AudioRecord1.ChosenSourceAvailable(); }
    void StopRecording() override { recording_.StopRecording(); }
    void ToggleRecordPause() override { recording_.ToggleRecordPause(); }
    // Playback needs the list; before it is linked they do nothing.
    void StartPlayback() override;
    void StopPlayback() override;
    void TogglePlayPause() override;
    void SeekTo(int barPosition) override;
    void AddFiles() override;
    void RemoveSelected() override;
    void MoveUp() override;
    void MoveDown() override;
    void JoinFiles() override;
    void ShowList() override;
    void CloseList() override;
    bool ListMinimized() const override;
    void FocusList() override;
    void ShowScheduleDialog(QPoint topLeft) override;
    void ShowSourceDialog(QPoint topLeft) override;
    void ShowSettingsDialog(QPoint topLeft) override;
    void ShowTagDialog(QPoint topLeft) override;
    QString HelpFile() const override;
    bool OpenInViewer(const QString& file) override;
    void ShowMessage(const QString& text) override;
    // While set, ShowMessage adds its text there instead of showing a box.
    void DivertMessages(QStringList* to) { divertedMessages_ = to; }
    void RecordingRecovered(const QString& file) override;
    // Files from the command line or a second copy: listed as soon as the list takes them, and
    // the window comes to the front.
    void AddFilesFromOutside(const QStringList& files);

    // What a recording asks of the window.
    void CommitSettings() override;
    void ShowOutputPath(const QString& path) override;
    void RecordingFinished(const QString& file, bool writeTag) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartUp();
    void ApplyMainSkin();
    void ConnectSkin();
    void ConnectRecorder();
    void ConnectPlayer();

    AppState& state_;
    QString skinFile_;
    IniSettings& settings_;
    WidgetSkin skin_;
    DisplayElements displays_;
    WidgetFrame frame_{*this};
    std::unique_ptr<WidgetFrame> listFrame_;
    QtMouseButtons mouse_;
    MainCommands commands_{state_, *this, frame_};
    std::unique_ptr<MainWindowDrag> drag_;
    std::unique_ptr<MinimiseTogether> minimiseTogether_;
    MainWindowLinks links_;
    bool started_ = false;
    QStringList* divertedMessages_ = nullptr;

    // The audio components, the core's.
    PulseAudioRecord2& AudioRecord1;
    AudioPlayer2& AudioPlayer21;
    AudioFile2& AudioFileWrite;
    AudioFile2& AudioFilepaly;
    AudioFile2LameEnc& AudioFile2LameEnc1;
    LevelDisplay* AudioVisualization21;

    const Clock& clock_;
    LogindSleepInhibitor sleep_;
    RecordingMarker marker_;
    RecordingControl recording_;
    std::unique_ptr<PlaybackControl> playback_;
    PendingFiles pendingFiles_{
        [this](const QStringList& files) { return links_.list && links_.list->AddPaths(files); }};
};
