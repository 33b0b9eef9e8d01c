#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusMetaType>
#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusVariant>
#include <memory>
#include <optional>
#include <tuple>

#include "app/DisplayElements.h"
#include "components/CodecAudioFile2.h"
#include "components/TagLibAudioInformation2.h"
#include "join/JoinList.h"
#include "play/MprisService.h"
#include "play/PlaybackControl.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeListHost.h"
#include "support/FakeSkin.h"
#include "support/PrivateSessionBus.h"
#include "support/TestAudio.h"
#include "support/Wait.h"

namespace {

const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
constexpr int kRate = 44100;        // a frame is 22.67 µs: positions must round to the frame
constexpr int64_t kFrames = 20000;  // within the 16-bit count that each sample holds

// What the player announces on the bus.
class Announcements : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;  // of the Player interface
    std::vector<qlonglong> seeks;

public slots:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer)
            changes.push_back(changed);
    }
    void Seeked(qlonglong position) { seeks.push_back(position); }
};

QVariantMap AsMap(const QVariant& value) {
    return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value) : value.toMap();
}

QString TrackIdOf(const QVariantMap& metadata) {
    const QVariant id = metadata.value(QStringLiteral("mpris:trackid"));
    return id.canConvert<QDBusArgument>() ? qdbus_cast<QDBusObjectPath>(id).path()
                                          : id.value<QDBusObjectPath>().path();
}

// Each sample holds the number of its frame, so a block tells where the reader was.
SampleArray Counting(int64_t frames) {
    SampleArray samples;
    for (int64_t frame = 0; frame < frames; ++frame)
        samples.push_back(static_cast<int16_t>(frame));
    return samples;
}

// The player logic with a fake sound device, published on a private session bus and driven by
// a second connection as a desktop would.
class MprisServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.IsRunning()) << bus_.ErrorText().toStdString();
        for (const char* name : {"s_filename", "s_mono", "s_sizeson", "s_time"})
            form_.Add(name);
        form_.AddScrollBar("play_bar");
        displays_.Bind(&form_);
        service_ = QDBusConnection::connectToBus(bus_.Address(), kServiceConnection);
        client_ = QDBusConnection::connectToBus(bus_.Address(), kClientConnection);
        ASSERT_TRUE(client_.isConnected());
        mpris_ = std::make_unique<MprisService>(
            control_,
            MprisService::Hooks{[this] { ++raises_; },
                                [this](const QString& message) {
                                    failures_ << message;
                                    control_.StopPlayback();  // as the handler does
                                }},
            &tags_);
        mpris_->Register(service_);
        client_.connect(MprisService::kServiceName, MprisService::kObjectPath,
                        QStringLiteral("org.freedesktop.DBus.Properties"),
                        QStringLiteral("PropertiesChanged"), &heard_,
                        SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
        client_.connect(MprisService::kServiceName, MprisService::kObjectPath, kPlayer,
                        QStringLiteral("Seeked"), &heard_, SLOT(Seeked(qlonglong)));
    }

    void TearDown() override {
        mpris_.reset();
        QDBusConnection::disconnectFromBus(kClientConnection);
        QDBusConnection::disconnectFromBus(kServiceConnection);
    }

    QString AddFile(const QString& name, int64_t frames = kFrames) {
        const QString path = dir_.filePath(name);
        testaudio::WriteFile(path, testaudio::Format::Wav, Counting(frames), kRate, 1);
        hosts_.chosen = {path};
        list_.AddFiles();
        return path;
    }

    // The service answers on this same thread, so the call runs the event loop while it waits.
    QDBusMessage Call(const QString& method, const QVariantList& arguments = {},
                      const QString& interface = kPlayer) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            MprisService::kServiceName, MprisService::kObjectPath, interface, method);
        call.setArguments(arguments);
        return client_.call(call, QDBus::BlockWithGui, 5000);
    }
    // The call went through, or the test shows the error it got.
    void Command(const QString& method, const QVariantList& arguments = {}) {
        const QDBusMessage reply = Call(method, arguments);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
    }
    QVariant Get(const QString& property, const QString& interface = kPlayer) {
        const QDBusMessage reply = Call(QStringLiteral("Get"), {interface, property},
                                        QStringLiteral("org.freedesktop.DBus.Properties"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            ADD_FAILURE() << property.toStdString() << ": " << reply.errorMessage().toStdString();
            return {};
        }
        return reply.arguments().at(0).value<QDBusVariant>().variant();
    }
    QString Status() { return Get(QStringLiteral("PlaybackStatus")).toString(); }
    qlonglong Position() { return Get(QStringLiteral("Position")).toLongLong(); }
    QVariantMap Metadata() { return AsMap(Get(QStringLiteral("Metadata"))); }
    QString TrackId() { return TrackIdOf(Metadata()); }

    // The announcements in the order they came, each once.
    QVariantMap NextChange() {
        if (!WaitFor([&] { return heard_.changes.size() > changesRead_; }, 3000))
            return {};
        return heard_.changes[changesRead_++];
    }
    std::optional<qlonglong> NextSeek() {
        if (!WaitFor([&] { return heard_.seeks.size() > seeksRead_; }, 3000))
            return std::nullopt;
        return heard_.seeks[seeksRead_++];
    }
    void ExpectNoError(const QDBusMessage& reply) {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void ExpectError(const QDBusMessage& reply, const QString& name, const QString& message) {
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), name);
        EXPECT_EQ(reply.errorMessage(), message);
    }
    int FirstQueuedFrame() const { return player_.loaded.at(player_.flushedAt).at(0); }
    static int64_t Us(int64_t frames) { return MprisPlayer::FramesToUs(frames, kRate); }

    static constexpr const char* kServiceConnection = "sonvara-mpris-service";
    static constexpr const char* kClientConnection = "sonvara-mpris-client";
    PrivateSessionBus bus_;
    QDBusConnection service_{QString()};
    QDBusConnection client_{QString()};
    QTemporaryDir dir_;
    FakeActivity state_;
    CodecAudioFile2 reader_;
    FakeListHost hosts_;
    JoinList list_{state_, reader_, hosts_};
    FakeAudioPlayer2 player_;
    FakeLevelDisplay levels_;
    FakeSkinForm form_;
    DisplayElements displays_;
    PlaybackControl control_{{state_, player_, reader_, levels_, displays_, list_, hosts_}};
    TagLibAudioInformation2 tags_;
    std::unique_ptr<MprisService> mpris_;
    Announcements heard_;
    size_t changesRead_ = 0;
    size_t seeksRead_ = 0;
    int raises_ = 0;
    QStringList failures_;
};

TEST_F(MprisServiceTest, PlayPauseAndStopFromTheBusWorkAsTheButtonsAndAreAnnounced) {
    AddFile(QStringLiteral("a.wav"));
    const QString path = AddFile(QStringLiteral("b.wav"));
    list_.SetSelected({});
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(TrackId(), MprisPlayer::kNoTrack);
    EXPECT_FALSE(Get(QStringLiteral("CanSeek")).toBool());

    Command(QStringLiteral("Play"));
    ASSERT_TRUE(control_.Active());
    EXPECT_TRUE(player_.playing);
    EXPECT_EQ(list_.PlayRow(), 1);
    EXPECT_EQ(form_.Get("s_filename")->text, "File Name: b.wav");
    EXPECT_EQ(Status(), "Playing");
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:title").toString(), "b.wav");
    EXPECT_EQ(metadata.value("xesam:url").toString(), QUrl::fromLocalFile(path).toString());
    EXPECT_EQ(metadata.value("mpris:length").toLongLong(), Us(kFrames));
    QVariantMap change = NextChange();
    EXPECT_EQ(change.value("PlaybackStatus").toString(), "Playing");
    EXPECT_TRUE(change.value("CanSeek").toBool());
    EXPECT_EQ(TrackIdOf(AsMap(change.value("Metadata"))), TrackIdOf(metadata));

    player_.Tick(4410);
    EXPECT_EQ(Position(), 100'000);
    Command(QStringLiteral("Pause"));
    EXPECT_EQ(control_.State(), PlaybackState::Paused);
    EXPECT_FALSE(player_.playing);
    EXPECT_EQ(Status(), "Paused");
    change = NextChange();
    EXPECT_EQ(change.value("PlaybackStatus").toString(), "Paused");
    EXPECT_FALSE(change.contains("Metadata"));  // the same track

    Command(QStringLiteral("Pause"));  // already paused: no effect
    EXPECT_EQ(control_.State(), PlaybackState::Paused);
    Command(QStringLiteral("PlayPause"));
    EXPECT_TRUE(player_.playing);
    player_.Tick(4410);
    EXPECT_EQ(Position(), 200'000);
    EXPECT_EQ(NextChange().value("PlaybackStatus").toString(), "Playing");

    Command(QStringLiteral("Stop"));
    EXPECT_FALSE(control_.Active());
    EXPECT_EQ(form_.Get("s_time")->text, "Time: 00:00:00");
    EXPECT_EQ(Status(), "Stopped");
    change = NextChange();
    EXPECT_EQ(change.value("PlaybackStatus").toString(), "Stopped");
    EXPECT_EQ(TrackIdOf(AsMap(change.value("Metadata"))), MprisPlayer::kNoTrack);

    // The one media key both starts and pauses; a new start is a new track.
    Command(QStringLiteral("PlayPause"));
    EXPECT_EQ(Status(), "Playing");
    EXPECT_NE(TrackId(), TrackIdOf(metadata));
    EXPECT_EQ(NextChange().value("PlaybackStatus").toString(), "Playing");
    // The button's stop is announced as well.
    control_.StopPlayback();
    EXPECT_EQ(NextChange().value("PlaybackStatus").toString(), "Stopped");

    EXPECT_EQ(Get(QStringLiteral("Identity"), kRoot).toString(), "Sonvara");
    EXPECT_TRUE(Get(QStringLiteral("CanRaise"), kRoot).toBool());
    ExpectNoError(Call(QStringLiteral("Raise"), {}, kRoot));
    EXPECT_EQ(raises_, 1);
    EXPECT_TRUE(hosts_.messages.isEmpty());
}

TEST_F(MprisServiceTest, SeekAndSetPositionLandOnTheExactFrameAndTheEndStops) {
    AddFile(QStringLiteral("a.wav"));
    Command(QStringLiteral("Play"));
    const QString track = TrackId();

    Command(QStringLiteral("Seek"), {qlonglong{100'000}});
    EXPECT_EQ(FirstQueuedFrame(), 4410);
    EXPECT_EQ(player_.Queued(), 2u);
    EXPECT_TRUE(player_.playing);
    EXPECT_EQ(Position(), 100'000);
    EXPECT_EQ(NextSeek(), 100'000);

    // 279,931 µs is frame 12,344.96: the nearest frame, not the one below.
    Command(QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{279'931}});
    EXPECT_EQ(FirstQueuedFrame(), 12345);
    EXPECT_EQ(Position(), Us(12345));
    Command(QStringLiteral("Seek"), {qlonglong{-Us(345)}});
    EXPECT_EQ(FirstQueuedFrame(), 12000);
    Command(QStringLiteral("Seek"), {qlonglong{-10'000'000}});
    EXPECT_EQ(FirstQueuedFrame(), 0);

    // A stale track's position is ignored, as MPRIS asks.
    const int flushes = player_.flushes;
    Command(QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/sonvara/Track/99"))),
             qlonglong{Us(100)}});
    EXPECT_EQ(player_.flushes, flushes);

    // Paused, the position moves and playback stays paused.
    Command(QStringLiteral("Pause"));
    Command(QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{Us(8000)}});
    EXPECT_EQ(FirstQueuedFrame(), 8000);
    EXPECT_FALSE(player_.playing);
    EXPECT_EQ(Status(), "Paused");

    // The bar's seek is announced too.
    seeksRead_ = heard_.seeks.size();
    control_.SeekTo(490);
    EXPECT_EQ(NextSeek(), Us(10000));

    // The last frame still plays; its end stops as the bar's end does.
    Command(QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{Us(kFrames - 1)}});
    EXPECT_TRUE(control_.Active());
    Command(QStringLiteral("SetPosition"),
            {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{Us(kFrames)}});
    EXPECT_FALSE(control_.Active());
    EXPECT_EQ(form_.Get("s_filename")->text, "");
    EXPECT_EQ(Status(), "Stopped");
    Command(QStringLiteral("Seek"), {qlonglong{100'000}});  // stopped: nothing to seek
    EXPECT_FALSE(control_.Active());

    Command(QStringLiteral("Play"));
    Command(QStringLiteral("Seek"), {qlonglong{Us(kFrames) + 1}});
    EXPECT_FALSE(control_.Active());
}

TEST_F(MprisServiceTest, RefusalsAndFailuresArriveAsDBusErrorsWithoutAMessageBox) {
    ExpectError(Call(QStringLiteral("Play")), MprisPlayer::kRefused,
                "There is nothing to play: add files to the list first.");

    const QString path = AddFile(QStringLiteral("a.wav"));
    state_.recording = true;
    for (const char* method : {"Play", "PlayPause"})
        ExpectError(Call(QString::fromLatin1(method)), MprisPlayer::kRefused,
                    "Please stop recording first.");
    state_.recording = false;
    state_.joining = true;
    ExpectError(Call(QStringLiteral("Play")), MprisPlayer::kRefused,
                "Please wait until the join has finished.");
    state_.joining = false;
    EXPECT_FALSE(control_.Active());
    EXPECT_TRUE(hosts_.messages.isEmpty());

    Command(QStringLiteral("Play"));
    Command(QStringLiteral("Play"));  // already playing: no effect
    EXPECT_EQ(player_.plays, 1);
    const QDBusMessage negative = Call(QStringLiteral("SetPosition"),
                                       {QVariant::fromValue(QDBusObjectPath(TrackId())), -1LL});
    EXPECT_EQ(negative.errorName(), MprisPlayer::kInvalidArgs);
    EXPECT_EQ(Call(QStringLiteral("OpenUri"), {QStringLiteral("file:///tmp/x.mp3")}).errorName(),
              MprisPlayer::kRefused);
    EXPECT_EQ(Call(QStringLiteral("Set"),
                   {kPlayer, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(2.0))},
                   QStringLiteral("org.freedesktop.DBus.Properties"))
                  .type(),
              QDBusMessage::ErrorMessage);
    Command(QStringLiteral("Stop"));

    // A file that went away is a failure: the caller gets it, and so does the error handler.
    ASSERT_TRUE(QFile::remove(path));
    const QDBusMessage reply = Call(QStringLiteral("Play"));
    EXPECT_EQ(reply.errorName(), MprisService::kFailed);
    ASSERT_EQ(failures_.size(), 1);
    EXPECT_EQ(reply.errorMessage(), failures_[0]);
    EXPECT_TRUE(failures_[0].contains("a.wav")) << failures_[0].toStdString();
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_TRUE(hosts_.messages.isEmpty());
}

TEST_F(MprisServiceTest, ShellsReadTheTagAFreshPositionAndSetVolumeAndRate) {
    const QString path = AddFile(QStringLiteral("a.wav"));
    TagLibAudioInformation2 writer;
    writer.setInfoTitle(QStringLiteral("Dawn"));
    writer.setInfoArtist(QStringLiteral("Ann Lee"));
    writer.setInfoAlbum(QStringLiteral("Birds"));
    writer.WriteToFile(path);
    Command(QStringLiteral("Play"));
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:title").toString(), "Dawn");
    EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"Ann Lee"});
    EXPECT_EQ(metadata.value("xesam:album").toString(), "Birds");
    EXPECT_EQ(Get(QStringLiteral("DesktopEntry"), kRoot).toString(), "io.sonvara.Sonvara");
    player_.current = 441;  // heard since the last tick
    EXPECT_EQ(Position(), 10'000);

    const std::tuple<QString, double, bool, double> sets[] = {{"Volume", 0.5, true, 0.5},
                                                              {"Volume", -0.2, true, 0.0},
                                                              {"Volume", 1.25, true, 1.25},
                                                              {"Rate", 1.0, true, 1.0},
                                                              {"Rate", 2.0, false, 1.0}};
    for (const auto& [property, value, taken, readBack] : sets) {
        const QDBusMessage reply = Call(
            QStringLiteral("Set"), {kPlayer, property, QVariant::fromValue(QDBusVariant(value))},
            QStringLiteral("org.freedesktop.DBus.Properties"));
        EXPECT_EQ(reply.type() == QDBusMessage::ReplyMessage, taken) << property.toStdString();
        EXPECT_DOUBLE_EQ(Get(property).toDouble(), readBack) << property.toStdString() << value;
    }
    EXPECT_DOUBLE_EQ(player_.volume, 1.25);
    EXPECT_TRUE(WaitFor([&] { return heard_.changes.back().contains("Volume"); }, 3000));
}

// Nothing plays; for a second service beside the one under test.
struct NoPlayback : PlaybackOperations {
    std::optional<PlayRefusal> TryStartPlayback() override { return std::nullopt; }
    void TogglePlayPause() override {}
    void StopPlayback() override {}
    void SeekToFrame(int64_t) override {}
    PlaybackFacts Facts() const override { return {}; }
    void SetVolume(double) override {}
    double Volume() const override { return 1.0; }
    void SetObserver(PlaybackObserver*) override {}
};

TEST_F(MprisServiceTest, RegistrationSaysWhyItCannotAndTheFirstPlayerStays) {
    NoPlayback nothing;
    MprisService second(nothing, {});
    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/sonvara-test/bus"), "sonvara-no-bus");
    try {
        second.Register(nowhere);
        ADD_FAILURE() << "registered without a bus";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().startsWith("No session bus")) << error.message().toStdString();
    }
    QDBusConnection::disconnectFromBus("sonvara-no-bus");

    try {
        second.Register(client_);
        ADD_FAILURE() << "registered a name that is taken";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains(MprisService::kServiceName))
            << error.message().toStdString();
    }
    AddFile(QStringLiteral("a.wav"));
    Command(QStringLiteral("Play"));
    EXPECT_EQ(Status(), "Playing");
}

}  // namespace

#include "MprisServiceTest.moc"
