#include <QElapsedTimer>
#include <QFile>

#include "e2e/UserFlow.h"

namespace {

TEST_F(UserFlow, SecondCopyEndsAtOnceAndTheFirstGoesOn) {
    QProcess second;
    second.setProcessEnvironment(s.ProgramEnvironment());
    second.start(QStringLiteral(SONVARA_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second copy is still running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    EXPECT_EQ(s.Program().state(), QProcess::Running);
    // Its probe still answers, so its event loop runs.
    EXPECT_TRUE(s.Shown(kMainWindow.title));
}

// "Open with Sonvara" on a text file and a sound file: the second copy hears at once that they
// were taken, the running copy names the unreadable one in one message and goes on after it.
TEST_F(UserFlow, AnUnreadableFileHandedOverIsNamedOnceAndTheFirstCopyGoesOn) {
    const QDir home(s.Home());
    QFile notes(home.filePath("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("shopping list\n") > 0);
    QProcess tool;
    tool.start("sox", {"-n", home.filePath("one.wav"), "synth", "1", "sine", "440"});
    ASSERT_TRUE(tool.waitForFinished(20000) && tool.exitCode() == 0);
    QProcess second;
    second.setProcessEnvironment(s.ProgramEnvironment());
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(SONVARA_PROGRAM), {notes.fileName(), home.filePath("one.wav")});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    const QString message = QStringLiteral("qt_msgbox_label");
    s.WaitForWidget(kMainWindow.title, message);
    EXPECT_EQ(s.Text(kMainWindow.title, message), "Read " + notes.fileName() + " error!!");
    EXPECT_EQ(s.Count(kMainWindow.title), 2);  // the main window and one message
    s.Key(QStringLiteral("Return"));
    EXPECT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; }));
    EXPECT_TRUE(s.Item(QStringLiteral("List"), QStringLiteral("lv"), QStringLiteral("one.wav")));
    EXPECT_EQ(s.Program().state(), QProcess::Running);
}

}  // namespace
