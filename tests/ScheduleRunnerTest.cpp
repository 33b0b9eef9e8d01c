#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "components/ErrorBoundary.h"
#include "components/SonvaraError.h"
#include "config/IniSettings.h"
#include "schedule/ScheduleRunner.h"
#include "support/FakeActivity.h"
#include "support/FakeClock.h"
#include "support/FakeRecording.h"
#include "support/Wait.h"

namespace {

struct FixedSchedule : ScheduleSource {
    ScheduleSettings values;
    ScheduleSettings LiveSchedule() const override { return values; }
};

// Acts on what runs as the program's operations do. A slot's stop lists a recording only when
// it is paused; the stop before the power-off lists it always.
struct FakeHost : ScheduleHost {
    explicit FakeHost(FakeActivity& shared) : state(shared) {}
    FakeActivity& state;
    bool paused = false;
    QStringList log;
    QStringList notes;
    bool joinUnderway = false;
    bool inputLine = true;
    int64_t freeBytes = -1;
    QString failingStep;
    QStringList boxes;  // what the stop routine would show in a box

    void Fail(const char* step) {
        if (failingStep == QLatin1String(step))
            throw SonvaraError(QStringLiteral("%1 failed").arg(step));
    }
    void StartRecording() override {
        log << "start";
        Fail("start");
        state.recording = true;
    }
    void StopRecording() override {
        log << (paused ? "stop listed" : "stop unlisted");
        state.recording = paused = false;
        Fail("stop");
    }
    QStringList StopRecordingUnattended() override {
        log << "stop listed";
        state.recording = paused = false;
        return boxes;
    }
    void StopPlayback() override {
        log << "stop playback";
        state.playing = false;
    }
    void StopJoin() override {
        log << "stop join";
        state.joining = false;
    }
    bool JoinUnderway() const override { return joinUnderway; }
    bool InputLineAvailable() override { return inputLine; }
    int64_t FreeBytes(const QString&) override { return freeBytes; }
    void PowerOff() override { log << "power off"; }
    void Notify(const QString& summary, const QString& body) override {
        notes << summary + u'|' + body;
    }
};

QTime T(const char* text) {
    return QTime::fromString(QString::fromLatin1(text), QStringLiteral("HH:mm:ss"));
}

class ScheduleRunnerTest : public ::testing::Test {
protected:
    ScheduleRunnerTest() { clock_.now = QDateTime(kDay, T("06:00:00")); }
    void SetUp() override {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void TearDown() override {
        zone_.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone_);
        tzset();
    }

    // Slot k (0-based) ticked with its times; its pickers stay disabled, which plays no part.
    void Slot(int k, const char* begin, const char* end, int mode = kScheduleEveryDay) {
        schedule_.values.mode = mode;
        schedule_.values.timeSlots[k] = {true, true, T(begin), T(end), false, false};
    }

    // One pass at that moment of kDay (plus days).
    void At(const char* time, int days = 0, int ms = 0) {
        clock_.now = QDateTime(kDay.addDays(days), T(time).addMSecs(ms));
        runner_.CheckSchedule();
    }

    void PowerOffAt(const char* time) {
        ini_.WriteBool("timeclose", "bclose", true);
        schedule_.values.powerOffTime = T(time);
    }

    const QByteArray zone_ = qgetenv("TZ");
    const QDate kDay{2024, 3, 14};
    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    FakeActivity state_;
    FakeClock clock_;
    FixedSchedule schedule_;
    FakeHost host_{state_};
    FakeSleepInhibitor awake_;
    ScheduleRunner runner_{{state_, ini_, clock_, schedule_, host_, awake_}};
};

TEST_F(ScheduleRunnerTest, SlotStopsPlaybackStartsAndLaterStopsItsRecordingUnlisted) {
    Slot(0, "08:00:00", "08:30:00");
    state_.playing = true;
    At("07:59:59");
    EXPECT_TRUE(host_.log.isEmpty());
    At("08:00:00");
    EXPECT_EQ(host_.log, QStringList({"stop playback", "start"}));
    host_.log.clear();
    At("08:29:59");
    At("08:30:00");
    EXPECT_EQ(host_.log, QStringList({"stop unlisted"}));
    EXPECT_FALSE(state_.recording);
}

TEST_F(ScheduleRunnerTest, EachTestActsOncePerMatchingSecondHoweverManyPasses) {
    Slot(0, "08:00:00", "08:00:01");
    PowerOffAt("08:00:01");
    for (int ms = 0; ms < 1000; ms += 20)
        At("08:00:00", 0, ms);
    EXPECT_EQ(host_.log, QStringList({"start"}));
    for (int ms = 0; ms < 1000; ms += 20)
        At("08:00:01", 0, ms);
    EXPECT_EQ(host_.log, QStringList({"start", "stop listed", "power off"}));
}

TEST_F(ScheduleRunnerTest, OnlyATickedSlotInAnActiveModeFires) {
    Slot(1, "08:00:00", "09:00:00");
    schedule_.values.timeSlots[1].on = false;
    schedule_.values.timeSlots[1].beginEnabled = true;  // pickers that show times decide nothing
    At("08:00:00");
    schedule_.values.timeSlots[1].on = true;
    schedule_.values.mode = kScheduleDisabled;
    At("08:00:00", 1);
    schedule_.values.mode = 7;
    At("08:00:00", 2);
    EXPECT_TRUE(host_.log.isEmpty());
    schedule_.values.mode = kScheduleEveryDay;
    At("08:00:00", 3);
    EXPECT_EQ(host_.log, QStringList({"start"}));
}

TEST_F(ScheduleRunnerTest, SpecialDayFiresOnItsDateOnly) {
    Slot(0, "08:00:00", "09:00:00", kScheduleSpecialDay);
    schedule_.values.day = kDay.addDays(2);
    At("08:00:00");
    At("08:00:00", 1);
    EXPECT_TRUE(host_.log.isEmpty());
    At("08:00:00", 2);
    At("09:00:00", 2);
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted"}));
}

TEST_F(ScheduleRunnerTest, SlotEndingBeforeItsBeginRunsPastMidnightOnlyEveryDay) {
    Slot(0, "23:00:00", "01:00:00");
    At("23:00:00");
    At("01:00:00", 1);
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted"}));

    host_.log.clear();
    Slot(0, "23:00:00", "01:00:00", kScheduleSpecialDay);
    schedule_.values.day = kDay.addDays(3);
    At("23:00:00", 3);
    At("01:00:00", 4);
    EXPECT_EQ(host_.log, QStringList({"start"}));
    EXPECT_TRUE(state_.recording);
}

// Within one second the order is the power-off, then slot 1 start, slot 1 stop, slot 2 ...
TEST_F(ScheduleRunnerTest, TestsOfOneSecondRunInOrder) {
    Slot(0, "10:00:00", "11:00:00");
    Slot(1, "09:00:00", "10:00:00");
    At("10:00:00");
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted"}));
    EXPECT_FALSE(state_.recording);

    host_.log.clear();
    Slot(0, "12:00:00", "13:00:00");
    Slot(1, "12:00:00", "13:30:00");
    At("12:00:00");
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted", "start"}));

    host_.log.clear();
    state_.recording = false;
    Slot(0, "14:00:00", "14:00:00");
    Slot(1, "20:00:00", "21:00:00");
    At("14:00:00");
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted"}));
}

TEST_F(ScheduleRunnerTest, RecordingOfTheUserEndsAtASlotsStartOrEnd) {
    Slot(0, "08:00:00", "08:30:00");
    state_.recording = true;
    At("08:00:00");
    EXPECT_EQ(host_.log, QStringList({"stop unlisted", "start"}));

    host_.log.clear();
    state_.recording = true;
    host_.paused = true;  // a paused one is still listed
    At("08:30:00");
    EXPECT_EQ(host_.log, QStringList({"stop listed"}));
}

TEST_F(ScheduleRunnerTest, SecondsOfAStallFireLateAndOnceAndALongGapStartsAfresh) {
    Slot(0, "08:00:00", "08:00:02");
    At("07:59:58");
    At("08:00:04");  // the UI thread was busy for six seconds
    EXPECT_EQ(host_.log, QStringList({"start", "stop unlisted"}));
    At("08:00:01");  // a time server sets the clock back a little: nothing again
    At("08:00:04");
    EXPECT_EQ(host_.log.size(), 2);

    host_.log.clear();
    At("07:59:00", 1);
    At("08:10:00", 1);  // back from sleep: what passed meanwhile stays passed
    EXPECT_TRUE(host_.log.isEmpty());
}

TEST_F(ScheduleRunnerTest, AQuietSecondIsCaughtByTheTimer) {
    Slot(0, "08:00:00", "09:00:00");
    At("07:59:59");
    runner_.Start();
    clock_.now = QDateTime(kDay, T("08:00:00"));
    WaitFor([&] { return !host_.log.isEmpty(); }, 2000);
    EXPECT_EQ(host_.log, QStringList({"start"}));
}

TEST_F(ScheduleRunnerTest, PowerOffInEveryModeReadsTheStoredSwitch) {
    schedule_.values.powerOffTime = T("23:00:00");
    schedule_.values.powerOff = true;  // the check box alone does not arm it
    At("23:00:00");
    EXPECT_TRUE(host_.log.isEmpty());
    PowerOffAt("23:00:00");
    At("23:00:00", 1);
    EXPECT_EQ(host_.log, QStringList({"power off"}));
}

TEST_F(ScheduleRunnerTest, PowerOffFinishesTheRecordingListedFirst) {
    PowerOffAt("23:00:00");
    Slot(0, "22:00:00", "23:30:00");
    At("22:00:00");
    At("23:00:00");
    EXPECT_EQ(host_.log, QStringList({"start", "stop listed", "power off"}));
}

// Nobody may be there to close a box: what finishing the recording has to say becomes a
// notification, and the power goes off all the same.
TEST_F(ScheduleRunnerTest, PowerOffNotifiesWhatTheStopHasToSayAndGoesAhead) {
    PowerOffAt("23:00:00");
    state_.recording = true;
    host_.boxes = {"Cannot write the tag", "Read a.mp3 error!!"};
    EXPECT_NO_THROW(At("23:00:00"));
    EXPECT_EQ(host_.log, QStringList({"stop listed", "power off"}));
    EXPECT_EQ(host_.notes, QStringList({"Before the scheduled power-off|Cannot write the tag",
                                        "Before the scheduled power-off|Read a.mp3 error!!"}));
}

TEST_F(ScheduleRunnerTest, PowerOffWaitsUntilTheStoppedJoinHasFinishedItsFile) {
    PowerOffAt("23:00:00");
    state_.joining = true;
    host_.joinUnderway = true;
    At("23:00:00");
    At("23:00:01");
    EXPECT_EQ(host_.log, QStringList({"stop join"}));
    EXPECT_TRUE(runner_.PowerOffPending());
    host_.joinUnderway = false;
    At("23:00:01", 0, 500);
    EXPECT_EQ(host_.log, QStringList({"stop join", "power off"}));
    EXPECT_FALSE(runner_.PowerOffPending());
}

// The writer is the join's until its job has finished the file, even once it was told to stop;
// and a stop the join would refuse must not leave capture running behind a cleared flag.
TEST_F(ScheduleRunnerTest, DuringAJoinNoStartAndNoRecordingMarkedStopped) {
    Slot(0, "08:00:00", "09:00:00");
    host_.joinUnderway = true;
    At("08:00:00");
    EXPECT_TRUE(host_.log.isEmpty());

    state_.recording = true;
    state_.joining = true;
    At("09:00:00");
    EXPECT_TRUE(host_.log.isEmpty());
    EXPECT_TRUE(state_.recording);
}

TEST_F(ScheduleRunnerTest, AFailingStepSkipsNoOtherAndIsThrownAfterThePass) {
    Slot(0, "07:00:00", "08:00:00");
    Slot(1, "08:00:00", "09:00:00");
    state_.recording = true;
    host_.failingStep = "stop";
    clock_.now = QDateTime(kDay, T("08:00:00"));
    EXPECT_THROW(runner_.CheckSchedule(), SonvaraError);
    EXPECT_EQ(host_.log, QStringList({"stop unlisted", "start"}));
    EXPECT_TRUE(state_.recording);
}

TEST_F(ScheduleRunnerTest, AFailureOfATimedPassReachesTheHandlerOnce) {
    int reported = 0;
    const FailureHandler before = SetFailureHandler([&](std::exception_ptr) { ++reported; });
    Slot(0, "08:00:00", "09:00:00");
    At("07:59:59");
    host_.failingStep = "start";
    runner_.Start();
    clock_.now = QDateTime(kDay, T("08:00:00"));
    PumpEvents(1500);
    SetFailureHandler(before);
    EXPECT_EQ(reported, 1);
}

TEST_F(ScheduleRunnerTest, ForecastWarnsAMinuteAheadAndTheSlotStillStarts) {
    ini_.WriteInteger("mp3", "bitrate", 11);  // 128 kbit/s
    ini_.WriteBool("mp3", "enable vbr", false);
    Slot(2, "08:00:00", "08:30:00");  // 28.8 MB
    host_.freeBytes = 28'000'000;
    host_.inputLine = false;
    At("07:58:59");
    EXPECT_TRUE(host_.notes.isEmpty());
    At("07:59:00");
    ASSERT_EQ(host_.notes.size(), 1);
    const QString note = host_.notes[0];
    EXPECT_TRUE(note.startsWith("Scheduled recording 3 starts at 08:00:00|")) << qPrintable(note);
    EXPECT_TRUE(note.contains("00:30:00 at 128 kbit/s need about 29 MB, but only 28 MB"))
        << qPrintable(note);
    EXPECT_TRUE(note.contains("input line")) << qPrintable(note);
    At("08:00:00");
    EXPECT_EQ(host_.log, QStringList({"start"}));

    host_.notes.clear();
    host_.freeBytes = 29'000'000;
    host_.inputLine = true;
    At("07:59:00", 1);
    EXPECT_TRUE(host_.notes.isEmpty());
}

// Slot 1 (no end: a power-off); in UTC, Berlin's clock change; in seconds from it the passes from,
// to and step, and the one that unticks slot 1 (0: none); and what happened in which second.
using Timeline = std::tuple<std::string, std::string, std::string, int, int, int, int, std::string>;
class ScheduleTimelineTest : public ScheduleRunnerTest,
                             public ::testing::WithParamInterface<Timeline> {};

TEST_P(ScheduleTimelineTest, EachTimeActsOnceAndTheMachineIsKeptAwakeWhileAStartIsDue) {
    const auto& [begin, end, change, from, to, step, off, expected] = GetParam();
    end.empty() ? PowerOffAt(begin.c_str()) : Slot(0, begin.c_str(), end.c_str());
    host_.inputLine = false;  // every forecast notifies
    QStringList events;
    for (int s = from; s <= to; s += step) {
        const bool awake = awake_.held;
        schedule_.values.timeSlots[0].on = !off || s < off;
        clock_.now = QDateTime::fromString(change.c_str(), Qt::ISODate).addSecs(s);
        runner_.CheckSchedule();
        if (!std::exchange(host_.notes, {}).isEmpty())
            host_.log << "forecast";
        if (awake_.held != awake)
            host_.log << (awake ? "released" : "awake");
        for (const QString& event : std::exchange(host_.log, {}))
            events << QString::number(s) + u' ' + event;
    }
    EXPECT_EQ(events.join(", ").toStdString(), expected);
}

const char* const kSpring = "2024-03-31T01:00:00Z";
const char* const kAutumn = "2024-10-27T01:00:00Z";
INSTANTIATE_TEST_SUITE_P(
    BothClockChanges, ScheduleTimelineTest,
    ::testing::Values(
        Timeline{"02:30:00", "03:30:00", kSpring, -120, 1800, 1, 0,
                 "-60 forecast, -60 awake, 0 start, 0 released, 1800 stop unlisted"},
        Timeline{"02:30:00", "03:30:00", kSpring, -5, 4, 9, 0, "-5 awake, 4 start, 4 released"},
        Timeline{"02:30:00", "", kSpring, -60, 60, 1, 0, "0 power off"},
        Timeline{"02:30:00", "03:30:00", kSpring, -90, 0, 1, -30,
                 "-60 forecast, -60 awake, -30 released"},
        Timeline{"02:30:00", "02:45:00", kAutumn, -3600, 3599, 1, 0,
                 "-1860 forecast, -1860 awake, -1800 start, -1800 released, -900 stop unlisted"},
        // asleep from 02:10 in summer time to 02:10 in winter time
        Timeline{"02:10:00", "04:00:00", kAutumn, -3000, 600, 600, 0, "-3000 start"}));

}  // namespace
