#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <thread>

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

// What a crash leaves: a recording cut in the middle of a frame whose info frame still says
// that its length is not known, and the marker of a process that is gone (its id is ours, its
// start time is not) on this computer, naming that very file.
class CutOffRecordingFlow : public UserFlow {
protected:
    void SetUpHome(const QDir& home) override {
        ASSERT_TRUE(home.mkpath("My Recorder"));
        const QString wav = home.filePath("tone.wav");
        cut_ = home.filePath("My Recorder/cut.mp3");
        QProcess tool;
        tool.start("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", "3", "sine", "440"});
        ASSERT_TRUE(tool.waitForFinished(20000) && tool.exitCode() == 0);
        tool.start("lame", {"--quiet", "-b", "128", wav, cut_});
        ASSERT_TRUE(tool.waitForFinished(20000) && tool.exitCode() == 0);
        QFile mp3(cut_);
        ASSERT_TRUE(mp3.open(QIODevice::ReadWrite));
        // No frame count and no byte count yet.
        ASSERT_TRUE(mp3.seek(mp3.read(64).indexOf("Info") + 8) && mp3.write(QByteArray(8, 0)) == 8);
        ASSERT_TRUE(mp3.resize(mp3.size() * 2 / 3 + 100));

        const QString settings = s.ConfigHome() + QStringLiteral("/Sonvara");
        ASSERT_TRUE(QDir().mkpath(settings));
        QFile marker(settings + QStringLiteral("/recording-1.marker"));
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        QFile boot("/proc/sys/kernel/random/boot_id");
        ASSERT_TRUE(boot.open(QIODevice::ReadOnly));
        struct stat file {};
        ASSERT_EQ(stat(QFile::encodeName(cut_).constData(), &file), 0);
        marker.write(cut_.toUtf8() + "\n" + QByteArray::number(QCoreApplication::applicationPid()) +
                     "\n1\n" + boot.readAll().trimmed() + "\n" +
                     QFile::symLinkTarget("/proc/self/ns/pid").section('/', -1).toUtf8() + "\n" +
                     QSysInfo::machineHostName().toUtf8() + "\n" +
                     QByteArray::number(quint64(file.st_dev)) + " " +
                     QByteArray::number(quint64(file.st_ino)) + " " +
                     QByteArray::number(qint64(file.st_size)) + "\n");
    }
    QString cut_;
};

TEST_F(CutOffRecordingFlow, ARecordingCutOffByACrashIsRepairedListedAndToldAtTheNextStart) {
    s.WaitForWidget(kMainWindow.title, kMessage);
    const QString text = s.Text(kMainWindow.title, kMessage);
    EXPECT_TRUE(text.startsWith("A recording was cut off and has been repaired:"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\n" + cut_ + " (00:00:0")) << text.toStdString();
    s.Key(QStringLiteral("Return"));
    EXPECT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; }));
    EXPECT_TRUE(s.Item(QStringLiteral("List"), QStringLiteral("lv"), QStringLiteral("cut.mp3")));
    EXPECT_NEAR(DurationSeconds(cut_), 2.0, 0.3);
    EXPECT_TRUE(QDir(s.ConfigHome() + QStringLiteral("/Sonvara"))
                    .entryList({"*.marker"}, QDir::Files)
                    .isEmpty());
}

// A dialog's failure is told and changes nothing else: the recording under way goes on, and
// its file is whole.
TEST_F(UserFlow, ADialogsFailureLeavesTheRecordingRunning) {
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    const QString schedule = QStringLiteral("Schedule Settings");
    const auto start = std::chrono::steady_clock::now();
    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    s.ClickSkin(kMainWindow, QStringLiteral("schedule"));
    s.WaitForWindow(schedule);
    QFile::remove(ini);
    ASSERT_TRUE(QDir().mkpath(ini));  // the settings can no longer be written
    s.ClickWidget(schedule, QStringLiteral("sche_bt_ok"));
    s.WaitForWidget(kMainWindow.title, kMessage);
    EXPECT_TRUE(s.Text(kMainWindow.title, kMessage).contains(ini))
        << s.Text(kMainWindow.title, kMessage).toStdString();
    s.Key(QStringLiteral("Return"));
    s.ClickWidget(schedule, QStringLiteral("Button3"));
    s.WaitForWindow(schedule, false);
    EXPECT_TRUE(s.Widget(kMainWindow.title, kLevel)->visible);
    std::this_thread::sleep_until(start + 3s);
    s.ClickSkin(kMainWindow, QStringLiteral("stop"));
    s.WaitForWidget(kMainWindow.title, kLevel, false);

    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_GT(DurationSeconds(files[0].absoluteFilePath()), 2.5);
}

}  // namespace
