#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>

#include "app/ProgramWindows.h"
#include "config/IniSettings.h"
#include "schedule/sche.h"
#include "support/FakeClock.h"

namespace {

QTime T(const char* text) {
    return QTime::fromString(QString::fromLatin1(text), QStringLiteral("HH:mm:ss"));
}

class ScheduleDialogTest : public ::testing::Test {
protected:
    QByteArray FileBytes() const {
        QFile file(ini_.Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    FakeClock clock_{QDateTime(QDate(2024, 3, 14), QTime(6, 30, 15, 480))};
    Tfm_sche sche_{ini_, clock_};
};

// Special Day enables the date and the check boxes; the pickers follow the stored "c" keys,
// not the check boxes.
TEST_F(ScheduleDialogTest, ShowTakesTheStoredModeAndTheStoredPickerStates) {
    ini_.WriteInteger("autorec", "format", 2);
    ini_.WriteBool("autorec", "cb2", true);
    ini_.WriteString("autorec", "begintime2", "21:05:09");
    ini_.WriteString("autorec", "endtime2", "not a time");
    ini_.WriteBool("autorec", "begintime1c", true);
    ini_.WriteString("autorec", "date", "2024-12-24");
    ini_.WriteBool("timeclose", "bclose", true);
    ini_.WriteString("Time", "Time", "23:45:00");
    sche_.show();

    EXPECT_TRUE(sche_.RadioButton3->isChecked());
    EXPECT_EQ(sche_.Values().mode, kScheduleSpecialDay);
    EXPECT_TRUE(sche_.date_time->isEnabled());
    EXPECT_EQ(sche_.date_time->date(), QDate(2024, 12, 24));
    for (QCheckBox* box : sche_.cb_rec)
        EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(sche_.cb_rec[1]->isChecked());
    EXPECT_TRUE(sche_.begintime[0]->isEnabled());
    EXPECT_FALSE(sche_.begintime[1]->isEnabled());
    EXPECT_EQ(sche_.begintime[1]->time(), T("21:05:09"));
    EXPECT_EQ(sche_.endtime[1]->time(), T("06:30:15"));
    EXPECT_TRUE(sche_.CB_SHOWD->isChecked());
    EXPECT_TRUE(sche_.dtpTime->isEnabled());
    EXPECT_EQ(sche_.dtpTime->time(), T("23:45:00"));

    // A hand-edited mode checks nothing and leaves the mode in force.
    sche_.hide();
    ini_.WriteInteger("autorec", "format", 5);
    sche_.show();
    EXPECT_EQ(sche_.Values().mode, kScheduleSpecialDay);
    EXPECT_TRUE(sche_.RadioButton3->isChecked());
}

TEST_F(ScheduleDialogTest, OptionsAndCheckBoxesEnableWhatTheyGovern) {
    sche_.show();
    sche_.RadioButton2->click();
    EXPECT_EQ(sche_.Values().mode, kScheduleEveryDay);
    EXPECT_FALSE(sche_.date_time->isEnabled());
    EXPECT_TRUE(sche_.cb_rec[2]->isEnabled());
    sche_.cb_rec[2]->click();
    EXPECT_TRUE(sche_.begintime[2]->isEnabled());
    EXPECT_TRUE(sche_.endtime[2]->isEnabled());
    EXPECT_FALSE(sche_.begintime[0]->isEnabled());
    sche_.RadioButton3->click();
    EXPECT_TRUE(sche_.date_time->isEnabled());
    EXPECT_TRUE(sche_.endtime[2]->isEnabled());
    sche_.RadioButton1->click();
    EXPECT_FALSE(sche_.cb_rec[2]->isEnabled());
    EXPECT_FALSE(sche_.endtime[2]->isEnabled());
    EXPECT_TRUE(sche_.cb_rec[2]->isChecked());
    sche_.CB_SHOWD->click();
    EXPECT_TRUE(sche_.dtpTime->isEnabled());
}

TEST_F(ScheduleDialogTest, OkStoresTheScheduleThatTheNextShowBringsBack) {
    sche_.show();
    sche_.RadioButton3->click();
    sche_.cb_rec[0]->click();
    sche_.begintime[0]->setTime(T("08:00:00"));
    sche_.endtime[0]->setTime(T("08:30:00"));
    sche_.date_time->setDate(QDate(2025, 1, 2));
    sche_.CB_SHOWD->click();
    sche_.dtpTime->setTime(T("23:00:00"));
    const ScheduleSettings entered = sche_.Values();
    sche_.sche_bt_ok->click();
    EXPECT_FALSE(sche_.isVisible());

    EXPECT_EQ(ini_.ReadInteger("autorec", "format", -1), 2);
    EXPECT_TRUE(ini_.ReadBool("autorec", "cb1", false));
    EXPECT_EQ(ini_.ReadString("autorec", "begintime1", ""), "08:00:00");
    EXPECT_EQ(ini_.ReadString("autorec", "endtime1", ""), "08:30:00");
    EXPECT_TRUE(ini_.ReadBool("autorec", "endtime1c", false));
    EXPECT_FALSE(ini_.ReadBool("autorec", "begintime2c", true));
    EXPECT_EQ(ini_.ReadString("autorec", "date", ""), "2025-01-02");
    EXPECT_TRUE(ini_.ReadBool("timeclose", "bclose", false));
    EXPECT_EQ(ini_.ReadString("Time", "Time", ""), "23:00:00");

    clock_.now = clock_.now.addDays(1);
    Tfm_sche other(ini_, clock_);
    other.show();
    EXPECT_EQ(other.Values(), entered);
}

// Cancel keeps what was edited in force until the next show; "default" has written already.
TEST_F(ScheduleDialogTest, DefaultThenCancelLeavesThePowerOffOffAndEditsInForce) {
    ini_.WriteInteger("autorec", "format", 1);
    ini_.WriteBool("timeclose", "bclose", true);
    sche_.show();
    sche_.Button2->click();
    EXPECT_FALSE(sche_.CB_SHOWD->isChecked());
    EXPECT_FALSE(sche_.dtpTime->isEnabled());
    EXPECT_TRUE(sche_.isVisible());
    EXPECT_FALSE(ini_.ReadBool("timeclose", "bclose", true));

    sche_.cb_rec[1]->click();
    sche_.begintime[1]->setTime(T("10:00:00"));
    const QByteArray stored = FileBytes();
    sche_.Button3->click();
    EXPECT_FALSE(sche_.isVisible());
    EXPECT_EQ(FileBytes(), stored);
    EXPECT_TRUE(sche_.LiveSchedule().timeSlots[1].on);
    EXPECT_EQ(sche_.LiveSchedule().timeSlots[1].begin, T("10:00:00"));

    sche_.show();
    EXPECT_FALSE(sche_.LiveSchedule().timeSlots[1].on);
    EXPECT_FALSE(sche_.CB_SHOWD->isChecked());
}

// The program loads the stored schedule as it starts, so a slot set before a restart fires
// without anyone opening the window.
TEST(ScheduleAtStartUp, TheStoredScheduleIsInForceOnceTheMainWindowHasStarted) {
    QTemporaryDir dir;
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + dir.filePath("no-server")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    {
        IniSettings ini(DefaultSettingsPath());
        ini.WriteInteger("autorec", "format", 1);
        ini.WriteBool("autorec", "cb3", true);
        ini.WriteString("autorec", "begintime3", "04:00:00");
        ini.WriteString("Time", "Time", "22:00:00");
    }
    ProgramCore core;
    Program program(core);
    ProgramWindows windows(core, program, QStringLiteral(SONVARA_SKIN_FILE));
    windows.fm_main.show();
    EXPECT_FALSE(windows.fm_sche.isVisible());
    const ScheduleSettings live = windows.fm_sche.LiveSchedule();
    EXPECT_EQ(live.mode, kScheduleEveryDay);
    EXPECT_TRUE(live.timeSlots[2].on);
    EXPECT_EQ(live.timeSlots[2].begin, T("04:00:00"));
    EXPECT_EQ(live.powerOffTime, T("22:00:00"));
    qunsetenv("PULSE_SERVER");
}

}  // namespace
