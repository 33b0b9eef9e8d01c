#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/ProgramCore.h"
#include "app/RecordingRecovery.h"
#include "components/MainDisplays.h"
#include "config/Activity.h"
#include "join/JoinEngine.h"
#include "join/JoinList.h"
#include "join/ListView.h"
#include "play/PlaybackControl.h"
#include "record/RecordingControl.h"
#include "record/RecordingMarker.h"
#include "record/SleepInhibitor.h"
#include "schedule/PowerOff.h"
#include "schedule/ScheduleRunner.h"
#include "tags/DefaultTag.h"

// What the program shows and asks of its user, the list apart: the main window is one view,
// sonvara-cli another. Nothing here may throw.
class ProgramView {
public:
    virtual ~ProgramView() = default;
    virtual MainDisplays& Displays() = 0;
    virtual AudioVisualizationEx2& Levels() = 0;
    // A box with one OK button, for what the user is doing now; returns when it is closed.
    // warning: something failed.
    virtual void ShowMessage(const QString& text, bool warning) = 0;
    // For what happens with nobody there to close a box: it never waits.
    virtual void Notify(const QString& summary, const QString& body) = 0;
    // The same for a failure.
    virtual void NotifyFailure(const QString& text) { Notify(QStringLiteral("Sonvara"), text); }
    // The file a custom-named recording goes to; returns when the box is closed.
    virtual void ShowOutputPath(const QString& path) = 0;
    // A join's progress, e.g. "Joining 2/5 · 37 %"; empty clears it.
    virtual void ShowJoinProgress(const QString& text) {
        Displays().SetText(display::kProgress, text);
    }
    // The settings window's values were committed by a recording start: stored, or refused.
    virtual void SettingsCommitted(bool /*stored*/) {}
    virtual void RecordingFinished(const QString& /*file*/, int64_t /*frames*/) {}
    virtual void PassageChanged(bool /*started*/, const QString& /*file*/) {}
    // A finished recording kept its own tag: the stored default tag has a year or track that
    // is no number. attended as for ShowMessage against Notify.
    virtual void DefaultTagRefused(const QString& file, const DefaultTagRefusal& refusal,
                                   bool attended) {
        if (attended)
            ShowMessage(refusal.message, true);
        else
            NotifyFailure(refusal.message + QStringLiteral(": ") + file);
    }
};

// The program without its windows: it owns the recording, the playback, the list and its join,
// the schedule and the recovery of cut-off recordings, with their states, and carries out the
// commands that the windows and sonvara-cli forward. A failure stops only what failed: a
// recording ends on its own failures, a playback on its own, and each is told to the view;
// what the user did is told in a box, what happened unattended in a notification. Commands
// never throw. Runs on the UI thread.
class Program : public Activity, public PlaybackOperations {
public:
    explicit Program(ProgramCore& core);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Until set, messages go to stderr and nothing is shown. The view outlives its use here.
    void SetView(ProgramView* view);
    // Finished recordings join the list only while a list view is set.
    void SetListView(ListView* view);
    // The schedule in force; until set (or with null), the one stored in Kelvo.ini.
    void SetScheduleSource(const ScheduleSource* source);

    bool Recording() const override;
    bool Playing() const override;
    bool Joining() const override;
    RecordingState RecordingNow() const;
    PlaybackState PlaybackNow() const;
    JoinState JoinNow() const;

    // The user's start commits the settings window's pending values first; any start says
    // once when the settings could not be stored or read, and records with those in force.
    void StartRecording(Caller who = Caller::User);
    void StopRecording();
    void ToggleRecordPause();
    // The recording itself, for sonvara-cli's choices (a fixed file, a frame budget, sound
    // activation); it connects to the sound server when first asked for.
    RecordingControl& Recorder();

    // "play": with the refusal shown when it is not a quiet one.
    void StartPlayback();
    void SeekTo(int barPosition);
    std::optional<PlayRefusal> TryStartPlayback() override;
    void TogglePlayPause() override;
    void StopPlayback() override;
    void SeekToFrame(int64_t frame) override;
    PlaybackFacts Facts() const override;
    void SetVolume(double volume) override;
    double Volume() const override;
    void SetObserver(PlaybackObserver* observer) override;
    // A failure reported from outside (the media-player service): playback stops and it is
    // told.
    void PlaybackFailed(const QString& message);

    JoinList& List() { return list_; }
    void AddFiles() {
        Attended([this] { list_.AddFiles(); });
    }
    void RemoveSelected() {
        Attended([this] { list_.RemoveSelected(); });
    }
    void MoveUp() {
        Attended([this] { list_.MoveUp(); });
    }
    void MoveDown() {
        Attended([this] { list_.MoveDown(); });
    }
    // Files from the command line, another copy or the desktop; false while the list refuses.
    bool AddPaths(const QStringList& paths);
    // The join asks the list view for its output; JoinFilesTo is sonvara-cli's.
    void JoinFiles();
    void StopJoin() { join_.StopJoin(); }
    JoinEngine& Join() { return join_; }

    // From now on the schedule is tested on the event loop.
    void StartSchedule() { schedule_.Start(); }
    ScheduleRunner& Schedule() { return schedule_; }
    // Repairs what crashed recordings left, lists and tags them, and tells which.
    void RecoverRecordings();

    // For a program that ends: a join is asked to stop (it finishes its file), a recording is
    // finished and playback stopped. What that has to say is handed back, not shown.
    QStringList EndForExit();

private:
    class Hosts;

    void Attended(const std::function<void()>& step);
    void GuardRecording(const std::function<void()>& step);
    void RecordingFailed(std::exception_ptr failure, bool attended);
    void GuardPlayback(const std::function<void()>& step);
    QString CommitSettings();
    void Tell(const QString& text, bool attended, bool warning = false);
    void Finished(const QString& file, int64_t frames, bool writeTag, bool attended);
    void WriteDefaultTags(const QString& file);
    PlaybackControl& Player();
    QStringList StopUnattended();
    int64_t FreeBytes(const QString& folder) const;

    ProgramCore& core_;
    std::unique_ptr<ProgramView> nullView_;
    ProgramView* view_;
    ListView* listView_ = nullptr;
    std::unique_ptr<Hosts> hosts_;
    // Messages of what runs unattended, gathered instead of notified while set.
    QStringList* diverted_ = nullptr;
    // The user's own doing runs now, not the schedule's nor the recording's own.
    bool attended_ = true;
    LogindSleepInhibitor sleep_;
    // The schedule's, while a slot is about to start: ScheduleRunner::Parts says why "idle".
    LogindSleepInhibitor slotDue_{LazyBus(&QDBusConnection::systemBus), QStringLiteral("idle")};
    RecordingMarker marker_;
    TagLibChapterWriter chapters_;
    DefaultTagWriter defaultTags_;
    LogindPowerSwitch power_;
    JoinList list_;
    JoinEngine join_;
    ScheduleRunner schedule_;
    PlaybackObserver* observer_ = nullptr;
    QObject events_;  // ends the component connections with the program
    // Made when first used: both connect to the sound server.
    std::unique_ptr<RecordingControl> recording_;
    std::unique_ptr<PlaybackControl> playback_;
};
