#pragma once

#include <QString>

#include "app/main.h"
#include "components/TagLibAudioInformation2.h"
#include "config/dir.h"
#include "config/setting.h"
#include "join/list.h"
#include "record/dev.h"

// Every window of the program, created once in a fixed order and wired to one another through
// the narrow links each window takes; none of them knows another's class.
class ProgramWindows {
public:
    ProgramWindows(AppState& state, PulseContext& pulse, const QString& skinFile);
    JoinEngine& Join() { return join_; }

    Tfm_main fm_main;
    Tfm_dev fm_dev;
    Tfm_set fm_set;
    Tfm_dir fm_dir;
    Tfm_list fm_list;

private:
    TagLibChapterWriter chapters_;
    JoinEngine join_;

    void LinkMainWindow();
    void LinkSettingsWindow();
};
