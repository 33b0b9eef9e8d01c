#pragma once

#include <QString>
#include <QVariantMap>
#include <cstdint>

#include "components/SonvaraError.h"
#include "play/PlaybackOperations.h"

// A command of the media-player interface that playback refused, with the D-Bus error name the
// caller receives and the reason as its message.
class MprisRefusal : public SonvaraError {
public:
    MprisRefusal(QString errorName, const QString& message)
        : SonvaraError(message), errorName_(std::move(errorName)) {}
    const QString& errorName() const { return errorName_; }

private:
    QString errorName_;
};

class AudioInformation2;

// What Sonvara's MPRIS 2 player does, apart from the bus: the desktop's commands carried out by
// playback's own operations, the properties read from what playback does, and which of the
// signalled properties changed. Positions are in microseconds, as MPRIS counts them.
class MprisPlayer {
public:
    static inline const QString kRefused = QStringLiteral("org.mpris.MediaPlayer2.sonvara.Refused");
    static inline const QString kInvalidArgs =
        QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    static inline const QString kNoTrack =
        QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

    // The track's title, artist and album come from tags, read once per track; without it,
    // or without a title in the file, the title is the file's name.
    explicit MprisPlayer(PlaybackOperations& playback, AudioInformation2* tags = nullptr);

    // A command that playback refuses throws MprisRefusal; one that does not apply in the
    // present state (a pause while stopped) does nothing, as MPRIS asks.
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Seek(int64_t offsetUs);
    // A trackId other than the current track's is a stale request and is ignored.
    void SetPosition(const QString& trackId, int64_t positionUs);

    QString PlaybackStatus() const;  // "Playing", "Paused" or "Stopped"
    QVariantMap Metadata() const;    // only mpris:trackid, the NoTrack path, while stopped
    int64_t PositionUs() const;
    bool CanSeek() const;
    double Volume() const;
    // Negative volumes count as 0, as MPRIS asks.
    void SetVolume(double volume);
    // Only the normal speed is offered; another rate throws MprisRefusal.
    static void CheckRate(double rate);

    // The properties that PropertiesChanged announces, those whose values differ from the
    // last call (or from the construction) with their new values.
    QVariantMap Changes();

    // "/org/sonvara/Track/<starts>".
    static QString TrackId(int64_t starts);
    // At the rate's nearest frame and back; 0 at a rate of 0.
    static int64_t UsToFrames(int64_t us, int sampleRate);
    static int64_t FramesToUs(int64_t frames, int sampleRate);

private:
    QVariantMap Signalled() const;
    // xesam:title, and xesam:artist and xesam:album where the tag has them.
    QVariantMap TagFields(const QString& path) const;

    PlaybackOperations& playback_;
    AudioInformation2* tags_;
    QVariantMap announced_;
    mutable int64_t taggedStarts_ = -1;  // the track whose tag fields are kept
    mutable QVariantMap tagged_;
};
