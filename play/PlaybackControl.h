#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

#include "play/PlaybackOperations.h"

class Activity;
class AudioFile2;
class AudioPlayer2;
class AudioVisualizationEx2;
class JoinList;
class MainDisplays;

// What playback asks of the program around it.
class PlaybackHost {
public:
    virtual ~PlaybackHost() = default;
    // An information box with one OK button; returns when it is closed.
    virtual void ShowMessage(const QString& text) = 0;
    // What a player event (a request for sound, the end) failed with. Unless overridden it
    // goes on to the event's caller.
    virtual void PlaybackEventFailed(std::exception_ptr failure) {
        std::rethrow_exception(failure);
    }
};

// The states of playback:
//   Idle     no file is open
//   Playing  the file streams to the player
//   Paused   the player is stopped; the file stays open where it was
enum class PlaybackState { Idle, Playing, Paused };

// Plays one file of the join list: streams it from the reader to the player in blocks, shows
// its name, format, size and elapsed time, and moves the seek bar along. Everything runs on the
// UI thread. A failure after the start throws SonvaraError with playback left under way: its
// owner stops it.
class PlaybackControl : public PlaybackOperations {
public:
    struct Parts {
        const Activity& activity;  // what else runs, which playback must not overlap
        AudioPlayer2& player;
        AudioFile2& reader;
        AudioVisualizationEx2& levels;
        MainDisplays& displays;
        JoinList& list;
        PlaybackHost& host;
    };

    static constexpr int kBlockElements = 4100;
    static constexpr int kBarEnd = 980;

    // Takes the player's request, block, end and timer events from here on.
    explicit PlaybackControl(Parts parts);

    PlaybackState State() const { return state_; }
    // Under way, paused or not.
    bool Active() const { return state_ != PlaybackState::Idle; }
    // Frames played of the open file, counted at the latest tick.
    int64_t PlayedPosition() const { return playedPosition_; }
    int64_t PositionBase() const { return positionBase_; }

    // Plays the selected row, or the last one when none is selected; resumes when paused. Of
    // the refusals, only the one during a recording is shown.
    void StartPlayback();
    std::optional<PlayRefusal> TryStartPlayback() override;
    void TogglePlayPause() override;
    void StopPlayback() override;
    // The user let go of the seek bar there; 979 and 980 count as the end of the file.
    void SeekTo(int barPosition);
    void SeekToFrame(int64_t frame) override;
    PlaybackFacts Facts() const override;
    void SetVolume(double volume) override;
    double Volume() const override;
    void SetObserver(PlaybackObserver* observer) override { observer_ = observer; }
    // Queues the next block of the file; at its end, the empty block that marks it.
    void FeedPlayer();

    void OnTick(int64_t currentSamples);

    // value * numerator / denominator with the halves rounded away from zero; 0 when the
    // denominator is 0.
    static int64_t MulDivRounded(int64_t value, int64_t numerator, int64_t denominator);
    // "File Info: Stereo 128K 44100HZ"; channel counts without a name show as "6 ch".
    static QString FileInfoText(int channels, int bitrate, int frequency);

private:
    void Resume();
    void MoveTo(int64_t frame);
    int RowToPlay();
    void OpenFile(const QString& path);
    void ShowPosition();
    int64_t BarPosition() const;
    void ClearDisplays();
    void Event(const std::function<void()>& step);

    Parts p_;
    PlaybackState state_ = PlaybackState::Idle;
    // Frames counted before the latest Play (kept across a pause and set by a seek), and that
    // base plus what the player has counted since.
    int64_t positionBase_ = 0;
    int64_t playedPosition_ = 0;
    PlaybackObserver* observer_ = nullptr;
    QString path_;        // of the open file
    int64_t starts_ = 0;  // see PlaybackFacts::starts
    QObject events_;      // ends the player connections with this object
};
