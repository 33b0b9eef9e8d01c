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

}  // namespace
