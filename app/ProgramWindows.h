#pragma once

#include <QString>

#include "app/ProgramCore.h"
#include "app/main.h"
#include "config/dir.h"
#include "config/setting.h"
#include "join/list.h"
#include "record/dev.h"
#include "schedule/DesktopNotifier.h"
#include "schedule/PowerOff.h"
#include "schedule/ScheduleRunner.h"
#include "schedule/sche.h"
#include "tags/DefaultTag.h"
#include "tags/id3.h"

// Every window of the program, created once in a fixed order and wired to one another through
// the narrow links each window takes; none of them knows another's class. The windows take
// the settings and components from the core, which outlives them.
class ProgramWindows : private ScheduleHost {
    // Before the windows, which take from it.
    ProgramCore& core_;

public:
    ProgramWindows(ProgramCore& core, const QString& skinFile);
    JoinEngine& Join() { return join_; }
    ScheduleRunner& Schedule() { return schedule_; }

    // A signal asked the program to end (a logout, a shutdown, Ctrl-C): a recording or join is
    // finished with its file whole, then the program ends as its close box would end it.
    void EndOnSignal();
    // A signal ended the program, maybe before its event loop ran.
    bool Ended() const { return ended_; }

    Tfm_main fm_main;
    Tfm_sche fm_sche;
    Tfm_dev fm_dev;
    Tfm_id3 fm_id3;
    Tfm_set fm_set;
    Tfm_dir fm_dir;
    Tfm_list fm_list;

private:
    TagLibChapterWriter chapters_;
    JoinEngine join_;
    DefaultTagWriter defaultTags_;
    LogindPowerSwitch power_;
    DesktopNotifier notifier_;
    ScheduleRunner schedule_;
    bool ended_ = false;

    void LinkMainWindow();
    void LinkTagWindow();
    void WriteDefaultTags(const QString& file);
    void TellWhenNoSoundServer();
    void LinkSettingsWindow();

    // What the schedule does to the program.
    void StartRecording() override { fm_main.StartScheduledRecording(); }
    void StopRecording() override { fm_main.StopRecording(); }
    QStringList StopRecordingUnattended() override;
    void StopPlayback() override { fm_main.StopPlayback(); }
    void StopJoin() override { join_.StopJoin(); }
    bool JoinUnderway() const override { return join_.JobUnderway(); }
    bool InputLineAvailable() override { return fm_main.InputLineAvailable(); }
    int64_t FreeBytes(const QString& folder) override;
    void PowerOff() override { power_.PowerOff(); }
    void Notify(const QString& summary, const QString& body) override {
        notifier_.Notify(summary, body);
    }
};
