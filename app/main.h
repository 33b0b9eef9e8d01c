#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/DisplayElements.h"
#include "app/Docking.h"
#include "app/MainCommands.h"
#include "app/MinimiseTogether.h"
#include "app/PendingFiles.h"
#include "app/Program.h"
#include "components/widgets/LevelDisplay.h"
#include "components/widgets/WidgetFrame.h"
#include "components/widgets/WidgetSkin.h"
#include "schedule/DesktopNotifier.h"

// The other windows as the main window reaches them; the program wires them. A hook left
// empty is skipped.
struct MainWindowLinks {
    QWidget* listWindow = nullptr;  // docked under the main window
    std::function<void()> focusList;
    std::function<void()> fillSourceDialog;                  // at start-up
    std::function<void(QPoint topLeft)> showSourceDialog;    // modal
    std::function<void()> loadSettingsDialog;                // at start-up
    std::function<void(QPoint topLeft)> showSettingsDialog;  // modal
    // A recording start committed the settings window's values: stored, or refused.
    std::function<void(bool stored)> settingsCommitted;
    std::function<void(QPoint topLeft)> showTagDialog;       // modal
    std::function<void()> loadScheduleDialog;                // at start-up
    std::function<void(QPoint topLeft)> showScheduleDialog;  // modal
};

// The main window, a view of the program. Its whole face is the skin's "kelvox" form; it owns
// the skin engine and the level display, runs the start-up sequence at its first showing, turns
// skin events into the program's commands and shows what the program tells. Closing it ends
// the program, after finishing what runs.
class Tfm_main : public QWidget, public MainOperations, public ProgramView {
    Q_OBJECT

public:
    // drag is shared with the list window.
    Tfm_main(Program& program, DragState& drag, QString skinFile, QWidget* parent = nullptr);
    ~Tfm_main() override;

    void SetLinks(MainWindowLinks links);
    WidgetSkin& Skin1() { return skin_; }
    DisplayElements& Displays() override { return displays_; }
    AudioVisualizationEx2& Levels() override { return *AudioVisualization21; }
    // Shown, not minimised, in front and with the keyboard.
    void BringToFront();

    bool Recording() const override { return program_.Recording(); }
    bool Playing() const override { return program_.Playing(); }
    bool Joining() const override { return program_.Joining(); }
    void StartRecording() override { program_.StartRecording(Caller::User); }
    void StopRecording() override { program_.StopRecording(); }
    void ToggleRecordPause() override { program_.ToggleRecordPause(); }
    void StartPlayback() override { program_.StartPlayback(); }
    void StopPlayback() override { program_.StopPlayback(); }
    void TogglePlayPause() override { program_.TogglePlayPause(); }
    void SeekTo(int barPosition) override { program_.SeekTo(barPosition); }
    void HoldSeekBar(bool held) override { displays_.HoldBar(held); }
    void AddFiles() override { program_.AddFiles(); }
    void RemoveSelected() override { program_.RemoveSelected(); }
    void MoveUp() override { program_.MoveUp(); }
    void MoveDown() override { program_.MoveDown(); }
    void JoinFiles() override { program_.JoinFiles(); }
    void StopJoin() override { program_.StopJoin(); }
    void ShowList() override;
    void CloseList() override;
    bool ListShown() const override;
    bool ListMinimized() const override;
    void FocusList() override;
    void ShowScheduleDialog(QPoint topLeft) override;
    void ShowSourceDialog(QPoint topLeft) override;
    void ShowSettingsDialog(QPoint topLeft) override;
    void ShowTagDialog(QPoint topLeft) override;
    QString HelpFile() const override;
    bool OpenInViewer(const QString& file) override;
    void ShowMessage(const QString& text) override { ShowMessage(text, false); }

    // What the program tells.
    void ShowMessage(const QString& text, bool warning) override;
    void Notify(const QString& summary, const QString& body) override;
    void ShowOutputPath(const QString& path) override;
    void SettingsCommitted(bool stored) override;

    // While set, messages are added there instead of shown in a box.
    void DivertMessages(QStringList* to) { divertedMessages_ = to; }
    // Files from the command line or a second copy: listed as soon as the list takes them, and
    // the window comes to the front.
    void AddFilesFromOutside(const QStringList& files);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartUp();
    void ApplyMainSkin();
    void ConnectSkin();

    Program& program_;
    DragState& drag_;
    QString skinFile_;
    WidgetSkin skin_;
    DisplayElements displays_;
    WidgetFrame frame_{*this};
    std::unique_ptr<WidgetFrame> listFrame_;
    QtMouseButtons mouse_;
    MainCommands commands_{*this, drag_, frame_};
    std::unique_ptr<MainWindowDrag> dragging_;
    std::unique_ptr<MinimiseTogether> minimiseTogether_;
    MainWindowLinks links_;
    bool started_ = false;
    QStringList* divertedMessages_ = nullptr;
    LevelDisplay* AudioVisualization21;
    DesktopNotifier notifier_;
    PendingFiles pendingFiles_{
        [this](const QStringList& files) { return program_.AddPaths(files); }};
};
