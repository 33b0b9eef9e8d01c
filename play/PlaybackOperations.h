#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What playback is doing, for those that show it outside the main window.
struct PlaybackFacts {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    QString path;          // the open file; empty when stopped
    int64_t frames = 0;    // its length
    int sampleRate = 0;    // its frames per second
    int64_t position = 0;  // the frame reached, counted at the call
    int64_t starts = 0;    // playbacks started so far: a new count is a new track
};

// Why "play" did nothing. The button shows only the refusals that are not quiet; a caller that
// must answer, such as the desktop's media keys, reports them all.
struct PlayRefusal {
    QString text;
    bool quiet = false;
};

// Told after playback changed: started, paused, resumed or stopped; or its position jumped.
class PlaybackObserver {
public:
    virtual ~PlaybackObserver() = default;
    virtual void PlaybackChanged() = 0;
    virtual void PlaybackSeeked() = 0;
};

// Playback's commands for those outside the main window (the media-player service on the
// session bus, the schedule that stops playback before it records): the operations behind the
// buttons, with the same refusals, handed back instead of shown.
class PlaybackOperations {
public:
    virtual ~PlaybackOperations() = default;

    // "play": the selected (or last) row from its start, or the paused file resumed.
    virtual std::optional<PlayRefusal> TryStartPlayback() = 0;
    virtual void TogglePlayPause() = 0;
    virtual void StopPlayback() = 0;
    // Plays on from that frame of the open file, paused or not (a negative one is its start);
    // at or past its end, stops as the bar's end does. Nothing while stopped.
    virtual void SeekToFrame(int64_t frame) = 0;
    virtual PlaybackFacts Facts() const = 0;
    // The playback stream's volume, 1.0 unchanged; it holds for the files played later too.
    virtual void SetVolume(double volume) = 0;
    virtual double Volume() const = 0;

    // One observer at a time; null for none.
    virtual void SetObserver(PlaybackObserver* observer) = 0;
};
