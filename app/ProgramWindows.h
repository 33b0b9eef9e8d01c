#pragma once

#include <QString>

#include "app/Program.h"
#include "app/ProgramCore.h"
#include "app/main.h"
#include "config/dir.h"
#include "config/setting.h"
#include "join/list.h"
#include "record/dev.h"
#include "schedule/sche.h"
#include "tags/id3.h"

// Every window of the program, created once in a fixed order, made views of the program and
// wired to one another through the narrow links each window takes; none of them knows
// another's class. The windows take their settings and components from the core, which
// outlives them.
class ProgramWindows {
public:
    ProgramWindows(ProgramCore& core, Program& program, const QString& skinFile);
    ~ProgramWindows();

    // A signal asked the program to end (a logout, a shutdown, Ctrl-C): a recording or join is
    // finished with its file whole, then the program ends as its close box would end it.
    void EndOnSignal();
    // A signal ended the program, maybe before its event loop ran.
    bool Ended() const { return ended_; }
    const DragState& Drag() const { return drag_; }

private:
    // Before the windows, which take from them.
    ProgramCore& core_;
    Program& program_;
    DragState drag_;

public:
    Tfm_main fm_main;
    Tfm_sche fm_sche;
    Tfm_dev fm_dev;
    Tfm_id3 fm_id3;
    Tfm_set fm_set;
    Tfm_dir fm_dir;
    Tfm_list fm_list;

private:
    bool ended_ = false;

    void LinkMainWindow();
    void LinkTagWindow();
    void TellWhenNoSoundServer();
    void LinkSettingsWindow();
};
