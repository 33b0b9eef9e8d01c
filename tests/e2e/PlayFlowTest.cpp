#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "e2e/UserFlow.h"

namespace {

const QString kLevel = QStringLiteral("AudioVisualization21");
const QString kMessage = QStringLiteral("qt_msgbox_label");
const QString kTime = QStringLiteral("s_time");

// A three-second tone in the home folder, for the open dialog to find.
class PlayFlow : public UserFlow {
protected:
    void SetUpHome(const QDir& home) override {
        QProcess sox;
        sox.start(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", home.filePath("tone.wav"),
                                          "synth", "3", "sine", "440"});
        ASSERT_TRUE(sox.waitForFinished(20000) && sox.exitCode() == 0);
    }

    void AddThroughTheOpenDialog() {
        const QString open = QStringLiteral("Open");
        s.ClickSkin(kListWindow, QStringLiteral("list_add"));
        s.WaitForWindow(open);
        s.ClickWidget(open, QStringLiteral("fileNameEdit"));
        s.WaitForFocus(open, QStringLiteral("fileNameEdit"));
        s.Type(QStringLiteral("tone.wav"));
        s.Key(QStringLiteral("Return"));
        s.WaitForWindow(open, false);
    }

    // Seconds that "s_time" shows, or -1 while it shows no time.
    int ShownSeconds() const {
        const auto match = QRegularExpression(QStringLiteral("^Time: (\\d+):(\\d\\d):(\\d\\d)$"))
                               .match(s.Text(kMainWindow.title, kTime));
        if (!match.hasMatch())
            return -1;
        return match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 +
               match.captured(3).toInt();
    }
    bool SonvaraStreamPlays() const {
        return s.Pulse()
            .Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")})
            .contains(QStringLiteral("Sonvara playback"));
    }
};

TEST_F(PlayFlow, PlayShowsTheTimeAndSoundsUntilStop) {
    AddThroughTheOpenDialog();
    ASSERT_TRUE(Eventually([&] {
        return s.Item(QStringLiteral("List"), QStringLiteral("lv"), "tone.wav").has_value();
    }));

    s.ClickSkin(kMainWindow, QStringLiteral("play"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    EXPECT_TRUE(Eventually([&] { return SonvaraStreamPlays(); }));
    EXPECT_TRUE(Eventually([&] { return ShownSeconds() >= 1; }))
        << s.Text(kMainWindow.title, kTime).toStdString();

    s.ClickSkin(kMainWindow, QStringLiteral("stop"));
    s.WaitForWidget(kMainWindow.title, kLevel, false);
    EXPECT_EQ(s.Text(kMainWindow.title, kTime), "");
    EXPECT_TRUE(Eventually([&] { return !SonvaraStreamPlays(); }));
}

// A listed file deleted behind the program's back: playing, joining and tagging each say once
// which file is gone, leave nothing behind, and the program goes on.
TEST_F(PlayFlow, AListedFileThatIsGoneIsNamedWhenPlayedJoinedOrTagged) {
    AddThroughTheOpenDialog();
    ASSERT_TRUE(Eventually([&] {
        return s.Item(QStringLiteral("List"), QStringLiteral("lv"), "tone.wav").has_value();
    }));
    const QString file = QDir(s.Home()).filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(QFile::remove(file));
    const QString gone = "Cannot read \"" + file + "\": the file does not exist";
    const auto expectOneMessage = [&](const char* command) {
        s.WaitForWidget(kMainWindow.title, kMessage);
        EXPECT_TRUE(s.Text(kMainWindow.title, kMessage).startsWith(gone))
            << command << ": " << s.Text(kMainWindow.title, kMessage).toStdString();
        EXPECT_EQ(s.Count(kMainWindow.title), 2) << command;
        s.Key(QStringLiteral("Return"));
        EXPECT_TRUE(Eventually([&] { return s.Count(kMainWindow.title) == 1; })) << command;
    };

    s.ClickSkin(kMainWindow, QStringLiteral("play"));
    expectOneMessage("play");
    EXPECT_FALSE(SonvaraStreamPlays());
    EXPECT_EQ(s.Text(kMainWindow.title, kTime), "");

    s.ClickSkin(kListWindow, QStringLiteral("join"));
    const QString save = QStringLiteral("Save As");
    s.WaitForWindow(save);
    s.WaitForFocus(save, QStringLiteral("fileNameEdit"));
    s.Type(QStringLiteral("Joined"));
    s.Key(QStringLiteral("Return"));
    s.WaitForWindow(save, false);
    expectOneMessage("join");
    EXPECT_TRUE(QDir(s.Home() + QStringLiteral("/My Recorder"))
                    .entryList(QDir::Files | QDir::Hidden)
                    .isEmpty());

    s.ClickSkin(kMainWindow, QStringLiteral("tag"));
    expectOneMessage("tag");
    EXPECT_FALSE(s.Shown(QStringLiteral("ID3 info")));
}

}  // namespace
