#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "components/CodecAudioFile2.h"
#include "config/IniSettings.h"
#include "config/SettingsModel.h"
#include "config/dir.h"
#include "config/setting.h"
#include "record/SourceHelp.h"

namespace {

class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest() {
        set_.SetMessageFunction([this](const QString& text) { messages_ << text; });
    }

    QByteArray FileBytes() const {
        QFile file(ini_.Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    CodecAudioFile2 writer_;
    SettingsModel model_{ini_, writer_};
    Tfm_set set_{model_, SourceHelpTexts()};
    QStringList messages_;
};

TEST_F(SettingsDialogTest, RefusedMp3CombinationTellsKeepsOpenAndLeavesMp3) {
    ini_.WriteInteger("mp3", "frequency", 4);
    ini_.WriteInteger("mp3", "bitrate", 5);
    set_.show();
    set_.cb_mp3_frequency->setCurrentIndex(9);  // 48000 Hz
    set_.cb_mp3_bitrate->setCurrentIndex(0);    // 8 Kbps
    set_.out_name->setText("Talk");
    set_.set_bt_ok->click();

    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0],
              "This MP3 format is not supported. \nYou have set too high frequency and too low "
              "bitrate or otherwise. \nPlease adjust the frequency or bitrate.");
    EXPECT_TRUE(set_.isVisible());
    EXPECT_EQ(ini_.ReadString("output", "out_name", ""), "Talk");
    EXPECT_EQ(ini_.ReadInteger("mp3", "frequency", -1), 4);
    EXPECT_EQ(ini_.ReadInteger("mp3", "bitrate", -1), 5);

    set_.cb_mp3_bitrate->setCurrentIndex(11);
    EXPECT_TRUE(set_.set_bt_okClick());
    EXPECT_FALSE(set_.isVisible());
    EXPECT_EQ(ini_.ReadInteger("mp3", "frequency", -1), 9);
    EXPECT_EQ(ini_.ReadInteger("mp3", "bitrate", -1), 11);
}

TEST_F(SettingsDialogTest, DefaultChangesControlsOnlyAndRunsHandlersOnlyOnChange) {
    ini_.WriteBool("file", "enlength", true);
    ini_.WriteBool("file", "rbtimee", true);
    ini_.WriteBool("file", "time", true);
    ini_.WriteString("file", "timet", "45");
    ini_.WriteBool("output", "rb_time", false);
    ini_.WriteBool("output", "rb_cust", true);
    ini_.WriteBool("mp3", "enable vbr", true);
    set_.show();
    const QByteArray before = FileBytes();

    set_.set_bt_default->click();
    EXPECT_EQ(FileBytes(), before);
    EXPECT_FALSE(set_.length_en->isChecked());
    EXPECT_FALSE(set_.file_rb_time->isEnabled());
    EXPECT_FALSE(set_.file_time->isEnabled());
    EXPECT_EQ(set_.file_time->text(), "45");
    EXPECT_TRUE(set_.rb_time->isChecked());
    EXPECT_FALSE(set_.rb_cust->isChecked());
    EXPECT_EQ(set_.out_labe_cus->text(), "Example:EUT.MP3");  // "Date_Time Mode" was checked
    EXPECT_FALSE(set_.cb_mp3_vbr->isEnabled());
    EXPECT_FALSE(set_.ud_mp3_vbr->isEnabled());
    EXPECT_EQ(set_.ud_mp3_quality->value(), 9);

    // Nothing changes state a second time, so no handler runs: enabled states and examples
    // stay as they are.
    set_.file_rb_time->setEnabled(true);
    set_.out_labe_cus->setText("kept");
    set_.set_bt_default->click();
    EXPECT_TRUE(set_.file_rb_time->isEnabled());
    EXPECT_EQ(set_.out_labe_cus->text(), "kept");
}

TEST_F(SettingsDialogTest, ExamplesFollowTheMainName) {
    set_.show();
    set_.out_name->setText("Talk");
    set_.rb_time->click();
    EXPECT_EQ(set_.out_labe_dat->text(), "Example: Talk-19-05-2006--00;08;04.MP3");
    EXPECT_EQ(set_.out_labe_cus->text(), "Example:Talk.MP3");

    set_.out_name->clear();
    set_.rb_cust->click();
    EXPECT_EQ(set_.out_name->text(), "EUT");
    EXPECT_EQ(set_.out_labe_cus->text(), "Example: EUT.MP3");
    EXPECT_EQ(set_.out_labe_dat->text(), "Example: EUT-19-05-2006--00;08;04.MP3");

    set_.out_name->setText("Show");
    set_.tv_Click(Tfm_set::kOutputFormatPage);
    EXPECT_EQ(set_.CurrentPage(), set_.pn_format);
    EXPECT_EQ(set_.out_labe_cus->text(), "Example:Show.MP3");

    // A long name widens the examples, not the window (its size is fixed to its contents).
    const int width = set_.width();
    set_.out_name->setText(QString(80, QLatin1Char('W')));
    emit set_.out_name->editingFinished();
    for (int level = 0; level < 4; ++level)
        QCoreApplication::sendPostedEvents();
    EXPECT_EQ(set_.maximumWidth(), width);
}

TEST_F(SettingsDialogTest, SecondsTakeDigitsOnlyAndOtherKeysActAsBackspace) {
    ini_.WriteBool("file", "time", true);
    set_.show();
    set_.file_time->clear();
    QTest::keyClicks(set_.file_time, "12a");
    EXPECT_EQ(set_.file_time->text(), "1");
    QTest::keyClicks(set_.file_time, "90");
    QTest::keyClick(set_.file_time, Qt::Key_Backspace);
    EXPECT_EQ(set_.file_time->text(), "19");
}

TEST_F(SettingsDialogTest, OptionClicksSetEnabledStates) {
    set_.show();
    set_.length_en->click();
    EXPECT_TRUE(set_.file_rb_time->isEnabled());
    EXPECT_TRUE(set_.file_time->isEnabled());
    set_.length_en->click();
    EXPECT_FALSE(set_.file_rb_time->isEnabled());
    EXPECT_FALSE(set_.file_time->isEnabled());

    set_.cb_vbr->click();
    EXPECT_TRUE(set_.cb_mp3_vbr->isEnabled());
    EXPECT_TRUE(set_.ud_mp3_vbr->isEnabled());
}

// The recording start saves what the controls hold; loaded at start-up, they hold what the
// user stored even though the window was never shown.
TEST_F(SettingsDialogTest, HandWrittenFileSurvivesStartUpAndARecordingStartsSave) {
    const QString recordings = dir_.filePath("rec");
    QFile file(ini_.Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[file]\r\nenlength=1\r\nrbtime=1\r\nrbtimee=1\r\ntimet=300\r\ntime=1\r\n"
        "limit_s=0\r\nlimit_n=1\r\n"
        "[output]\r\npath=" +
        recordings.toUtf8() + "\r\ndir=" + recordings.toUtf8() +
        "\r\nformat=0\r\nout_name=Talk\r\nrb_time=0\r\nrb_cust=1\r\n"
        "[mp3]\r\nfrequency=5\r\nbitrate=7\r\nchannel=0\r\nquality=2\r\n"
        "enable vbr=1\r\nvbr bitrate=13\r\nvbr quality=4\r\n");
    file.close();
    const RecordingSettings stored = LoadRecordingSettings(ini_);

    set_.LoadAtStartUp();
    EXPECT_TRUE(set_.set_bt_okClick());
    EXPECT_EQ(LoadRecordingSettings(ini_), stored);
    EXPECT_EQ(ini_.ReadString("output", "dir", ""), recordings);
    EXPECT_TRUE(ini_.ReadBool("mp3", "enable vbr", false));
    EXPECT_EQ(ini_.ReadInteger("mp3", "vbr quality", -1), 4);
    EXPECT_EQ(ini_.ReadString("file", "timet", ""), "300");
}

// Closing the window drops its edits, so a recording start stores nothing; while it is open,
// a start stores what it holds.
TEST_F(SettingsDialogTest, ClosingDropsTheEditsThatAStartWouldStore) {
    set_.show();
    EXPECT_TRUE(set_.set_bt_okClick());
    const QByteArray stored = FileBytes();
    set_.show();
    set_.out_name->setText("Talk");
    set_.length_en->click();
    set_.reject();
    EXPECT_TRUE(model_.CommitPending());
    EXPECT_EQ(FileBytes(), stored);

    set_.show();
    set_.out_name->setText("Talk");
    set_.cb_mp3_bitrate->setCurrentIndex(3);
    EXPECT_TRUE(model_.CommitPending());
    EXPECT_EQ(LoadRecordingSettings(ini_), set_.Values());
    EXPECT_EQ(ini_.ReadString("output", "out_name", ""), "Talk");
}

TEST_F(SettingsDialogTest, StartUpKeepsTheStoredRecordingFolderElseTakesTheLastChosenOne) {
    ini_.WriteString("output", "path", "/srv/chosen");
    set_.LoadAtStartUp();
    EXPECT_EQ(set_.ed_dir->text(), "/srv/chosen");

    // A recording folder typed into the field and saved must survive the next start-up and
    // the save of the recording start that follows.
    ini_.WriteString("output", "dir", "/srv/typed");
    set_.LoadAtStartUp();
    EXPECT_EQ(set_.ed_dir->text(), "/srv/typed");
    EXPECT_TRUE(set_.set_bt_okClick());
    EXPECT_EQ(ini_.ReadString("output", "dir", ""), "/srv/typed");

    // The Windows default is shown, and saved, as the folder it stands for here.
    ini_.WriteString("output", "dir", "C:\\My Recorder");
    set_.LoadAtStartUp();
    EXPECT_EQ(set_.ed_dir->text(), QDir::homePath() + "/My Recorder");
    EXPECT_TRUE(set_.set_bt_okClick());
    EXPECT_EQ(ini_.ReadString("output", "dir", ""), QDir::homePath() + "/My Recorder");
}

TEST_F(SettingsDialogTest, PreviewAndNextWrapAround) {
    EXPECT_TRUE(set_.helpTexts[0]->isVisibleTo(set_.gb_help));
    set_.bt_pre->click();
    EXPECT_EQ(set_.CurrentHelpText(), 3);
    EXPECT_TRUE(set_.helpTexts[3]->isVisibleTo(set_.gb_help));
    EXPECT_FALSE(set_.helpTexts[0]->isVisibleTo(set_.gb_help));
    set_.bt_nex->click();
    EXPECT_EQ(set_.CurrentHelpText(), 0);
    EXPECT_TRUE(set_.helpTexts[0]->isVisibleTo(set_.gb_help));
    EXPECT_FALSE(set_.helpTexts[3]->isVisibleTo(set_.gb_help));
}

TEST_F(SettingsDialogTest, PagesShowTheSourceAndScheduleDialogsOverTheWindow) {
    QStringList calls;
    set_.SetPageDialogs({
        [&](QPoint p) { calls << QStringLiteral("source %1,%2").arg(p.x()).arg(p.y()); },
        [&] { calls << "source help off"; },
        [&] { calls << "hide source"; },
        [&](QPoint p) { calls << QStringLiteral("schedule %1,%2").arg(p.x()).arg(p.y()); },
        [&] { calls << "hide schedule"; },
        {},
    });
    set_.move(100, 50);
    set_.show();
    EXPECT_EQ(set_.CurrentPage(), set_.pn_about);

    set_.tv_Click(Tfm_set::kSchedulePage);
    const int scheduleLeft = 100 + set_.findChild<QWidget*>("tv")->geometry().right() + 1;
    EXPECT_EQ(calls,
              QStringList({QStringLiteral("schedule %1,81").arg(scheduleLeft), "hide source"}));
    EXPECT_EQ(set_.CurrentPage(), set_.pn_about);  // About is not hidden by Schedule

    calls.clear();
    set_.tv_Click(Tfm_set::kSourcePage);
    EXPECT_EQ(calls, QStringList({"source 233,81", "source help off", "hide schedule"}));
    EXPECT_EQ(set_.CurrentPage(), set_.pn_source);

    calls.clear();
    set_.tv_Click(Tfm_set::kMp3Page);
    EXPECT_EQ(calls, QStringList({"hide source", "hide schedule"}));
    EXPECT_EQ(set_.CurrentPage(), set_.pn_mp3);
}

TEST_F(SettingsDialogTest, FolderChosenInTheOutputDirectoryDialogFillsTheField) {
    Tfm_dir dirDialog(ini_);
    SettingsPageDialogs pages;
    dirDialog.AttachToSettingsPages(pages, &set_);
    set_.SetPageDialogs(pages);
    QObject::connect(&dirDialog, &Tfm_dir::PathChosen, &set_, &Tfm_set::SetOutputDirectory);
    set_.show();
    set_.Button2->click();
    EXPECT_TRUE(dirDialog.isVisible());
    ASSERT_TRUE(dirDialog.SelectPath(dir_.path()));
    dirDialog.btn_ok->click();
    EXPECT_EQ(set_.ed_dir->text(), dir_.path());
    EXPECT_TRUE(set_.isVisible());

    // The tree opens at the field's folder; Ok with nothing selected leaves the field.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("talks"));
    set_.ed_dir->setText(dir_.filePath("talks"));
    set_.Button2->click();
    EXPECT_EQ(dirDialog.SelectedPath(), dir_.filePath("talks"));
    dirDialog.ShellTreeView1->clearSelection();
    dirDialog.btn_ok->click();
    EXPECT_EQ(set_.ed_dir->text(), dir_.filePath("talks"));
}

}  // namespace

TEST_F(SettingsDialogTest, SoundActivationPageShowsDefaultsAndSavesItsSection) {
    ini_.WriteBool("activation", "enabled", true);
    ini_.WriteInteger("activation", "threshold", -25);
    set_.show();
    set_.tv_Click(Tfm_set::kActivationPage);
    EXPECT_EQ(set_.CurrentPage(), set_.pn_activation);
    EXPECT_TRUE(set_.cb_act->isChecked());
    EXPECT_EQ(set_.ud_act_threshold->value(), -25);
    set_.set_bt_default->click();
    EXPECT_FALSE(set_.cb_act->isChecked());
    EXPECT_EQ(ini_.ReadInteger("activation", "threshold", 0), -25);  // Default writes nothing
    set_.cb_act_mode->setCurrentIndex(1);
    set_.set_bt_ok->click();
    EXPECT_EQ(ini_.ReadInteger("activation", "threshold", 0), -40);
    EXPECT_EQ(ini_.ReadInteger("activation", "mode", 0), 1);
}
