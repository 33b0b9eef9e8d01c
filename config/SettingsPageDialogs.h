#pragma once

#include <QPoint>
#include <QString>
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
    // In front, taking input, open at the folder the window shows.
    std::function<void(QPoint topLeft, const QString& folder)> showOutputDirectory;
};
