#include "schedule/ScheduleSettings.h"

#include "config/SettingsKeys.h"

namespace {

constexpr Reader kShown = Reader::Shown;

// The pickers show whole seconds; a stored or current time with milliseconds would never
// equal what the user sees.
QTime WholeSeconds(const QTime& time) {
    return QTime(time.hour(), time.minute(), time.second());
}

}  // namespace

ScheduleSettings InitialSchedule(const QDateTime& now) {
    ScheduleSettings values;
    const QTime time = WholeSeconds(now.time());
    for (ScheduleSlot& slot : values.timeSlots) {
        slot.begin = time;
        slot.end = time;
    }
    values.day = now.date();
    values.powerOffTime = time;
    return values;
}

void ScheduleOptionClicked(ScheduleSettings& values, int option) {
    if (option < kScheduleDisabled || option > kScheduleSpecialDay)
        return;
    values.mode = option;
    values.checkedOption = option;
    values.dayEnabled = option == kScheduleSpecialDay;
    for (ScheduleSlot& slot : values.timeSlots)
        slot.boxEnabled = option != kScheduleDisabled;
    if (option == kScheduleDisabled) {
        for (ScheduleSlot& slot : values.timeSlots) {
            slot.beginEnabled = false;
            slot.endEnabled = false;
        }
        return;
    }
    RefreshSlots(values);
}

void RefreshSlots(ScheduleSettings& values) {
    for (ScheduleSlot& slot : values.timeSlots) {
        slot.beginEnabled = slot.on;
        slot.endEnabled = slot.on;
    }
}

void PowerOffClicked(ScheduleSettings& values) {
    values.powerOffTimeEnabled = values.powerOff;
}

ScheduleSettings LoadScheduleSettings(const Settings& settings, const QDateTime& now,
                                      ScheduleSettings values) {
    using namespace keys;
    ScheduleOptionClicked(values, Read(settings, kScheduleMode, kShown));
    for (int k = 0; k < 3; ++k) {
        values.timeSlots[k].on = Read(settings, kSlotOn[k], kShown);
        RefreshSlots(values);
    }
    const QTime time = WholeSeconds(now.time());
    for (int k = 0; k < 3; ++k) {
        ScheduleSlot& slot = values.timeSlots[k];
        slot.begin = WholeSeconds(Read(settings, kSlotBegin[k], time));
        slot.end = WholeSeconds(Read(settings, kSlotEnd[k], time));
    }
    // The stored enabled states win over what the option and the check boxes made of them.
    for (int k = 0; k < 3; ++k) {
        ScheduleSlot& slot = values.timeSlots[k];
        slot.beginEnabled = Read(settings, kSlotBeginEnabled[k], kShown);
        slot.endEnabled = Read(settings, kSlotEndEnabled[k], kShown);
    }
    values.day = Read(settings, kScheduleDay, now.date());
    values.powerOff = StoredPowerOff(settings);
    PowerOffClicked(values);
    values.powerOffTime = WholeSeconds(Read(settings, kPowerOffTime, time));
    return values;
}

void SaveScheduleSettings(const ScheduleSettings& values, Settings& settings) {
    using namespace keys;
    Write(settings, kScheduleMode, values.mode);
    for (int k = 0; k < 3; ++k)
        Write(settings, kSlotOn[k], values.timeSlots[k].on);
    for (int k = 0; k < 3; ++k) {
        Write(settings, kSlotBegin[k], values.timeSlots[k].begin);
        Write(settings, kSlotEnd[k], values.timeSlots[k].end);
    }
    for (int k = 0; k < 3; ++k) {
        Write(settings, kSlotBeginEnabled[k], values.timeSlots[k].beginEnabled);
        Write(settings, kSlotEndEnabled[k], values.timeSlots[k].endEnabled);
    }
    Write(settings, kScheduleDay, values.day);
    StorePowerOff(settings, values.powerOff);
    Write(settings, kPowerOffTime, values.powerOffTime);
}

void StorePowerOff(Settings& settings, bool on) {
    Write(settings, keys::kPowerOff, on);
}

// The window's show step reads the switch as the runner does.
bool StoredPowerOff(const Settings& settings) {
    return Read(settings, keys::kPowerOff, Reader::Used);
}
