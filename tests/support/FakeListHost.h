#pragma once

#include <QStringList>

#include "join/JoinList.h"
#include "play/PlaybackControl.h"

// The window around the join list and the player, as the main window is both: the open dialog
// answers with chosen, and what the list and playback ask of it is counted.
struct FakeListHost : ListHost, PlaybackHost {
    QStringList chosen;
    QStringList messages;
    int focus = 0;
    int changes = 0;

    QStringList AskFilesToAdd() override { return chosen; }
    void ShowMessage(const QString& text) override { messages << text; }
    void FocusList() override { ++focus; }
    void Changed() override { ++changes; }
};
