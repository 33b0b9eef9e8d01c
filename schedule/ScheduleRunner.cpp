#include "schedule/ScheduleRunner.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cstdlib>

#include "components/Clock.h"
#include "components/ErrorBoundary.h"
#include "components/FirstFailure.h"
#include "components/MainDisplays.h"
#include "components/SonvaraError.h"
#include "config/Activity.h"
#include "config/Mp3Settings.h"
#include "config/OutputFolder.h"
#include "config/Settings.h"

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;

// Hours, minutes and seconds, whatever the locale writes of them.
bool SameSecond(const QTime& a, const QTime& b) {
    return a.isValid() && b.isValid() && a.hour() == b.hour() && a.minute() == b.minute() &&
           a.second() == b.second();
}

QDateTime WholeSecond(const QDateTime& time) {
    return time.addMSecs(-time.time().msec());
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
            runner_.p_.clock.SecondsSinceEpoch() != runner_.lastTestedSeconds_) {
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

ScheduleRunner::~ScheduleRunner() = default;

void ScheduleRunner::Start() {
    trigger_ = std::make_unique<Trigger>(*this);
}

// A pass nested in another (a message box a step shows runs the event loop) takes the seconds
// after the one being tested, so every second is still tested once.
void ScheduleRunner::CheckSchedule() {
    std::exception_ptr failure;
    // Most passes fall in the second already tested; the local time is not worked out for them.
    if (!lastTested_.isValid() || p_.clock.SecondsSinceEpoch() != lastTestedSeconds_)
        TestSecondsUpToNow(failure);
    KeepFirstFailure(failure, [this] { PowerOffWhenJoinIsDone(); });
    if (failure)
        std::rethrow_exception(failure);
}

// A clock stepped back a little (a time server's correction) tests nothing until it has passed
// the last second tested again; one set to another time, or a machine back from sleep, starts
// afresh from now.
void ScheduleRunner::TestSecondsUpToNow(std::exception_ptr& failure) {
    const QDateTime now = WholeSecond(p_.clock.Now());
    if (!lastTested_.isValid() || std::abs(lastTested_.secsTo(now)) > kCatchUpSeconds)
        lastTested_ = now.addSecs(-1);
    while (lastTested_ < now) {
        lastTested_ = lastTested_.addSecs(1);
        lastTestedSeconds_ = lastTested_.toSecsSinceEpoch();
        TestSecond(lastTested_, failure);
    }
}

void ScheduleRunner::TestSecond(const QDateTime& second, std::exception_ptr& failure) {
    if (StoredPowerOff(p_.settings) &&
        SameSecond(second.time(), p_.schedule.LiveSchedule().powerOffTime))
        BeginPowerOff();
    const QDateTime ahead = second.addSecs(kForecastSeconds);
    for (int k = 0; k < 3; ++k) {
        // Read again for every slot: a step may have run the event loop, and the user may have
        // changed the controls meanwhile.
        const ScheduleSettings live = p_.schedule.LiveSchedule();
        const ScheduleSlot& slot = live.timeSlots[k];
        if (!slot.on || (live.mode != kScheduleEveryDay && live.mode != kScheduleSpecialDay))
            continue;
        const auto onDay = [&](const QDate& date) {
            return live.mode == kScheduleEveryDay || date == live.day;
        };
        if (onDay(ahead.date()) && SameSecond(ahead.time(), slot.begin))
            Forecast(k, slot);
        if (onDay(second.date()) && SameSecond(second.time(), slot.begin))
            StartSlot(failure);
        if (onDay(second.date()) && SameSecond(second.time(), slot.end))
            StopSlot(failure);
    }
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

// Only warns: the slot starts at its time whatever is found here.
void ScheduleRunner::Forecast(int slot, const ScheduleSlot& times) {
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
                       .arg(times.begin.toString(QStringLiteral("HH:mm:ss"))),
                   problems.join(u' '));
}
