#include "schedule/ScheduleSettings.h"

#include <QString>

#include "config/Settings.h"

namespace {

const QString kAutorec = QStringLiteral("autorec");
const QString kTimeclose = QStringLiteral("timeclose");
const QString kBclose = QStringLiteral("bclose");
const QString kTime = QStringLiteral("Time");

QString Key(const char* stem, int slot, const char* suffix = "") {
    return QString::fromLatin1(stem) + QString::number(slot + 1) + QString::fromLatin1(suffix);
}

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
    ScheduleOptionClicked(values, settings.ReadInteger(kAutorec, QStringLiteral("format"), 0));
    for (int k = 0; k < 3; ++k) {
        values.timeSlots[k].on = settings.ReadBool(kAutorec, Key("cb", k), false);
        RefreshSlots(values);
    }
    const QTime time = WholeSeconds(now.time());
    for (int k = 0; k < 3; ++k) {
        ScheduleSlot& slot = values.timeSlots[k];
        slot.begin = WholeSeconds(settings.ReadTime(kAutorec, Key("begintime", k), time));
        slot.end = WholeSeconds(settings.ReadTime(kAutorec, Key("endtime", k), time));
    }
    // The stored enabled states win over what the option and the check boxes made of them.
    for (int k = 0; k < 3; ++k) {
        ScheduleSlot& slot = values.timeSlots[k];
        slot.beginEnabled = settings.ReadBool(kAutorec, Key("begintime", k, "c"), false);
        slot.endEnabled = settings.ReadBool(kAutorec, Key("endtime", k, "c"), false);
    }
    values.day = settings.ReadDate(kAutorec, QStringLiteral("date"), now.date());
    values.powerOff = StoredPowerOff(settings);
    PowerOffClicked(values);
    values.powerOffTime = WholeSeconds(settings.ReadTime(kTime, kTime, time));
    return values;
}

void SaveScheduleSettings(const ScheduleSettings& values, Settings& settings) {
    settings.WriteInteger(kAutorec, QStringLiteral("format"), values.mode);
    for (int k = 0; k < 3; ++k)
        settings.WriteBool(kAutorec, Key("cb", k), values.timeSlots[k].on);
    for (int k = 0; k < 3; ++k) {
        settings.WriteTime(kAutorec, Key("begintime", k), values.timeSlots[k].begin);
        settings.WriteTime(kAutorec, Key("endtime", k), values.timeSlots[k].end);
    }
    for (int k = 0; k < 3; ++k) {
        settings.WriteBool(kAutorec, Key("begintime", k, "c"), values.timeSlots[k].beginEnabled);
        settings.WriteBool(kAutorec, Key("endtime", k, "c"), values.timeSlots[k].endEnabled);
    }
    settings.WriteDate(kAutorec, QStringLiteral("date"), values.day);
    StorePowerOff(settings, values.powerOff);
    settings.WriteTime(kTime, kTime, values.powerOffTime);
}

void StorePowerOff(Settings& settings, bool on) {
    settings.WriteBool(kTimeclose, kBclose, on);
}

bool StoredPowerOff(const Settings& settings) {
    return settings.ReadBool(kTimeclose, kBclose, false);
}
