#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

#include "schedule/ScheduleSettings.h"

class Activity;
class Clock;
class Settings;
class SleepInhibitor;

// The schedule in force: what the schedule window's controls hold at this moment, confirmed
// or not.
class ScheduleSource {
public:
    virtual ~ScheduleSource() = default;
    virtual ScheduleSettings LiveSchedule() const = 0;
};

// What the schedule asks of the program around it.
class ScheduleHost {
public:
    virtual ~ScheduleHost() = default;
    // A new recording by the current settings that waits for nobody (no path box).
    virtual void StartRecording() = 0;
    // The stop routine for a slot's end: the file is finished, and listed and tagged only when
    // the recording was paused.
    virtual void StopRecording() = 0;
    // The stop routine with nobody there to close a box (the power-off follows): what it would
    // show, its failures included, is handed back instead. Never throws.
    virtual QStringList StopRecordingUnattended() = 0;
    virtual void StopPlayback() = 0;
    // Asks a running join to end; it finishes its file on its own afterwards.
    virtual void StopJoin() = 0;
    // A join job is writing or finishing its file (it holds the recording's writer).
    virtual bool JoinUnderway() const = 0;
    // The input line recordings use is there now.
    virtual bool InputLineAvailable() = 0;
    // Bytes free to the user in folder (or the nearest folder above it that exists); negative
    // when unknown.
    virtual int64_t FreeBytes(const QString& folder) = 0;
    // Powers the computer off, forced; failures are the host's to note, not to throw.
    virtual void PowerOff() = 0;
    // A desktop notification; never throws.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// Starts and stops recordings by the clock and powers the computer off at the set time. Each
// second of local time is tested once, even when the passes come late: a pass tests every
// second since the one before it, as far back as kCatchUpSeconds. The seconds that summer time
// skips are tested, in order, in the first second after the change; an hour that repeats is
// tested the first time only. In each second, in order: the power-off, then for slots 1 to 3
// (when ticked and the mode and day allow) the start and the stop; then the forecast a minute
// ahead. A failure of one step does not skip the others; the first is thrown when the pass is
// done. On the way to the power-off nobody may be there to close a box: what its steps have to
// say becomes a notification instead. While a start is due within that minute, the machine is
// kept awake.
class ScheduleRunner {
public:
    struct Parts {
        const Activity& activity;
        const Settings& settings;
        const Clock& clock;
        const ScheduleSource& schedule;
        ScheduleHost& host;
        // Held from the forecast until the slot's start, when the recording holds its own. A
        // slot that is merely due must not refuse the user's own suspend key or lid, nor a
        // shutdown: only suspend that comes of the machine being left alone is to be held off,
        // which is logind's "idle" block lock. A "sleep" block lock would refuse the user's
        // suspend, and a "sleep" delay lock keeps nothing awake: any suspend, the automatic
        // one too, goes ahead after InhibitDelayMaxSec.
        SleepInhibitor& awake;
    };

    // A stall of the UI thread up to this long still fires what fell into it, late.
    static constexpr int kCatchUpSeconds = 10;
    // How long before its start a slot is looked at for what could make it fail.
    static constexpr int kForecastSeconds = 60;
    // The timer's period; the passes the application's events ask for come on top.
    static constexpr int kTimerMs = 200;

    explicit ScheduleRunner(Parts parts);
    ~ScheduleRunner();

    // One pass.
    void CheckSchedule();
    // From now on a pass runs on the timer, and after any event of the application once the
    // second has changed since the last pass; both from the event loop, nested ones included.
    void Start();
    // Until the power-off has been handed to the system.
    bool PowerOffPending() const { return powerOffPending_; }

private:
    class Trigger;

    void TestSecondsUpToNow(std::exception_ptr& failure);
    void ActAt(qint64 local, std::exception_ptr& failure);
    void ForecastUpTo(qint64 local);
    void KeepAwakeWhileDue();
    void BeginPowerOff();
    void PowerOffWhenJoinIsDone();
    void StartSlot(std::exception_ptr& failure);
    void StopSlot(std::exception_ptr& failure);
    void Forecast(int slot, const ScheduleSlot& times, const QTime& starts);

    Parts p_;
    // The latest second tested, in seconds since 1970 UTC: every event compares it.
    std::optional<qint64> lastTested_;
    // The latest seconds of local time acted on and forecast, counted as seconds since 1970 on
    // a clock that never changes its offset; neither goes back when an hour repeats.
    qint64 acted_ = 0;
    qint64 forecast_ = 0;
    bool keptAwake_ = false;
    bool powerOffPending_ = false;
    std::unique_ptr<Trigger> trigger_;
};
