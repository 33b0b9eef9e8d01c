#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "components/SampleArray.h"

// Capture from the sound device. Devices are numbered 0..LastDeviceIndex() (negative when there
// is none); a device's input lines 1..InputCount(). Events arrive on the UI thread; captured
// blocks wait in a queue until GetArray takes them, so a busy UI thread loses nothing.
class AudioRecord2 : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual int LastDeviceIndex() const = 0;
    virtual void SetDeviceIndex(int index) = 0;
    virtual QString DeviceName() const = 0;

    virtual int InputCount() const = 0;
    // Chooses the line that the next InputName, InputSelected and InputVolume act on.
    virtual void SetInputIndex(int index) = 0;
    virtual QString InputName() const = 0;
    // True for the line that capture records from; setting it true makes that line the source.
    virtual bool InputSelected() const = 0;
    virtual void SetInputSelected(bool selected) = 0;
    // The line that capture records from, as the user knows it.
    virtual QString LineName() const { return QStringLiteral("the recording source"); }
    // The line's level, 0..66535.
    virtual int InputVolume() const = 0;
    virtual void SetInputVolume(int volume) = 0;

    virtual void SetFormat(int sampleRate, int channels) = 0;
    virtual int64_t MsToSamples(int64_t ms) const = 0;
    virtual int64_t SamplesToMs(int64_t samples) const = 0;
    // Frames per block handed over through OnEndArrayRecord.
    virtual void SetBlockSize(int frames) = 0;

    // Start after Stop resumes; the CurrentSamples count restarts at every Start. A capture
    // that cannot start throws SonvaraError saying why.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // The oldest completed block not taken yet; empty when there is none.
    virtual SampleArray GetArray() = 0;

signals:
    void OnEndArrayRecord(int block);
    // About ten times a second while capturing; levels are peaks 0..32767 since the last tick.
    void OnTimer(qint64 currentSamples, int levelLeft, int levelRight);
    // Capture broke down: the server went away, the source disappeared, or blocks waited
    // too long untaken. Capture has stopped; what was captured before is still queued.
    void OnError(const QString& message);
    // The devices and lines were listed anew: the server came back, or a source came or went.
    void InputsChanged();
};
