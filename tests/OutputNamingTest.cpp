#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include "config/IniSettings.h"
#include "record/OutputNaming.h"
#include "support/FakeClock.h"

namespace {

class OutputNamingTest : public ::testing::Test {
protected:
    void Store(const QString& dir, const QString& prefix) {
        settings_.WriteString("output", "dir", dir);
        settings_.WriteString("output", "out_name", prefix);
    }
    QString Build(bool customName, const Clock& clock) {
        settings_.WriteBool("output", "rb_cust", customName);
        return BuildOutputFileName(settings_, clock, ".mp3");
    }

    QTemporaryDir dir_;
    IniSettings settings_{dir_.filePath("Kelvo.ini")};
    FakeClock clock_{QDateTime(QDate(2006, 5, 19), QTime(0, 8, 4))};
};

TEST_F(OutputNamingTest, DefaultsNameTheFileInMyRecorder) {
    const QString folder = QDir::homePath() + "/My Recorder/";
    EXPECT_EQ(BuildOutputFileName(settings_, clock_, ".mp3"), folder + "EUT.mp3");
    EXPECT_EQ(Build(false, clock_), folder + "EUT-19-05-2006--00;08;04.mp3");
    EXPECT_EQ(ShownFileName(settings_, folder + "EUT-19-05-2006--00;08;04.mp3"),
              "EUT-19-05-2006--00;08;04.mp3");
}

TEST_F(OutputNamingTest, StampIsTwentyFourHourZeroPaddedWhateverTheLocale) {
    Store("/rec", "EUT");
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QString name = Build(false, FakeClock(QDateTime(QDate(2009, 1, 2), QTime(13, 4, 5))));
    QLocale::setDefault(saved);
    EXPECT_EQ(name, "/rec/EUT-02-01-2009--13;04;05.mp3");
}

TEST_F(OutputNamingTest, ShownNameStartsAtThePrefixOrTheFirstHyphen) {
    Store("/home/u/My Recorder", "");
    const QString stamped = Build(false, clock_);
    EXPECT_EQ(stamped, "/home/u/My Recorder/-19-05-2006--00;08;04.mp3");
    EXPECT_EQ(ShownFileName(settings_, stamped), "-19-05-2006--00;08;04.mp3");
    const QString custom = Build(true, clock_);
    EXPECT_EQ(custom, "/home/u/My Recorder/EUT.mp3");
    EXPECT_EQ(ShownFileName(settings_, custom), "EUT.mp3");

    Store("/home/u/My Recorder", "My");
    const QString mine = Build(false, clock_);
    EXPECT_EQ(ShownFileName(settings_, mine), "My Recorder/My-19-05-2006--00;08;04.mp3");
    settings_.WriteString("output", "out_name", "my");  // case matters
    EXPECT_EQ(ShownFileName(settings_, mine), mine);
}

TEST_F(OutputNamingTest, FileStaysDirectlyInTheOutputFolder) {
    Store("/home/u/rec/", "../../etc/x");
    EXPECT_EQ(Build(true, clock_), "/home/u/rec/.._.._etc_x.mp3");
    Store("/r", "a\tb\x1b[31m");  // printed as it is by the command-line tool
    EXPECT_EQ(Build(true, clock_), "/r/a_b_[31m.mp3");

    Store("/home/u/rec", "..");
    const QFileInfo bare(BuildOutputFileName(settings_, clock_, ""));
    EXPECT_EQ(bare.absolutePath(), "/home/u/rec");
    EXPECT_NE(bare.fileName(), "..");
}

// A Kelvo.ini copied from Windows: the folder must land under the home folder, never in the
// directory the program happened to start from.
TEST_F(OutputNamingTest, WindowsFoldersAreTakenUnderTheHomeFolder) {
    const QString home = QDir::homePath();
    const QString mine = home + "/My Recorder";
    for (const char* stored : {"C:\\My Recorder", "c:\\my recorder\\", "C:\\MY RECORDER", ""})
        EXPECT_EQ(LocalFolder(stored), mine) << stored;
    EXPECT_EQ(LocalFolder("D:\\Radio\\Night"), home + "/Radio/Night");
    EXPECT_EQ(LocalFolder("D:\\"), home);
    EXPECT_EQ(LocalFolder("Radio/Night"), home + "/Radio/Night");
    EXPECT_EQ(LocalFolder("a/../../../x"), home + "/x");
    EXPECT_EQ(LocalFolder("/srv/radio"), "/srv/radio");

    Store("C:\\My Recorder", "EUT");
    EXPECT_EQ(Build(true, clock_), mine + "/EUT.mp3");
    settings_.WriteString("output", "path", "D:\\Radio");
    EXPECT_EQ(ReadChosenDirectory(settings_), home + "/Radio");
}

}  // namespace
