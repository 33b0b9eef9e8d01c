#include "play/PlaybackControl.h"

#include <QFileInfo>
#include <algorithm>

#include "components/AudioFile2.h"
#include "components/AudioPlayer2.h"
#include "components/AudioVisualizationEx2.h"
#include "components/FirstFailure.h"
#include "components/MainDisplays.h"
#include "config/Activity.h"
#include "config/ValueTables.h"
#include "join/JoinList.h"

namespace {

using display::kFileInfo;
using display::kFileName;
using display::kFileSize;
using display::kTime;
constexpr int kLastBarBeforeEnd = 978;

}  // namespace

PlaybackControl::PlaybackControl(Parts parts) : p_(parts) {
    const auto feed = [this] { Event([this] { FeedPlayer(); }); };
    QObject::connect(&p_.player, &AudioPlayer2::OnRequestOnLoadArray, &events_, feed);
    QObject::connect(&p_.player, &AudioPlayer2::OnEndArrayPlay, &events_, feed);
    QObject::connect(&p_.player, &AudioPlayer2::OnEndPlay, &events_, [this] {
        Event([this] {
            if (Active())
                StopPlayback();
        });
    });
    QObject::connect(&p_.player, &AudioPlayer2::OnTimer, &events_,
                     [this](qint64 samples) { Event([this, samples] { OnTick(samples); }); });
}

void PlaybackControl::Event(const std::function<void()>& step) {
    if (const std::exception_ptr failure = Caught(step))
        p_.host.PlaybackEventFailed(failure);
}

void PlaybackControl::StartPlayback() {
    if (const std::optional<PlayRefusal> refusal = TryStartPlayback(); refusal && !refusal->quiet)
        p_.host.ShowMessage(refusal->text);
}

std::optional<PlayRefusal> PlaybackControl::TryStartPlayback() {
    if (p_.activity.Joining())
        return PlayRefusal{QStringLiteral("Please wait until the join has finished."), true};
    if (state_ == PlaybackState::Paused) {
        Resume();
        return std::nullopt;
    }
    if (state_ == PlaybackState::Playing)
        return std::nullopt;
    if (p_.activity.Recording())
        return PlayRefusal{QStringLiteral("Please stop recording first."), false};
    const int row = RowToPlay();
    if (row < 0)
        return PlayRefusal{QStringLiteral("There is nothing to play: add files to the list first."),
                           true};
    playedPosition_ = 0;
    positionBase_ = 0;
    state_ = PlaybackState::Playing;
    path_ = p_.list.Rows()[static_cast<size_t>(row)].path;
    ++starts_;
    OpenFile(path_);
    p_.player.SetFormat(p_.reader.ArraySampleRate(), p_.reader.ArrayChannels());
    p_.levels.SetVisible(true);
    p_.player.Play();
    ShowPosition();
    p_.displays.SetBarEnabled(true);
    FeedPlayer();
    FeedPlayer();
    if (observer_)
        observer_->PlaybackChanged();
    return std::nullopt;
}

// The selected row, or the last one, which then becomes selected; -1 for an empty list.
int PlaybackControl::RowToPlay() {
    const int count = static_cast<int>(p_.list.Rows().size());
    if (count == 0)
        return -1;
    if (p_.list.Selected().empty())
        p_.list.Select(count - 1);
    const int row = *p_.list.Selected().begin();
    p_.list.SetPlayRow(row);
    return row;
}

void PlaybackControl::OpenFile(const QString& path) {
    const QFileInfo file(path);
    p_.displays.SetText(
        kFileSize, QStringLiteral("File Size: %1 KB").arg(std::max<qint64>(0, file.size()) / 1024));
    if (p_.reader.IsOpen())
        p_.reader.CloseFile();
    p_.reader.OpenFile(path);
    p_.displays.SetText(
        kFileInfo, FileInfoText(p_.reader.Channels(), p_.reader.Bitrate(), p_.reader.Frequency()));
    p_.reader.Seek(0);
    p_.displays.SetText(kFileName, QStringLiteral("File Name: ") + file.fileName());
}

QString PlaybackControl::FileInfoText(int channels, int bitrate, int frequency) {
    const QString name = channels >= 1 && channels <= static_cast<int>(kChannelNames.size())
                             ? QLatin1String(kChannelNames[static_cast<size_t>(channels - 1)])
                             : QStringLiteral("%1 ch").arg(channels);
    return QStringLiteral("File Info: %1 %2K %3HZ").arg(name).arg(bitrate / 1000).arg(frequency);
}

void PlaybackControl::FeedPlayer() {
    // Requests queued before a stop would read from a file that is no longer ours: the join
    // and the list use the same reader.
    if (!Active() || !p_.reader.IsOpen())
        return;
    const SampleArray block = p_.reader.ReadArray(kBlockElements);
    p_.player.LoadArray(block);
    p_.levels.ShowArray(block, p_.reader.ArrayChannels());
}

void PlaybackControl::TogglePlayPause() {
    if (state_ == PlaybackState::Idle)
        return;
    if (state_ == PlaybackState::Paused) {
        Resume();
        return;
    }
    // The player's count restarts at the next Play; the base carries the position across.
    positionBase_ = playedPosition_;
    p_.player.Stop();
    state_ = PlaybackState::Paused;
    if (observer_)
        observer_->PlaybackChanged();
}

void PlaybackControl::Resume() {
    p_.player.Play();
    state_ = PlaybackState::Playing;
    if (observer_)
        observer_->PlaybackChanged();
}

void PlaybackControl::SeekTo(int barPosition) {
    if (!Active())
        return;
    if (barPosition > kLastBarBeforeEnd) {
        StopPlayback();
        return;
    }
    MoveTo(MulDivRounded(std::max(barPosition, 0), p_.reader.Samples(), kBarEnd));
}

void PlaybackControl::SeekToFrame(int64_t frame) {
    if (!Active())
        return;
    if (frame >= p_.reader.Samples()) {
        StopPlayback();
        return;
    }
    MoveTo(std::max<int64_t>(frame, 0));
}

// What is queued belongs to the old position and is dropped, its end mark too; the file
// goes on from the new one at once, and a paused file stays paused there.
void PlaybackControl::MoveTo(int64_t frame) {
    p_.player.Flush();
    p_.reader.Seek(frame);
    positionBase_ = frame;
    playedPosition_ = frame;
    FeedPlayer();
    FeedPlayer();
    if (state_ == PlaybackState::Playing)
        p_.player.Play();
    ShowPosition();
    if (observer_)
        observer_->PlaybackSeeked();
}

void PlaybackControl::StopPlayback() {
    if (p_.activity.Joining() || !Active())
        return;
    positionBase_ = 0;
    state_ = PlaybackState::Idle;
    // Dropped, not kept: the unheard rest and its events must not reach the next file.
    p_.player.Flush();
    if (p_.reader.IsOpen())
        p_.reader.CloseFile();
    path_.clear();
    ClearDisplays();
    p_.levels.SetVisible(false);
    p_.displays.SetBarEnabled(false);
    if (observer_)
        observer_->PlaybackChanged();
}

PlaybackFacts PlaybackControl::Facts() const {
    PlaybackFacts facts;
    facts.starts = starts_;
    if (!Active())
        return facts;
    const bool playing = state_ == PlaybackState::Playing;
    facts.status = playing ? PlaybackFacts::Status::Playing : PlaybackFacts::Status::Paused;
    facts.path = path_;
    // A file that failed to open leaves playback under way until its owner stops it.
    if (p_.reader.IsOpen()) {
        facts.frames = p_.reader.Samples();
        facts.sampleRate = p_.reader.ArraySampleRate();
    }
    // Playing, the player counts on between its ticks.
    facts.position = playing ? positionBase_ + p_.player.CurrentSamples() : playedPosition_;
    return facts;
}

void PlaybackControl::SetVolume(double volume) {
    p_.player.SetVolume(volume);
}

double PlaybackControl::Volume() const {
    return p_.player.Volume();
}

// Back to what start-up shows: no file, the time at zero, the bar at the start. A bar left
// where the file stopped would read as a position during a recording or a join.
void PlaybackControl::ClearDisplays() {
    for (QLatin1String name : {kFileName, kFileInfo, kFileSize})
        p_.displays.Clear(name);
    p_.displays.SetText(kTime, QStringLiteral("Time: ") + TimeText(0));
    p_.displays.SetBarPosition(0);
}

void PlaybackControl::OnTick(int64_t currentSamples) {
    // A tick queued before a pause or a stop counts from a Play that is over.
    if (state_ != PlaybackState::Playing)
        return;
    playedPosition_ = positionBase_ + currentSamples;
    ShowPosition();
}

void PlaybackControl::ShowPosition() {
    const int64_t seconds = p_.player.SamplesToMs(playedPosition_) / 1000;
    p_.displays.SetText(kTime, QStringLiteral("Time: ") + TimeText(seconds));
    p_.displays.SetBarPosition(static_cast<int>(BarPosition()));
}

int64_t PlaybackControl::BarPosition() const {
    const int64_t bar = MulDivRounded(playedPosition_, kBarEnd, p_.reader.Samples());
    return std::clamp<int64_t>(bar, 0, kBarEnd);
}

int64_t PlaybackControl::MulDivRounded(int64_t value, int64_t numerator, int64_t denominator) {
    if (denominator == 0)
        return 0;
    // 128 bits in between: a position times the file's length overflows 64 for long files.
    const __int128 product = static_cast<__int128>(value) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const __int128 magnitude = product < 0 ? -product : product;
    const __int128 divisor = denominator < 0 ? -static_cast<__int128>(denominator) : denominator;
    __int128 quotient = magnitude / divisor;
    if ((magnitude % divisor) * 2 >= divisor)
        ++quotient;
    return static_cast<int64_t>(negative ? -quotient : quotient);
}
