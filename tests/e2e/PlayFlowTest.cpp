#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVariant>

#include "e2e/UserFlow.h"

namespace {

const QString kLevel = QStringLiteral("AudioVisualization21");
const QString kMessage = QStringLiteral("qt_msgbox_label");
const QString kTime = QStringLiteral("s_time");
const QString kMprisName = QStringLiteral("org.mpris.MediaPlayer2.sonvara");
const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kMprisPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// A tone of toneSeconds in the home folder, for the open dialog to find.
class PlayFlow : public UserFlow {
protected:
    void SetUpHome(const QDir& home) override {
        QProcess sox;
        sox.start(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", home.filePath("tone.wav"),
                                          "synth", QString::number(toneSeconds), "sine", "440"});
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
    int toneSeconds = 3;

    bool SonvaraStreamPlays() const {
        return s.Pulse()
            .Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")})
            .contains(QStringLiteral("Sonvara playback"));
    }
    // The stream is there and held still: the pause of the sound, not only of the displays.
    bool SonvaraStreamCorked() const {
        const QString inputs =
            s.Pulse().Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
        return inputs.contains(QStringLiteral("Sonvara playback")) &&
               inputs.contains(QStringLiteral("Corked: yes"));
    }
};

// The desktop's media keys and player widgets: the program on a session bus of its own, driven
// through MPRIS as they drive it.
class MediaKeyFlow : public PlayFlow {
protected:
    // Long enough not to end by itself while the commands come in one by one.
    MediaKeyFlow() { toneSeconds = 30; }

    void SetUpHome(const QDir& home) override {
        PlayFlow::SetUpHome(home);
        s.UseSessionBus();  // the program starts after this
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(kDesktop);
        PlayFlow::TearDown();
    }

    QDBusConnection Desktop() {
        return QDBusConnection::connectToBus(s.SessionBusAddress(), kDesktop);
    }
    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kMprisName, kMprisPath, interface, method);
        call.setArguments(arguments);
        return Desktop().call(call, QDBus::Block, 10000);
    }
    void Command(const QString& method) {
        const QDBusMessage reply = Call(kMprisPlayer, method);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
    }
    QVariant Get(const QString& property) {
        const QDBusMessage reply = Call(QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {kMprisPlayer, property});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString Status() { return Get(QStringLiteral("PlaybackStatus")).toString(); }

    static inline const QString kDesktop = QStringLiteral("e2e-desktop");
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
    EXPECT_EQ(s.Text(kMainWindow.title, kTime), "Time: 00:00:00");
    EXPECT_TRUE(Eventually([&] { return !SonvaraStreamPlays(); }));
}

TEST_F(MediaKeyFlow, MediaKeysPlayPauseAndStopWhatTheListHolds) {
    ASSERT_TRUE(Eventually([&] { return Desktop().interface()->isServiceRegistered(kMprisName); }))
        << "the player is not on the session bus";
    AddThroughTheOpenDialog();
    ASSERT_TRUE(Eventually([&] {
        return s.Item(QStringLiteral("List"), QStringLiteral("lv"), "tone.wav").has_value();
    }));
    EXPECT_EQ(Status(), "Stopped");

    Command(QStringLiteral("PlayPause"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    EXPECT_EQ(Status(), "Playing");
    const QVariantMap metadata = qdbus_cast<QVariantMap>(Get(QStringLiteral("Metadata")));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), "tone.wav");
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 30'000'000);
    EXPECT_TRUE(Eventually([&] { return ShownSeconds() >= 1; }))
        << s.Text(kMainWindow.title, kTime).toStdString();
    EXPECT_GE(Get(QStringLiteral("Position")).toLongLong(), 1'000'000);

    Command(QStringLiteral("Pause"));
    EXPECT_EQ(Status(), "Paused");
    EXPECT_TRUE(Eventually([&] { return SonvaraStreamCorked(); }));
    Command(QStringLiteral("Play"));
    EXPECT_EQ(Status(), "Playing");

    Command(QStringLiteral("Stop"));
    s.WaitForWidget(kMainWindow.title, kLevel, false);
    EXPECT_EQ(s.Text(kMainWindow.title, kTime), "Time: 00:00:00");
    EXPECT_EQ(Status(), "Stopped");
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
    EXPECT_EQ(s.Text(kMainWindow.title, kTime), "Time: 00:00:00");

    JoinAs(QStringLiteral("Joined"));
    expectOneMessage("join");
    EXPECT_TRUE(QDir(s.Home() + QStringLiteral("/My Recorder"))
                    .entryList(QDir::Files | QDir::Hidden)
                    .isEmpty());

    s.ClickSkin(kMainWindow, QStringLiteral("tag"));
    expectOneMessage("tag");
    EXPECT_FALSE(s.Shown(QStringLiteral("ID3 info")));
}

}  // namespace
