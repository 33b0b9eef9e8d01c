#include "e2e/UserFlow.h"

namespace {

const QString kMessage = QStringLiteral("qt_msgbox_label");
const QString kLevel = QStringLiteral("AudioVisualization21");

// A file-size limit on the program stands in for a disk that fills up while it records.
class FullDiskFlow : public UserFlow {
protected:
    void SetUpHome(const QDir&) override { s.SetLauncher({"prlimit", "--fsize=60000"}); }
};

TEST_F(FullDiskFlow, AFullDiskEndsTheRecordingWithOneMessageAndAWholeFile) {
    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    s.WaitForWidget(kMainWindow.title, kMessage);
    EXPECT_TRUE(s.Text(kMainWindow.title, kMessage).startsWith("Cannot write"))
        << s.Text(kMainWindow.title, kMessage).toStdString();
    // Stopped before the message was shown: the level display is gone already.
    s.WaitForWidget(kMainWindow.title, kLevel, false);
    EXPECT_EQ(s.Count(kMainWindow.title), 2);  // the main window and one message
    s.Key(QStringLiteral("Return"));
    EXPECT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; }));

    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_LE(files[0].size(), 60000);
    EXPECT_GT(DurationSeconds(files[0].absoluteFilePath()), 2.0);
}

// PulseAudio and PipeWire restart in normal use: the recording under way ends with its file
// finished and one message, and the next one works without restarting Sonvara.
TEST_F(UserFlow, ASoundServerRestartEndsTheRecordingOnceAndTheNextOneWorks) {
    const QString folder = s.Home() + QStringLiteral("/My Recorder");
    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    ASSERT_TRUE(Eventually([&] {
        const QFileInfoList files = Mp3Files(folder);
        return files.size() == 1 && files[0].size() > 8000;
    }));
    s.KillSoundServer();
    s.WaitForWidget(kMainWindow.title, kMessage);
    EXPECT_TRUE(s.Text(kMainWindow.title, kMessage).contains("sound server"))
        << s.Text(kMainWindow.title, kMessage).toStdString();
    EXPECT_EQ(s.Count(kMainWindow.title), 2);
    s.Key(QStringLiteral("Return"));
    EXPECT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; }));
    const QFileInfoList first = Mp3Files(folder);
    ASSERT_EQ(first.size(), 1);
    EXPECT_GT(DurationSeconds(first[0].absoluteFilePath()), 0.3);

    s.RestartSoundServer();
    // The program finds the server again by itself, as a client named after it.
    EXPECT_TRUE(Eventually([&] {
        return s.Pulse().Pactl({"list", "clients"}).contains("application.name = \"Sonvara\"");
    }));
    Record(1s);
    EXPECT_EQ(Mp3Files(folder).size(), 2);
    EXPECT_EQ(s.Count(kMainWindow.title), 1);  // no message this time
}

}  // namespace
