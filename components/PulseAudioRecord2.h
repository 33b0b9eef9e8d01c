#pragma once

#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "components/AudioRecord2.h"
#include "components/PulseContext.h"

struct pa_stream;

// Capture through the sound server. The one device is the server itself; its lines are the
// server's sources (one per port where a source has several), monitors of outputs included.
// Sound is taken on libpulse's thread and queued block by block, so nothing is lost while the
// UI thread is busy. Lines are known by the server's names, so a choice made before the server
// restarted holds after it. The PulseContext must outlive the recorder.
//
// - No call waits for the server longer than the PulseContext's time limit. InputVolume,
//   SetInputVolume, SetInputSelected and Start throw SonvaraError when the server did not
//   answer. Without a server they do nothing, and Start fails at once saying why.
// - A server lost while capturing gives one OnError and nothing after it; the blocks captured
//   before wait for GetArray.
// - The sound server holds a stream of ours only while capturing, so a desktop does not show
//   the source as in use between recordings. Each capture keeps time from its Start: sound a
//   source buffered before is left out, and sound it handed out before the stream existed is
//   silence.
class PulseAudioRecord2 : public AudioRecord2 {
    Q_OBJECT

public:
    explicit PulseAudioRecord2(PulseContext& pulse, QObject* parent = nullptr);
    ~PulseAudioRecord2() override;

    int LastDeviceIndex() const override;
    void SetDeviceIndex(int index) override;
    QString DeviceName() const override;

    int InputCount() const override;
    void SetInputIndex(int index) override;
    QString InputName() const override;
    bool InputSelected() const override;
    void SetInputSelected(bool selected) override;
    int InputVolume() const override;
    void SetInputVolume(int volume) override;
    QString LineName() const override;

    // Throws SonvaraError for a format the server cannot take, or while capturing.
    void SetFormat(int sampleRate, int channels) override;
    int64_t MsToSamples(int64_t ms) const override;
    int64_t SamplesToMs(int64_t samples) const override;
    void SetBlockSize(int frames) override;

    void Start() override;
    void Stop() override;
    SampleArray GetArray() override;

    // Lists the server's sources again and reports InputsChanged; done by itself whenever the
    // server (re)connects or a source comes or goes. A source the user chose stays chosen
    // while it is away, so it is recorded again once back; otherwise the server's default is
    // followed. A server that does not answer leaves the list empty.
    void RefreshInputs();
    // The server's name of the source recorded from; empty means the server's default.
    QString SourceName() const;
    bool IsCapturing() const;
    // The source recorded from (the server's default when none is chosen) is on the server
    // now; false without a server or when it does not answer. Asks the server, changes nothing.
    bool ChosenSourceAvailable() const;
    // Frames captured since the last Start, as OnTimer reports them.
    int64_t CurrentSamples() const { return currentSamples_.load(); }
    // How much sound may wait untaken before capture stops with an error (60 s by default):
    // a UI thread that stays away that long is not coming back soon.
    void SetQueueLimitMs(int ms);

private:
    struct Line {
        uint32_t sourceIndex = 0;
        QString sourceName;
        QString portName;  // empty when the source has fewer than two ports
        QString name;
        QString sourceDescription;
    };

    void ListInputs();
    const Line* CurrentLine() const;
    QString SourceDescription(const QString& sourceName) const;

    // These run with libpulse's main loop lock held, as its callbacks do; members marked
    // "lock" are guarded by it.
    bool OpenStream(int* error, QString* text);
    void LineUpFirstSound();
    void DescribeFailure(const QString& verb, int* error, QString* text) const;
    QString ChosenSourceText() const;
    void CloseStream();
    void Append(const int16_t* samples, size_t count);
    void PushBlock(SampleArray block);
    void FlushPartial();
    void Fail(const QString& message);

    void OnTick();

    static void ReadCallback(pa_stream* stream, size_t bytes, void* self);
    static void StateCallback(pa_stream* stream, void* self);

    PulseContext& pulse_;
    int listenerId_ = 0;
    bool hasDevice_ = false;
    int deviceIndex_ = 0;
    std::vector<Line> lines_;
    int inputIndex_ = 0;
    QString chosenSource_;    // lock
    bool userChose_ = false;  // lock; chosenSource_ came from SetInputSelected
    std::atomic<bool> refreshQueued_{false};
    QString chosenPort_;
    QString chosenDescription_;  // lock

    int rate_ = 44100;
    int channels_ = 2;
    std::atomic<int> blockFrames_{8820};

    pa_stream* stream_ = nullptr;        // lock
    int streamChannels_ = 2;             // lock
    int streamRate_ = 44100;             // lock
    int queueLimitMs_ = 60000;           // lock
    int64_t overflowElements_ = 0;       // lock
    uint32_t sourceIndex_ = UINT32_MAX;  // lock
    bool capturing_ = false;             // lock
    bool failed_ = false;                // lock; the current capture has reported its error
    uint64_t epoch_ = 0;                 // lock; errors posted before the last Start are dropped
    SampleArray current_;                // lock
    int blockNo_ = 0;                    // lock

    bool awaitingSound_ = false;                       // lock; none since the stream opened
    std::chrono::steady_clock::time_point startedAt_;  // lock; when the stream opened

    std::atomic<int64_t> currentSamples_{0};
    std::atomic<int> peakLeft_{0};
    std::atomic<int> peakRight_{0};

    mutable std::mutex queueMutex_;
    std::deque<SampleArray> queue_;  // queueMutex_
    int64_t queuedElements_ = 0;     // queueMutex_

    QTimer timer_;
};
