#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/ProgramWindows.h"
#include "components/CodecAudioFile2.h"
#include "config/IniSettings.h"
#include "config/SettingsModel.h"
#include "record/SourceHelp.h"
#include "record/SourceSelection.h"
#include "support/FakeAudio.h"

namespace {

// Every line claims to be the source, as a confused driver might.
class AllLinesActive : public FakeAudioRecord2 {
public:
    bool InputSelected() const override { return inputIndex >= 1; }
};

class SourceSelectionTest : public ::testing::Test {
protected:
    SourceSelectionTest() {
        recorder_.devices = {"Card A", "Card B"};
        recorder_.lines = {{"Microphone", 1000}, {"Line-In", 2000}, {"Monitor", 3000}};
        recorder_.selectedLine = 2;
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    FakeAudioRecord2 recorder_;
    SourceSelection selection_{recorder_};
};

TEST_F(SourceSelectionTest, StartUpListsEverythingAndMakesTheActiveLineCurrent) {
    const SourceLists lists = selection_.ListSources(ini_);
    EXPECT_EQ(lists.devices, QStringList({"Card A", "Card B"}));
    EXPECT_EQ(recorder_.device, 1);  // the last one listed stays in use
    EXPECT_EQ(lists.deviceSelection, 1);
    EXPECT_EQ(lists.lines, QStringList({"Microphone", "Line-In", "Monitor"}));
    EXPECT_EQ(lists.lineSelection, 1);
    EXPECT_EQ(recorder_.inputIndex, 2);
    EXPECT_EQ(lists.volume, 2000);
}

TEST_F(SourceSelectionTest, StoredDeviceOnlyMarksAnEntryInsideTheList) {
    ini_.WriteInteger("rd", "rd", 0);
    EXPECT_EQ(selection_.ListSources(ini_).deviceSelection, 0);
    EXPECT_EQ(recorder_.device, 1);
    ini_.WriteInteger("rd", "rd", 2);
    EXPECT_EQ(selection_.ListSources(ini_).deviceSelection, -1);
    ini_.WriteInteger("rd", "rd", -1);
    EXPECT_EQ(selection_.ListSources(ini_).deviceSelection, -1);
}

TEST_F(SourceSelectionTest, MissingDeviceLinesOrActiveLineLeaveNothingMarked) {
    recorder_.selectedLine = 0;
    SourceLists lists = selection_.ListSources(ini_);
    EXPECT_EQ(lists.lineSelection, -1);
    EXPECT_EQ(recorder_.inputIndex, 0);

    recorder_.lines.clear();
    lists = selection_.ListSources(ini_);
    EXPECT_TRUE(lists.lines.isEmpty());
    EXPECT_EQ(recorder_.inputIndex, 0);
    EXPECT_EQ(lists.volume, 0);

    recorder_.devices.clear();
    ini_.WriteInteger("rd", "rd", 0);
    lists = selection_.ListSources(ini_);
    EXPECT_TRUE(lists.devices.isEmpty());
    EXPECT_EQ(lists.deviceSelection, -1);
}

TEST_F(SourceSelectionTest, LastOfSeveralActiveLinesWins) {
    AllLinesActive recorder;
    SourceSelection selection(recorder);
    EXPECT_EQ(selection.ListSources(ini_).lineSelection, 1);
    EXPECT_EQ(recorder.inputIndex, 2);
}

class SourceDialogTest : public ::testing::Test {
protected:
    SourceDialogTest() {
        recorder_.lines = {{"Microphone", 1000}, {"Line-In", 2000}, {"Monitor", 3000}};
        recorder_.selectedLine = 1;
        dev_.FillAtStartUp(ini_);
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    FakeAudioRecord2 recorder_;
    Tfm_dev dev_{recorder_};
};

TEST_F(SourceDialogTest, StartUpFillsTheControlsWithoutChangingTheRecorder) {
    EXPECT_EQ(dev_.cb_rd->count(), 1);
    EXPECT_EQ(dev_.cb_rd->currentIndex(), 0);
    EXPECT_EQ(dev_.cb_rdson->count(), 3);
    EXPECT_EQ(dev_.cb_rdson->currentIndex(), 0);
    EXPECT_EQ(dev_.tb_rd->value(), 1000);
    EXPECT_EQ(recorder_.lines[0].volume, 1000);

    recorder_.selectedLine = 0;
    dev_.FillAtStartUp(ini_);
    EXPECT_EQ(dev_.cb_rdson->currentIndex(), -1);
    EXPECT_EQ(dev_.cb_rdson->count(), 3);
    EXPECT_EQ(recorder_.selectedLine, 0);
}

TEST_F(SourceDialogTest, ChoosingALineMakesItTheSourceAndShowsItsLevel) {
    dev_.cb_rdson->setCurrentIndex(2);
    EXPECT_EQ(recorder_.selectedLine, 3);
    EXPECT_EQ(recorder_.inputIndex, 3);
    EXPECT_EQ(dev_.tb_rd->value(), 3000);
    EXPECT_EQ(recorder_.lines[0].volume, 1000);

    dev_.tb_rd->setValue(dev_.tb_rd->maximum());
    EXPECT_EQ(recorder_.lines[2].volume, 66535);
    dev_.tb_rd->setValue(500);
    EXPECT_EQ(recorder_.lines[2].volume, 500);
    EXPECT_EQ(recorder_.lines[1].volume, 2000);
}

TEST_F(SourceDialogTest, HelpCoversTheDialogAndPagesInARing) {
    dev_.show();
    EXPECT_FALSE(dev_.gb_help->isVisible());
    dev_.dev_bt_help->click();
    EXPECT_TRUE(dev_.gb_help->isVisible());
    EXPECT_EQ(dev_.gb_help->geometry(), dev_.rect());
    dev_.bt_pre->click();
    EXPECT_TRUE(dev_.helpTexts[3]->isVisible());
    EXPECT_FALSE(dev_.helpTexts[0]->isVisible());
    dev_.bt_nex->click();
    EXPECT_TRUE(dev_.helpTexts[0]->isVisible());
    dev_.Button4->click();
    EXPECT_FALSE(dev_.gb_help->isVisible());
    EXPECT_TRUE(dev_.isVisible());
}

TEST_F(SourceDialogTest, HelpIsOffFromTheSettingsPageAndOnFromTheMainWindow) {
    CodecAudioFile2 writer;
    SettingsModel model(ini_, writer);
    Tfm_set set(model, SourceHelpTexts());
    SettingsPageDialogs pages;
    dev_.AttachToSettingsPages(pages, &set);
    set.SetPageDialogs(pages);
    set.move(100, 50);
    set.show();

    set.tv_Click(Tfm_set::kSourcePage);
    EXPECT_TRUE(dev_.isVisible());
    EXPECT_FALSE(dev_.isModal());
    EXPECT_FALSE(dev_.dev_bt_help->isEnabled());
    EXPECT_EQ(dev_.pos(), QPoint(233, 81));
    set.tv_Click(Tfm_set::kMp3Page);
    EXPECT_FALSE(dev_.isVisible());

    bool helpEnabled = false;
    QTimer::singleShot(0, &dev_, [&] {
        helpEnabled = dev_.dev_bt_help->isEnabled();
        dev_.dev_bt_ok->click();
    });
    dev_.ShowModalAt(QPoint(214, 80));
    EXPECT_TRUE(helpEnabled);
    EXPECT_EQ(dev_.pos(), QPoint(214, 80));
    EXPECT_FALSE(dev_.isVisible());
}

TEST_F(SourceDialogTest, OpeningAndChangedLinesListThemAgainKeepingTheSource) {
    recorder_.lines.insert(recorder_.lines.begin(), {"USB Microphone", 4000});
    recorder_.selectedLine = 2;
    dev_.ShowAt(QPoint(10, 10));
    EXPECT_EQ(dev_.cb_rdson->currentText(), QStringLiteral("Microphone"));
    recorder_.lines.erase(recorder_.lines.begin());
    emit recorder_.InputsChanged();
    EXPECT_EQ(dev_.cb_rdson->count(), 3);
}

// Clicks through the window system, as a user does, so a window that a modal one blocks
// ignores the click.
void UserClick(QWidget* control, QPoint at = {}) {
    QWidget* window = control->window();
    const QPoint local = at.isNull() ? control->rect().center() : at;
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, control->mapTo(window, local));
}

TEST_F(SourceDialogTest, DialogsOpenedFromTheModalSettingsWindowTakeInput) {
    CodecAudioFile2 writer;
    SettingsModel model(ini_, writer);
    Tfm_set set(model, SourceHelpTexts());
    Tfm_dir folders(ini_);
    SettingsPageDialogs pages;
    dev_.AttachToSettingsPages(pages, &set);
    folders.AttachToSettingsPages(pages, &set);
    set.SetPageDialogs(pages);
    QObject::connect(&folders, &Tfm_dir::PathChosen, &set, &Tfm_set::SetOutputDirectory);
    const QString home = QDir::cleanPath(QDir::homePath());

    bool levelFollowed = false, settingsStayed = false, folderFilled = false;
    QTimer::singleShot(0, &set, [&] {
        set.tv_Click(Tfm_set::kSourcePage);
        UserClick(dev_.tb_rd, {dev_.tb_rd->width() - 2, dev_.tb_rd->height() / 2});
        levelFollowed = recorder_.lines[0].volume > 1000;
        UserClick(dev_.dev_bt_ok);
        settingsStayed = !dev_.isVisible() && set.isVisible();

        set.tv_Click(Tfm_set::kOutputFormatPage);
        UserClick(set.Button2);
        folders.SelectPath(home);
        UserClick(folders.btn_ok);
        folderFilled = set.ed_dir->text() == home && !folders.isVisible();
        set.reject();
    });
    set.exec();
    EXPECT_TRUE(levelFollowed);
    EXPECT_TRUE(settingsStayed);
    EXPECT_TRUE(folderFilled);
}

TEST(SourceDialogInMainWindow, NoSoundServerLeavesTheListsEmptyAndScourceOpensItModally) {
    QTemporaryDir dir;
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + dir.filePath("no-server")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    ProgramCore core;
    Program program(core);
    ProgramWindows windows(core, program, QStringLiteral(SONVARA_SKIN_FILE));
    Tfm_main& main = windows.fm_main;
    Tfm_dev& dev = windows.fm_dev;
    Tfm_list& list = windows.fm_list;
    dev.dev_bt_help->setEnabled(false);
    QStringList told;
    main.DivertMessages(&told);
    main.move(100, 80);
    main.show();
    qunsetenv("PULSE_SERVER");
    EXPECT_EQ(dev.cb_rd->count(), 0);
    EXPECT_EQ(dev.cb_rd->currentIndex(), -1);
    EXPECT_EQ(dev.cb_rdson->count(), 0);
    EXPECT_TRUE(list.isVisible());  // start-up went on
    EXPECT_TRUE(told.isEmpty());    // not before the windows stand

    bool shownModally = false;
    bool helpEnabled = false;
    QTimer::singleShot(0, &dev, [&] {
        shownModally = dev.isVisible() && dev.isModal();
        helpEnabled = dev.dev_bt_help->isEnabled();
        dev.dev_bt_can->click();
    });
    const QRect rect = main.Skin1().AreaRect(&main, QStringLiteral("scource"));
    ASSERT_FALSE(rect.isEmpty());
    QTest::mouseClick(main.Skin1().Surface(&main), Qt::LeftButton, {}, rect.center());
    EXPECT_TRUE(shownModally);
    EXPECT_TRUE(helpEnabled);
    // Told once, once the windows stood (the dialog's loop ran start-up's timers).
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("need PulseAudio or PipeWire")) << told[0].toStdString();
}

}  // namespace
