#pragma once

#include <QObject>
#include <cstdint>

#include "components/SampleArray.h"

// Plays queued arrays on the sound device. Events arrive on the UI thread.
class AudioPlayer2 : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Format of the arrays loaded after this call.
    virtual void SetFormat(int sampleRate, int channels) = 0;
    // Queues an array; an empty array marks the end of the sound.
    virtual void LoadArray(const SampleArray& array) = 0;
    // Starts or goes on with what is queued; the CurrentSamples count restarts at every Play.
    virtual void Play() = 0;
    // Silences output at once; what was queued and not heard stays queued for the next Play.
    virtual void Stop() = 0;
    // Stops and drops everything queued and not yet heard, an end mark included: the next Play
    // plays only what is loaded after this, and events about the dropped sound never arrive.
    virtual void Flush() = 0;
    virtual int64_t SamplesToMs(int64_t samples) const = 0;
    // Frames heard since the last Play, counted now rather than at the last OnTimer.
    virtual int64_t CurrentSamples() = 0;
    // The playback stream's volume on the sound server, 1.0 being unchanged; it stays for the
    // streams that follow. Volume reads back what was set, 1.0 before any set.
    virtual void SetVolume(double volume) = 0;
    virtual double Volume() const = 0;

signals:
    // The queue is running short.
    void OnRequestOnLoadArray();
    // One queued array has been played.
    void OnEndArrayPlay();
    // The end mark was reached and everything before it has been heard.
    void OnEndPlay();
    void OnTimer(qint64 currentSamples, int levelLeft, int levelRight);
    // Playback broke down (the server went away); it has stopped.
    void OnError(const QString& message);
};
