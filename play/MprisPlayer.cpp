#include "play/MprisPlayer.h"

#include <QFileInfo>
#include <QUrl>
#include <QtDBus/QDBusObjectPath>
#include <algorithm>

#include "components/AudioInformation2.h"
#include "play/PlaybackControl.h"

namespace {

constexpr int64_t kUsPerSecond = 1'000'000;

}  // namespace

MprisPlayer::MprisPlayer(PlaybackOperations& playback, AudioInformation2* tags)
    : playback_(playback), tags_(tags), announced_(Signalled()) {}

void MprisPlayer::Play() {
    if (const std::optional<PlayRefusal> refusal = playback_.TryStartPlayback())
        throw MprisRefusal(kRefused, refusal->text);
}

void MprisPlayer::Pause() {
    if (playback_.Facts().status == PlaybackFacts::Status::Playing)
        playback_.TogglePlayPause();
}

// Stopped, it starts as "play" does: the media keys have one key for both.
void MprisPlayer::PlayPause() {
    if (playback_.Facts().status == PlaybackFacts::Status::Stopped)
        Play();
    else
        playback_.TogglePlayPause();
}

void MprisPlayer::Stop() {
    playback_.StopPlayback();
}

void MprisPlayer::Seek(int64_t offsetUs) {
    const PlaybackFacts facts = playback_.Facts();
    if (facts.status == PlaybackFacts::Status::Stopped)
        return;
    playback_.SeekToFrame(facts.position + UsToFrames(offsetUs, facts.sampleRate));
}

void MprisPlayer::SetPosition(const QString& trackId, int64_t positionUs) {
    const PlaybackFacts facts = playback_.Facts();
    if (facts.status == PlaybackFacts::Status::Stopped || trackId != TrackId(facts.starts))
        return;
    if (positionUs < 0)
        throw MprisRefusal(kInvalidArgs, QStringLiteral("The position %1 lies before the start "
                                                        "of the file; positions count from 0.")
                                             .arg(positionUs));
    playback_.SeekToFrame(UsToFrames(positionUs, facts.sampleRate));
}

QString MprisPlayer::PlaybackStatus() const {
    switch (playback_.Facts().status) {
        case PlaybackFacts::Status::Playing:
            return QStringLiteral("Playing");
        case PlaybackFacts::Status::Paused:
            return QStringLiteral("Paused");
        case PlaybackFacts::Status::Stopped:
            break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::Metadata() const {
    const PlaybackFacts facts = playback_.Facts();
    if (facts.status == PlaybackFacts::Status::Stopped)
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack))}};
    if (taggedStarts_ != facts.starts) {
        tagged_ = TagFields(facts.path);
        taggedStarts_ = facts.starts;
    }
    QVariantMap metadata = tagged_;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(TrackId(facts.starts))));
    metadata.insert(QStringLiteral("mpris:length"),
                    QVariant::fromValue<qlonglong>(FramesToUs(facts.frames, facts.sampleRate)));
    metadata.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(facts.path).toString());
    return metadata;
}

QVariantMap MprisPlayer::TagFields(const QString& path) const {
    QVariantMap fields{{QStringLiteral("xesam:title"), QFileInfo(path).fileName()}};
    if (!tags_)
        return fields;
    try {
        tags_->ReadFromFile(path);
    } catch (const SonvaraError& error) {
        // The file plays, so the desktop still gets its name; the reason goes to the log.
        qWarning("Sonvara: %s", qPrintable(error.message()));
        return fields;
    }
    if (!tags_->infoTitle().isEmpty())
        fields.insert(QStringLiteral("xesam:title"), tags_->infoTitle());
    if (!tags_->infoArtist().isEmpty())
        fields.insert(QStringLiteral("xesam:artist"), QStringList{tags_->infoArtist()});
    if (!tags_->infoAlbum().isEmpty())
        fields.insert(QStringLiteral("xesam:album"), tags_->infoAlbum());
    return fields;
}

int64_t MprisPlayer::PositionUs() const {
    const PlaybackFacts facts = playback_.Facts();
    return FramesToUs(facts.position, facts.sampleRate);
}

bool MprisPlayer::CanSeek() const {
    return playback_.Facts().status != PlaybackFacts::Status::Stopped;
}

double MprisPlayer::Volume() const {
    return playback_.Volume();
}

void MprisPlayer::SetVolume(double volume) {
    playback_.SetVolume(std::max(volume, 0.0));
}

void MprisPlayer::CheckRate(double rate) {
    if (rate != 1.0)
        throw MprisRefusal(kInvalidArgs, QStringLiteral("Sonvara plays at the normal speed only "
                                                        "(rate 1.0), not at %1.")
                                             .arg(rate));
}

QVariantMap MprisPlayer::Signalled() const {
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("CanSeek"), CanSeek()},
            {QStringLiteral("Volume"), Volume()}};
}

QVariantMap MprisPlayer::Changes() {
    const QVariantMap now = Signalled();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    announced_ = now;
    return changed;
}

QString MprisPlayer::TrackId(int64_t starts) {
    return QStringLiteral("/org/sonvara/Track/%1").arg(starts);
}

int64_t MprisPlayer::UsToFrames(int64_t us, int sampleRate) {
    return PlaybackControl::MulDivRounded(us, sampleRate, kUsPerSecond);
}

int64_t MprisPlayer::FramesToUs(int64_t frames, int sampleRate) {
    return PlaybackControl::MulDivRounded(frames, kUsPerSecond, sampleRate);
}
