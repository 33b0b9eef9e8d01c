#pragma once

#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>

#include "components/AudioPlayer2.h"

struct pa_stream;
struct pa_operation;
class PulseContext;

// AudioPlayer2 on a PulseAudio playback stream (16-bit) with a short server buffer, so that
// Stop is heard within a few tens of milliseconds. Stop corks the stream and keeps everything
// not yet heard, in the server and in the queue, for the next Play.
//
// - Play throws SonvaraError when there is no sound server, it refuses the stream, or it does
//   not answer within the PulseContext's time limit; no call waits longer than that. If the
//   server goes away while playing, OnError says so and playback stops; a Play once it is
//   back starts a new stream.
// - SetFormat while stopped begins a new sound: whatever was queued and not heard is dropped.
//   While playing it applies to arrays loaded afterwards; the stream changes format, after
//   a short pause, once the arrays before them have been heard.
// - Flush drops the unheard rest as SetFormat while stopped does, keeping the format.
// - OnEndArrayPlay fires when an array has been handed to the server. OnRequestOnLoadArray
//   fires while less than 250 ms of sound waits in the queue, at most once per array handed
//   over (or per tick, when the queue has run dry), and not once the end mark is queued.
// - An empty array marks the end; OnEndPlay fires once everything before it has been heard.
//   Further end marks with no sound between them are ignored.
//
// The PulseContext must outlive the player.
class PulseAudioPlayer2 : public AudioPlayer2 {
    Q_OBJECT

public:
    explicit PulseAudioPlayer2(PulseContext& pulse, QObject* parent = nullptr);
    ~PulseAudioPlayer2() override;

    void SetFormat(int sampleRate, int channels) override;
    void LoadArray(const SampleArray& array) override;
    void Play() override;
    void Stop() override;
    void Flush() override;
    int64_t SamplesToMs(int64_t samples) const override;
    int64_t CurrentSamples() override;
    // Negative volumes count as 0. Until the first set, the server keeps the volume it
    // remembers for the program.
    void SetVolume(double volume) override;
    double Volume() const override;

    // Sound loaded and not yet handed to the server, in milliseconds.
    int64_t QueuedMs() const;

private:
    struct Block {
        SampleArray samples;
        size_t written = 0;  // elements already handed to the server
        int rate = 0;
        int channels = 0;
        bool end = false;
    };

    // Everything below marked "locked" runs with libpulse's lock held, on either thread.
    QString StartStream();                            // locked; empty when playing
    void BeginNewSound(int rate, int channels);       // locked; only while stopped
    bool CreateStream(int rate, int channels);        // locked
    void DestroyStream();                             // locked
    bool WaitWhileConnecting();                       // locked; true when the stream is ready
    void Pump();                                      // locked
    void MaybeRequest();                              // locked
    void ReachBoundary();                             // locked
    void DrainDone(bool success);                     // locked
    bool EndQueued() const;                           // locked
    int64_t QueuedUsec() const;                       // locked
    int64_t StreamPosition() const;                   // locked; frames heard on this stream
    int64_t CountSincePlay();                         // locked
    QString StreamErrorText() const;                  // locked
    void PostSignal(void (AudioPlayer2::*signal)());  // locked
    void PostStreamFailure();                         // locked
    bool ApplyVolume();                               // locked; false when the server refused

    void Tick();
    void FailPlayback(const QString& message);

    static void StateCallback(pa_stream* stream, void* self);
    static void WriteCallback(pa_stream* stream, size_t bytes, void* self);
    static void DrainCallback(pa_stream* stream, int success, void* self);
    static void SignalCallback(pa_stream* stream, int success, void* self);

    PulseContext& pulse_;
    QTimer timer_;

    // UI thread only.
    int rate_ = 44100;
    int channels_ = 2;

    // Shared with libpulse's thread: guarded by its lock.
    std::deque<Block> queue_;
    pa_stream* stream_ = nullptr;
    pa_operation* drain_ = nullptr;
    uint64_t streamSerial_ = 0;  // tells a failure report of an old stream from the current one
    uint64_t epoch_ = 0;         // events posted before a new sound began are dropped
    int streamRate_ = 0;
    int streamChannels_ = 0;
    int64_t streamWritten_ = 0;  // frames handed to the current stream
    int64_t playBase_ = 0;       // stream position at the last Play
    int64_t carried_ = 0;        // frames heard since Play on streams replaced by a format change
    int64_t lastCount_ = 0;
    bool playing_ = false;
    bool drained_ = false;  // everything written to the current stream has been heard
    bool ended_ = false;    // the last end mark has been heard and nothing came after it
    bool mayRequest_ = false;
    int peakLeft_ = 0;
    int peakRight_ = 0;
    std::optional<double> volume_;  // as set; none before the first set
};
