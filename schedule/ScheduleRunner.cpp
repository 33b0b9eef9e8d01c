#include "schedule/ScheduleRunner.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "components/Clock.h"
#include "components/ErrorBoundary.h"
#include "components/FirstFailure.h"
#include "components/MainDisplays.h"
#include "components/SonvaraError.h"
#include "config/Activity.h"
#include "config/Mp3Settings.h"
#include "config/OutputFolder.h"
#include "config/Settings.h"
#include "record/SleepInhibitor.h"

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;
// Summer time moves the clock by an hour, in a few places by two or by half an hour; local time
// that moves further from one second to the next was set to another zone.
constexpr int kLongestOffsetChange = 3 * 60 * 60;

// Local time as seconds since 1970 on a clock whose offset never changes: it jumps ahead where
// the zone's offset grows and goes back where the offset shrinks.
qint64 LocalSeconds(qint64 utcSeconds) {
    return utcSeconds + QDateTime::fromSecsSinceEpoch(utcSeconds).offsetFromUtc();
}

// Whole days from 1970 to local, and the time of day it leaves.
qint64 Days(qint64 local) {
    return local / kDaySeconds - (local % kDaySeconds < 0 ? 1 : 0);
}

QTime TimeOfDay(qint64 local) {
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(local - Days(local) * kDaySeconds) *
                                           1000);
}

// The day on which time lies in the span (from, to] of local seconds, if it does; the span is
// shorter than a day. Hours, minutes and seconds count, whatever the locale writes of them.
std::optional<QDate> DayWithin(const QTime& time, qint64 from, qint64 to) {
    if (!time.isValid())
        return std::nullopt;
    const qint64 ofDay = time.msecsSinceStartOfDay() / 1000;
    const qint64 days = Days(to - ofDay);
    if (days * kDaySeconds + ofDay <= from)
        return std::nullopt;
    return QDate(1970, 1, 1).addDays(days);
}

// Slot k records in the mode in force.
bool SlotActive(const ScheduleSettings& live, int k) {
    return live.timeSlots[k].on &&
           (live.mode == kScheduleEveryDay || live.mode == kScheduleSpecialDay);
}

// time lies in (from, to] on a day the mode allows.
bool Due(const ScheduleSettings& live, const QTime& time, qint64 from, qint64 to) {
    const std::optional<QDate> day = DayWithin(time, from, to);
    return day && (live.mode == kScheduleEveryDay || *day == live.day);
}

// Local time that has moved further than a change of offset moves it was set to another zone:
// it goes on from there.
void FollowZoneChange(qint64& reached, qint64 local) {
    if (std::abs(local - reached) > kLongestOffsetChange)
        reached = local - 1;
}

QString Megabytes(int64_t bytes) {
    return QString::number((bytes + 999'999) / 1'000'000);
}

}  // namespace

// Runs the passes from the event loop: the application's events only ask for one, so none runs
// in the middle of another object's event handler.
class ScheduleRunner::Trigger : public QObject {
public:
    explicit Trigger(ScheduleRunner& runner) : runner_(runner) {
        timer_.setInterval(kTimerMs);
        connect(&timer_, &QTimer::timeout, this,
                [this] { ReportFailures([this] { runner_.CheckSchedule(); }); });
        timer_.start();
        QCoreApplication::instance()->installEventFilter(this);
    }

    ~Trigger() override {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent*) override {
        if (!asked_ && watched != this &&
            runner_.p_.clock.SecondsSinceEpoch() != runner_.lastTested_) {
            asked_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    asked_ = false;
                    ReportFailures([this] { runner_.CheckSchedule(); });
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    ScheduleRunner& runner_;
    QTimer timer_;
    bool asked_ = false;
};

ScheduleRunner::ScheduleRunner(Parts parts) : p_(parts) {}

ScheduleRunner::~ScheduleRunner() {
    if (keptAwake_)
        p_.awake.Release();
}

void ScheduleRunner::Start() {
    trigger_ = std::make_unique<Trigger>(*this);
}

// A pass nested in another (a message box a step shows runs the event loop) takes the seconds
// after the one being tested, so every second is still tested once.
void ScheduleRunner::CheckSchedule() {
    std::exception_ptr failure;
    // Most passes fall in the second already tested; the local time is not worked out for them.
    if (p_.clock.SecondsSinceEpoch() != lastTested_)
        TestSecondsUpToNow(failure);
    KeepFirstFailure(failure, [this] { PowerOffWhenJoinIsDone(); });
    if (failure)
        std::rethrow_exception(failure);
}

// A clock stepped back a little (a time server's correction) tests nothing until it has passed
// the last second tested again; one set back further starts afresh from now. A machine back
// from sleep, or a clock set ahead, goes on from now, and what passed meanwhile stays passed:
// an hour that repeated during the sleep is not acted on again either.
void ScheduleRunner::TestSecondsUpToNow(std::exception_ptr& failure) {
    const qint64 now = p_.clock.SecondsSinceEpoch();
    const bool afresh = !lastTested_ || *lastTested_ - now > kCatchUpSeconds;
    if (afresh || now - *lastTested_ > kCatchUpSeconds) {
        const qint64 before = LocalSeconds(now - 1);
        acted_ = afresh ? before : std::max(acted_, before);
        forecast_ = std::max(
            {afresh ? before : forecast_, acted_, LocalSeconds(now - 1 + kForecastSeconds)});
        lastTested_ = now - 1;
    }
    while (*lastTested_ < now) {
        lastTested_ = *lastTested_ + 1;
        const qint64 local = LocalSeconds(*lastTested_);
        FollowZoneChange(acted_, local);
        // The seconds an hour skipped are acted on one by one; a pass nested in a step goes on
        // from the second that step is in.
        while (acted_ < local)
            ActAt(++acted_, failure);
        ForecastUpTo(LocalSeconds(*lastTested_ + kForecastSeconds));
    }
    KeepAwakeWhileDue();
}

void ScheduleRunner::ActAt(qint64 local, std::exception_ptr& failure) {
    if (StoredPowerOff(p_.settings) &&
        DayWithin(p_.schedule.LiveSchedule().powerOffTime, local - 1, local))
        BeginPowerOff();
    for (int k = 0; k < 3; ++k) {
        // Read again for every slot: a step may have run the event loop, and the user may have
        // changed the controls meanwhile.
        const ScheduleSettings live = p_.schedule.LiveSchedule();
        if (!SlotActive(live, k))
            continue;
        if (Due(live, live.timeSlots[k].begin, local - 1, local))
            StartSlot(failure);
        if (Due(live, live.timeSlots[k].end, local - 1, local))
            StopSlot(failure);
    }
}

void ScheduleRunner::ForecastUpTo(qint64 local) {
    FollowZoneChange(forecast_, local);
    if (local <= forecast_)
        return;
    const qint64 from = std::exchange(forecast_, local);
    for (int k = 0; k < 3; ++k) {
        const ScheduleSettings live = p_.schedule.LiveSchedule();
        if (SlotActive(live, k) && Due(live, live.timeSlots[k].begin, from, local))
            Forecast(k, live.timeSlots[k], TimeOfDay(local));
    }
}

// From the forecast to the start; from then on the recording keeps the machine awake itself.
void ScheduleRunner::KeepAwakeWhileDue() {
    const ScheduleSettings live = p_.schedule.LiveSchedule();
    bool due = false;
    for (int k = 0; k < 3; ++k)
        due = due || (SlotActive(live, k) && Due(live, live.timeSlots[k].begin, acted_, forecast_));
    if (due == keptAwake_)
        return;
    keptAwake_ = due;
    if (due)
        p_.awake.Acquire(QStringLiteral("A scheduled recording is about to start"));
    else
        p_.awake.Release();
}

void ScheduleRunner::StartSlot(std::exception_ptr& failure) {
    StopSlot(failure);
    if (p_.activity.Playing())
        KeepFirstFailure(failure, [this] { p_.host.StopPlayback(); });
    // Until a join has finished its file, the writer is the join's.
    if (!p_.host.JoinUnderway())
        KeepFirstFailure(failure, [this] { p_.host.StartRecording(); });
}

// During a join the stop routine refuses, and the recording goes on.
void ScheduleRunner::StopSlot(std::exception_ptr& failure) {
    if (!p_.activity.Recording() || p_.activity.Joining())
        return;
    KeepFirstFailure(failure, [this] { p_.host.StopRecording(); });
}

// The recording is finished by the stop routine and listed, and a join is ended, before the
// power goes: a forced power-off would leave both files without their end. Nobody may be
// there to close a box, so what these steps have to say becomes a notification.
void ScheduleRunner::BeginPowerOff() {
    const QString summary = QStringLiteral("Before the scheduled power-off");
    if (p_.activity.Recording()) {
        for (const QString& message : p_.host.StopRecordingUnattended())
            p_.host.Notify(summary, message);
    }
    if (p_.activity.Joining()) {
        std::exception_ptr failure;
        KeepFirstFailure(failure, [this] { p_.host.StopJoin(); });
        if (failure)
            p_.host.Notify(summary, ErrorMessage(failure));
    }
    powerOffPending_ = true;
    PowerOffWhenJoinIsDone();
}

void ScheduleRunner::PowerOffWhenJoinIsDone() {
    if (!powerOffPending_ || p_.host.JoinUnderway())
        return;
    powerOffPending_ = false;
    p_.host.PowerOff();
}

// Only warns: the slot starts whatever is found here, at its time or, when summer time skipped
// that, at the change.
void ScheduleRunner::Forecast(int slot, const ScheduleSlot& times, const QTime& starts) {
    QStringList problems;
    const int seconds = (times.begin.secsTo(times.end) + kDaySeconds) % kDaySeconds;
    if (seconds > 0) {
        const Mp3Settings mp3 = ReadMp3Settings(p_.settings);
        // VBR may reach its highest rate throughout.
        const int kbps = mp3.vbr ? std::max(mp3.bitrate, mp3.vbrBitrate) : mp3.bitrate;
        const int64_t needed = int64_t{seconds} * kbps * 1000 / 8;
        const QString folder = ReadOutputDirectory(p_.settings);
        const int64_t free = p_.host.FreeBytes(folder);
        if (free >= 0 && free < needed)
            problems << QStringLiteral(
                            "Its %1 at %2 kbit/s need about %3 MB, but only %4 MB are "
                            "free in \"%5\".")
                            .arg(TimeText(seconds))
                            .arg(kbps)
                            .arg(Megabytes(needed), Megabytes(free), folder);
    }
    if (!p_.host.InputLineAvailable())
        problems << QStringLiteral(
            "The input line it records from is not available; check the "
            "recording source.");
    if (problems.isEmpty())
        return;
    p_.host.Notify(QStringLiteral("Scheduled recording %1 starts at %2")
                       .arg(slot + 1)
                       .arg(starts.toString(QStringLiteral("HH:mm:ss"))),
                   problems.join(u' '));
}
