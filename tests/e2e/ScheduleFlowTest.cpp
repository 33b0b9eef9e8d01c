#include <QDateTime>
#include <QFile>
#include <csignal>
#include <thread>

#include "e2e/UserFlow.h"

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kSchedule = QStringLiteral("Schedule Settings");
const QString kLevel = QStringLiteral("AudioVisualization21");

bool Enabled(const Session& s, const QString& name) {
    const auto widget = s.Widget(kSchedule, name);
    return widget && widget->enabled;
}

// The schedule dialog opens over the modal settings dialog and must take input all the same.
TEST_F(UserFlow, ScheduleFromTheSettingsPageTakesInputAndIsStoredByOk) {
    s.ClickSkin(kMainWindow, QStringLiteral("set"));
    s.WaitForWindow(kSettings);
    s.ClickItem(kSettings, QStringLiteral("tv"), QStringLiteral("Schedule"));
    s.WaitForWindow(kSchedule);

    s.ClickWidget(kSchedule, QStringLiteral("RadioButton2"));
    ASSERT_TRUE(Eventually([&] { return Enabled(s, QStringLiteral("cb_rec1")); }));
    s.ClickWidget(kSchedule, QStringLiteral("cb_rec1"));
    ASSERT_TRUE(Eventually([&] { return Enabled(s, QStringLiteral("Begintime1")); }));
    EXPECT_TRUE(Enabled(s, QStringLiteral("endtime1")));
    EXPECT_FALSE(Enabled(s, QStringLiteral("begintime2")));

    s.ClickWidget(kSchedule, QStringLiteral("sche_bt_ok"));
    s.WaitForWindow(kSchedule, false);
    EXPECT_TRUE(s.Shown(kSettings));
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    EXPECT_EQ(IniValue(ini, QStringLiteral("autorec"), QStringLiteral("format")), "1");
    EXPECT_EQ(IniValue(ini, QStringLiteral("autorec"), QStringLiteral("cb1")), "1");
}

// A slot stored before the program starts records on its own, at its times, with nobody at
// the program.
class ScheduledRecordingFlow : public UserFlow {
protected:
    void SetUpHome(const QDir&) override {
        // Far enough ahead for the program to be up on a busy machine.
        begin_ = QDateTime::currentDateTime().addSecs(15);
        const QDateTime end = begin_.addSecs(kSeconds);
        QDir().mkpath(s.ConfigHome() + QStringLiteral("/Sonvara"));
        QFile ini(s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[autorec]\nformat=1\ncb1=1\nbegintime1=%1\nendtime1=%2\n")
                      .arg(begin_.toString(QStringLiteral("HH:mm:ss")),
                           end.toString(QStringLiteral("HH:mm:ss")))
                      .toUtf8());
    }

    static constexpr int kSeconds = 4;
    QDateTime begin_;
};

TEST_F(ScheduledRecordingFlow, AnEveryDaySlotRecordsOnceAtItsTimes) {
    const QString folder = s.Home() + QStringLiteral("/My Recorder");
    ASSERT_LT(QDateTime::currentDateTime(), begin_) << "the program took too long to start";
    EXPECT_TRUE(Mp3Files(folder).isEmpty());
    std::this_thread::sleep_for(
        std::chrono::milliseconds(QDateTime::currentDateTime().msecsTo(begin_)));
    s.WaitForWidget(kMainWindow.title, kLevel);
    s.WaitForWidget(kMainWindow.title, kLevel, false);

    const QFileInfoList files = Mp3Files(folder);
    ASSERT_EQ(files.size(), 1);
    // A source that sat idle hands a new capture stream what it rendered before the start, up
    // to two seconds of it; the rest is the slot's own length.
    const double seconds = DurationSeconds(files[0].absoluteFilePath());
    EXPECT_GT(seconds, kSeconds - 0.7);
    EXPECT_LT(seconds, kSeconds + 2.5);
}

// A slot's start waits for nobody: a combination the settings window refuses, still pending
// there, is left aside, and the slot records with what Kelvo.ini holds.
TEST_F(ScheduledRecordingFlow, ASlotRecordsWithTheStoredSettingsWhileARefusedOneIsPending) {
    const QString message = QStringLiteral("qt_msgbox_label");
    s.ClickSkin(kMainWindow, QStringLiteral("set"));
    s.WaitForWindow(kSettings);
    s.ClickItem(kSettings, QStringLiteral("tv"), QStringLiteral("MP3"));
    for (const auto& [list, key] :
         {std::pair{"cb_mp3_frequency", "End"}, {"cb_mp3_bitrate", "Home"}}) {
        s.ClickWidget(kSettings, QString::fromLatin1(list));
        s.Key(QString::fromLatin1(key));
        s.Key(QStringLiteral("Return"));
    }
    s.ClickWidget(kSettings, QStringLiteral("set_bt_ok"));
    s.WaitForWidget(kMainWindow.title, message);  // 48000 Hz at 8 Kbps: refused
    s.Key(QStringLiteral("Return"));
    ASSERT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; }));
    ASSERT_LT(QDateTime::currentDateTime(), begin_) << "the program took too long to start";

    std::this_thread::sleep_for(
        std::chrono::milliseconds(QDateTime::currentDateTime().msecsTo(begin_)));
    s.WaitForWidget(kMainWindow.title, kLevel);
    EXPECT_EQ(s.Count(kMainWindow.title), 1);
    s.WaitForWidget(kMainWindow.title, kLevel, false);
    EXPECT_EQ(s.Count(kMainWindow.title), 1);
    EXPECT_TRUE(s.Shown(kSettings));
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_GT(DurationSeconds(files[0].absoluteFilePath()), kSeconds - 0.7);
}

// A logout or a shutdown sends SIGTERM: the recording under way is finished, and the program
// ends by itself.
TEST_F(UserFlow, SigtermFinishesTheRecordingAndEnds) {
    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(s.SignalAndWaitForExit(SIGTERM));

    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_NEAR(DurationSeconds(files[0].absoluteFilePath()), 2.0, 1.0);
}

}  // namespace
