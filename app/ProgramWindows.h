#pragma once

#include <QString>

#include "app/main.h"
#include "components/TagLibAudioInformation2.h"
#include "config/dir.h"
#include "config/setting.h"
#include "join/list.h"
#include "record/dev.h"
#include "tags/DefaultTag.h"
#include "tags/id3.h"

// Every window of the program, created once in a fixed order and wired to one another through
// the narrow links each window takes; none of them knows another's class.
class ProgramWindows {
public:
    ProgramWindows(AppState& state, PulseContext& pulse, const QString& skinFile);
    JoinEngine& Join() { return join_; }

    Tfm_main fm_main;
    Tfm_dev fm_dev;
    Tfm_id3 fm_id3;
    Tfm_set fm_set;
    Tfm_dir fm_dir;
    Tfm_list fm_list;

private:
    TagLibChapterWriter chapters_;
    JoinEngine join_;
    DefaultTagWriter defaultTags_;

    void LinkMainWindow();
    void LinkTagWindow();
    void WriteDefaultTags(const QString& file);
    void LinkSettingsWindow();
};
