#pragma once

#include <QPoint>
#include <functional>

// The dialogs the settings window opens over itself without waiting: the source and schedule
// dialogs as its "Recording Source" and "Schedule" pages, and the output directory dialog of
// its "..." button. The program fills the hooks; one left empty is skipped.
struct SettingsPageDialogs {
    std::function<void(QPoint topLeft)> showSource;  // in front, taking input
    std::function<void()> disableSourceHelp;
    std::function<void()> hideSource;
    std::function<void(QPoint topLeft)> showSchedule;  // in front, taking input
    std::function<void()> hideSchedule;
    std::function<void(QPoint topLeft)> showOutputDirectory;  // in front, taking input
};
