#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "play/PlaybackOperations.h"

struct AppState;
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
};

// Plays one file of the join list: streams it from the reader to the player in blocks, shows
// its name, format, size and elapsed time, and moves the seek bar along. The states, kept in
// AppState:
//   Idle     Playing false, PlayNotPaused true
//   Playing  Playing true,  PlayNotPaused true
//   Paused   Playing true,  PlayNotPaused false (the file stays open)
// Everything runs on the UI thread. Failures throw SonvaraError once Playing is set, so the
// error handler's StopPlayback returns to Idle.
class PlaybackControl : public PlaybackOperations {
public:
    struct Parts {
        AppState& state;
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

    Parts p_;
    PlaybackObserver* observer_ = nullptr;
    QString path_;        // of the open file
    int64_t starts_ = 0;  // see PlaybackFacts::starts
    QObject events_;      // ends the player connections with this object
};
