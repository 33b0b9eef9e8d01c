#include <QProcess>
#include <QUrl>

#include "e2e/UserFlow.h"

namespace {

const QString kList = QStringLiteral("List");
const QString kView = QStringLiteral("lv");

// Short sound files in the home folder, for the open dialog's first filter to find.
class ListFlow : public UserFlow {
protected:
    void SetUpHome(const QDir& home) override {
        for (const char* name : {"one.wav", "two.wav", "three.flac"}) {
            QProcess sox;
            sox.start(QStringLiteral("sox"),
                      {"-n", "-r", "22050", "-c", "1", home.filePath(QString::fromLatin1(name)),
                       "synth", "1.5", "sine", "440"});
            ASSERT_TRUE(sox.waitForFinished(20000) && sox.exitCode() == 0);
        }
    }

    // Every file of the folder the dialog opens in (the home folder at first).
    void AddAllThroughTheOpenDialog() {
        const QString open = QStringLiteral("Open");
        s.ClickSkin(kListWindow, QStringLiteral("list_add"));
        s.WaitForWindow(open);
        // The dialog shows its files as a list or as a detailed tree.
        const auto list = s.Widget(open, QStringLiteral("listView"));
        const QString view =
            list && list->visible ? QStringLiteral("listView") : QStringLiteral("treeView");
        s.ClickWidget(open, view);
        s.WaitForFocus(open, view);
        s.Key(QStringLiteral("ctrl+a"));
        // The names of the selected files are in the name field now; Return there opens them.
        s.ClickWidget(open, QStringLiteral("fileNameEdit"));
        s.WaitForFocus(open, QStringLiteral("fileNameEdit"));
        s.Key(QStringLiteral("Return"));
        s.WaitForWindow(open, false);
    }
};

TEST_F(ListFlow, FilesAddedThroughTheOpenDialogAndARecordingShowUpInOrder) {
    AddAllThroughTheOpenDialog();
    EXPECT_TRUE(
        Eventually([&] { return s.Item(kList, kView, QStringLiteral("two.wav")).has_value(); }));
    EXPECT_TRUE(s.Item(kList, kView, QStringLiteral("one.wav")));
    EXPECT_TRUE(s.Item(kList, kView, QStringLiteral("three.flac")));

    Record(1s);
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    const auto recorded = s.Item(kList, kView, files[0].fileName());
    const auto second = s.Item(kList, kView, QStringLiteral("two.wav"));
    ASSERT_TRUE(recorded && second);
    EXPECT_GT(recorded->top(), second->top());  // the last row
    EXPECT_TRUE(s.Widget(kList, kView)->rect.contains(*recorded));
    s.ClickItem(kList, kView, files[0].fileName());
    s.Key(QStringLiteral("Delete"));
    EXPECT_TRUE(Eventually([&] { return !s.Item(kList, kView, files[0].fileName()); }));
}

TEST_F(ListFlow, TheListJoinsIntoOneMp3InTheOutputFolder) {
    AddAllThroughTheOpenDialog();
    ASSERT_TRUE(
        Eventually([&] { return s.Item(kList, kView, QStringLiteral("two.wav")).has_value(); }));
    JoinAs(QStringLiteral("Joined"));

    const QString folder = s.Home() + QStringLiteral("/My Recorder");
    const QString joined = folder + QStringLiteral("/Joined.mp3");
    ASSERT_TRUE(Eventually([&] { return !s.OpenedOnTheDesktop().isEmpty(); }));
    ASSERT_EQ(s.OpenedOnTheDesktop().size(), 1);
    EXPECT_EQ(QDir::cleanPath(QUrl(s.OpenedOnTheDesktop()[0]).toLocalFile()), folder)
        << s.OpenedOnTheDesktop()[0].toStdString();
    EXPECT_NEAR(DurationSeconds(joined), 4.5, 0.1);  // three files of 1.5 s
}

// As "Open with Sonvara" in a file manager does while Sonvara runs. The second copy is told at
// once that its files were taken, and one message names the one that cannot be read.
TEST_F(ListFlow, FilesGivenToASecondCopyReachTheRunningCopysList) {
    const QString notes = s.Home() + "/notes.txt", message = QStringLiteral("qt_msgbox_label");
    ASSERT_TRUE(QFile(notes).open(QIODevice::WriteOnly));
    QProcess second;
    second.setProcessEnvironment(s.ProgramEnvironment());
    second.start(QStringLiteral(SONVARA_PROGRAM),
                 {QDir(s.Home()).filePath("one.wav"), notes, QDir(s.Home()).filePath("two.wav")});
    ASSERT_TRUE(second.waitForFinished(3000)) << "the second copy is still running";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    s.WaitForWidget(kMainWindow.title, message);
    EXPECT_EQ(s.Text(kMainWindow.title, message), "Read " + notes + " error!!");
    EXPECT_EQ(s.Count(kMainWindow.title), 2);  // the main window and one message
    s.Key(QStringLiteral("Return"));
    ASSERT_TRUE(
        Eventually([&] { return s.Item(kList, kView, QStringLiteral("two.wav")).has_value(); }));
    EXPECT_TRUE(s.Item(kList, kView, QStringLiteral("one.wav")));
    EXPECT_EQ(s.Program().state(), QProcess::Running);
}

// The list's own minimise button takes both windows away; "list" brings both back.
TEST_F(UserFlow, TheTwoWindowsMinimiseAndComeBackTogether) {
    const auto mainMinimized = [&] { return s.Window(kMainWindow.title).value().minimized; };
    s.ClickSkin(kListWindow, QStringLiteral("min"));
    EXPECT_TRUE(Eventually(mainMinimized));
    s.ClickSkin(kMainWindow, QStringLiteral("list"));
    EXPECT_TRUE(Eventually([&] { return !mainMinimized() && !s.Window(kList).value().minimized; }));
}

// Closing the program during a long join stops it as "stopj" does: the program ends at once,
// what was joined is a whole MP3, and no folder opens after the program has gone.
TEST_F(UserFlow, ClosingTheMainWindowDuringAJoinEndsTheProgramWithAWholeOutput) {
    const QString part = s.Home() + "/part.wav", joined = s.Home() + "/My Recorder/Joined.mp3";
    ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "8000", part, "synth", "300", "sine", "440"}),
              0);
    QProcess tool;
    tool.setProcessEnvironment(s.ProgramEnvironment());
    tool.start(QStringLiteral(SONVARA_PROGRAM), QStringList(20, part));  // 100 minutes
    ASSERT_TRUE(tool.waitForFinished(10000) && tool.exitCode() == 0);
    JoinAs(QStringLiteral("Joined"));
    ASSERT_TRUE(Eventually([&] { return s.Item(kList, kView, "Converting").has_value(); }));
    s.ClickSkin(kMainWindow, QStringLiteral("close"));
    EXPECT_TRUE(s.SignalAndWaitForExit(0, 10s));  // signal 0 sends nothing: it only waits
    EXPECT_GT(DurationSeconds(joined), 1);
    EXPECT_FALSE(QFile::exists(joined + ".part") || !s.OpenedOnTheDesktop().isEmpty());
}

}  // namespace
