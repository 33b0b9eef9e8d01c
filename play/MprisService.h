#pragma once

#include <QObject>
#include <QString>
#include <QtDBus/QDBusConnection>
#include <functional>
#include <optional>

#include "play/MprisPlayer.h"
#include "play/PlaybackOperations.h"

class MprisPlayerAdaptor;

// Sonvara's player on a session bus as the MPRIS 2 media player org.mpris.MediaPlayer2.sonvara
// (root and Player interfaces at /org/mpris/MediaPlayer2), for media keys, panel widgets and
// playerctl. A refusal is answered with a D-Bus error; a failure also goes to the error handler.
class MprisService : public QObject, public PlaybackObserver {
    Q_OBJECT

public:
    static inline const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.sonvara");
    static inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString kFailed = QStringLiteral("org.mpris.MediaPlayer2.sonvara.Failed");
    // The desktop file's id, by which shells find the program's name and icon.
    static inline const QString kDesktopEntry = QStringLiteral("io.sonvara.Sonvara");

    struct Hooks {
        std::function<void()> raise;                       // the main window to the front
        std::function<void(const QString& message)> fail;  // the program's error handler
    };

    // Observes playback from here on; the bus hears of it once registered. tags, when given,
    // reads the playing file's title, artist and album.
    MprisService(PlaybackOperations& playback, Hooks hooks, AudioInformation2* tags = nullptr);
    ~MprisService() override;
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Publishes the player there. Throws SonvaraError saying why when the bus is not connected
    // or the name is taken.
    void Register(const QDBusConnection& bus);

    void PlaybackChanged() override;
    void PlaybackSeeked() override;

    MprisPlayer& Player() { return player_; }
    const Hooks& GetHooks() const { return hooks_; }

    // The bus it is registered on; a disconnected one before.
    QDBusConnection Bus() const { return bus_.value_or(QDBusConnection(QString())); }

private:
    PlaybackOperations& playback_;
    Hooks hooks_;
    MprisPlayer player_;
    MprisPlayerAdaptor* playerAdaptor_;
    std::optional<QDBusConnection> bus_;
};
