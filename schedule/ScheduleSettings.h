#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <array>

class Settings;

// The schedule modes, as ScheduleMode holds them and autorec/format stores them.
enum ScheduleModes { kScheduleDisabled = 0, kScheduleEveryDay = 1, kScheduleSpecialDay = 2 };

// One recording slot: its check box "Begin Time:" and its two time pickers.
struct ScheduleSlot {
    bool on = false;
    bool boxEnabled = true;
    QTime begin;
    QTime end;
    bool beginEnabled = false;
    bool endEnabled = false;

    bool operator==(const ScheduleSlot&) const = default;
};

// What the schedule window's controls hold, which is the schedule in force: the mode, three
// slots, the special day and the power-off. The effects of the window's options live here,
// without widgets. Times and dates are whole seconds and days.
struct ScheduleSettings {
    int mode = kScheduleDisabled;  // ScheduleMode: changed only by the options
    int checkedOption = -1;        // the option shown checked, -1 for none
    std::array<ScheduleSlot, 3> timeSlots;
    QDate day;
    bool dayEnabled = true;
    bool powerOff = false;  // CB_SHOWD; the runner reads the stored switch instead
    QTime powerOffTime;
    bool powerOffTimeEnabled = false;

    bool operator==(const ScheduleSettings&) const = default;
};

// The controls before anything is loaded: no option, mode disabled, every picker showing now.
ScheduleSettings InitialSchedule(const QDateTime& now);

// An option was clicked (0 "Disabled schedule", 1 "Every Day", 2 "Special Day").
void ScheduleOptionClicked(ScheduleSettings& values, int option);
// A slot check box was clicked: each slot's pickers are enabled exactly while it is ticked.
void RefreshSlots(ScheduleSettings& values);
// The power-off check box was clicked: its time is editable exactly while it is ticked.
void PowerOffClicked(ScheduleSettings& values);

// The show step: loads the stored schedule over current as the window's controls take it. A
// stored mode other than 0..2 leaves the options and the mode as they are; missing or
// unreadable times and dates are now.
ScheduleSettings LoadScheduleSettings(const Settings& settings, const QDateTime& now,
                                      ScheduleSettings current);
// Ok: writes every key of the schedule and of the power-off. Throws as the settings do.
void SaveScheduleSettings(const ScheduleSettings& values, Settings& settings);
// timeclose/bclose: the power-off switch as stored, which is what the runner obeys.
bool StoredPowerOff(const Settings& settings);
void StorePowerOff(Settings& settings, bool on);
