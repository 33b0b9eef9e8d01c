#include "play/MprisService.h"

#include <QStringList>
#include <QtDBus/QDBusAbstractAdaptor>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusObjectPath>

#include "components/ErrorBoundary.h"

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

}  // namespace

// org.mpris.MediaPlayer2: who the player is. It does not quit from the bus: closing the main
// window does, and finishes a recording first.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ No)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ No)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QStringList SupportedUriSchemes READ None)
    Q_PROPERTY(QStringList SupportedMimeTypes READ None)

public:
    explicit MprisRootAdaptor(MprisService& service)
        : QDBusAbstractAdaptor(&service), service_(service) {}

    bool No() const { return false; }
    bool CanRaise() const { return static_cast<bool>(service_.GetHooks().raise); }
    QString Identity() const { return QStringLiteral("Sonvara"); }
    QString DesktopEntry() const { return MprisService::kDesktopEntry; }
    QStringList None() const { return {}; }

public slots:
    void Raise() {
        if (service_.GetHooks().raise)
            ReportFailures(service_.GetHooks().raise);
    }
    void Quit() {}

private:
    MprisService& service_;
};

// org.mpris.MediaPlayer2.Player: the commands and what playback does. One file, at one speed and
// the volume the desktop sets for the stream.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ One WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ One)
    Q_PROPERTY(double MaximumRate READ One)
    Q_PROPERTY(bool CanGoNext READ No)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ Yes)
    Q_PROPERTY(bool CanPause READ Yes)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ Yes)

public:
    explicit MprisPlayerAdaptor(MprisService& service)
        : QDBusAbstractAdaptor(&service), service_(service), player_(service.Player()) {}

    QString PlaybackStatus() const { return player_.PlaybackStatus(); }
    QVariantMap Metadata() const { return player_.Metadata(); }
    qlonglong Position() const { return player_.PositionUs(); }
    bool CanSeek() const { return player_.CanSeek(); }
    double Volume() const { return player_.Volume(); }
    void SetVolume(double volume) {
        Set([this, volume] { player_.SetVolume(volume); });
        service_.PlaybackChanged();
    }
    void SetRate(double rate) {
        Set([rate] { MprisPlayer::CheckRate(rate); });
    }
    double One() const { return 1.0; }
    bool Yes() const { return true; }
    bool No() const { return false; }

public slots:
    // Each takes its message last, to answer it with an error.
    void Play(const QDBusMessage& call) {
        Run(call, [this] { player_.Play(); });
    }
    void Pause(const QDBusMessage& call) {
        Run(call, [this] { player_.Pause(); });
    }
    void PlayPause(const QDBusMessage& call) {
        Run(call, [this] { player_.PlayPause(); });
    }
    void Stop(const QDBusMessage& call) {
        Run(call, [this] { player_.Stop(); });
    }
    void Seek(qlonglong offset, const QDBusMessage& call) {
        Run(call, [this, offset] { player_.Seek(offset); });
    }
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position, const QDBusMessage& call) {
        Run(call, [this, &trackId, position] { player_.SetPosition(trackId.path(), position); });
    }
    void Next() {}
    void Previous() {}
    void OpenUri(const QString&, const QDBusMessage& call) {
        Answer(call, MprisPlayer::kRefused,
               QStringLiteral("Sonvara plays the files of its list; add the file there."));
    }

signals:
    void Seeked(qlonglong position);

private:
    // The caller hears of a refusal as an error reply. A failure (a file that cannot be read)
    // is a D-Bus error too, and then goes to the error handler as the button's would, which
    // stops playback and shows it; the reply is sent first so the caller is not kept waiting.
    template <typename Command>
    void Run(const QDBusMessage& call, Command command) {
        try {
            command();
        } catch (const MprisRefusal& refusal) {
            Answer(call, refusal.errorName(), refusal.message());
        } catch (...) {
            const QString message = ErrorMessage(std::current_exception());
            Answer(call, MprisService::kFailed, message);
            if (service_.GetHooks().fail)
                service_.GetHooks().fail(message);
        }
    }

    // Qt answers a property set by itself and gives the setter no call to answer; a refused
    // set is logged, and the caller's error reply comes from the write's status (see below).
    template <typename Command>
    void Set(Command command) {
        try {
            command();
        } catch (const MprisRefusal& refusal) {
            refused_ = true;
            qWarning("Sonvara: %s", qPrintable(refusal.message()));
        } catch (...) {
            refused_ = true;
            if (service_.GetHooks().fail)
                service_.GetHooks().fail(ErrorMessage(std::current_exception()));
        }
    }

    void Answer(const QDBusMessage& call, const QString& errorName, const QString& text) {
        call.setDelayedReply(true);
        service_.Bus().send(call.createErrorReply(errorName, text));
    }

protected:
    bool refused_ = false;  // by the last property set

private:
    MprisService& service_;
    MprisPlayer& player_;
};

// A refused property set fails the write's status, which Qt answers with an error reply.
class MprisPlayerProperties final : public MprisPlayerAdaptor {
public:
    using MprisPlayerAdaptor::MprisPlayerAdaptor;

    int qt_metacall(QMetaObject::Call call, int id, void** arguments) override {
        refused_ = false;
        const int rest = MprisPlayerAdaptor::qt_metacall(call, id, arguments);
        // The arguments of a write: the value, the variant, the status, the flags.
        if (call == QMetaObject::WriteProperty && refused_ && arguments[2])
            *static_cast<int*>(arguments[2]) = 0;
        return rest;
    }
};

MprisService::MprisService(PlaybackOperations& playback, Hooks hooks, AudioInformation2* tags)
    : playback_(playback),
      hooks_(std::move(hooks)),
      player_(playback, tags),
      playerAdaptor_(new MprisPlayerProperties(*this)) {
    new MprisRootAdaptor(*this);
    playback_.SetObserver(this);
}

MprisService::~MprisService() {
    playback_.SetObserver(nullptr);
    if (!bus_)
        return;
    bus_->unregisterService(kServiceName);
    bus_->unregisterObject(kObjectPath);
}

void MprisService::Register(const QDBusConnection& bus) {
    if (!bus.isConnected())
        throw SonvaraError(QStringLiteral("No session bus (%1), so media keys cannot reach "
                                          "the player.")
                               .arg(bus.lastError().message()));
    QDBusConnection connection = bus;
    if (!connection.registerObject(kObjectPath, this))
        throw SonvaraError(QStringLiteral("The path %1 on the session bus is taken, so media "
                                          "keys cannot reach the player.")
                               .arg(kObjectPath));
    if (!connection.registerService(kServiceName)) {
        const QString why = connection.lastError().message();
        connection.unregisterObject(kObjectPath);
        throw SonvaraError(QStringLiteral("The name %1 on the session bus is taken (%2), so media "
                                          "keys cannot reach the player.")
                               .arg(kServiceName, why));
    }
    bus_ = connection;
}

void MprisService::PlaybackChanged() {
    // Worked out even with no bus, so that what a later registration announces is current.
    const QVariantMap changes = player_.Changes();
    if (!bus_ || changes.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changes << QStringList();
    bus_->send(signal);
}

void MprisService::PlaybackSeeked() {
    emit playerAdaptor_->Seeked(player_.PositionUs());
}

#include "MprisService.moc"
