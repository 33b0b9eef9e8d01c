#pragma once

// Stand-ins for the live audio components, for tests of the program's logic: they record what
// the program asks of them, and the test drives their events by hand.

#include <QString>
#include <deque>
#include <utility>
#include <vector>

#include "components/AudioPlayer2.h"
#include "components/AudioRecord2.h"
#include "components/AudioVisualizationEx2.h"
#include "components/SonvaraError.h"

struct FakeInputLine {
    QString name;
    int volume = 0;
};

class FakeAudioRecord2 : public AudioRecord2 {
public:
    // Device and lines as a machine would report them; no devices means LastDeviceIndex -1.
    QStringList devices{QStringLiteral("Fake Sound Server")};
    std::vector<FakeInputLine> lines{{QStringLiteral("Microphone"), 40000},
                                     {QStringLiteral("Monitor of Speakers"), 66535}};
    int selectedLine = 1;  // 1-based, 0 for none
    // Set before Start to make it throw failStartText.
    bool failStart = false;
    QString failStartText = QStringLiteral("The recording source cannot be opened.");

    // What the program did.
    int device = -1;
    int inputIndex = 0;
    int sampleRate = 0;
    int channels = 0;
    int blockFrames = 0;
    int starts = 0;
    int stops = 0;
    bool capturing = false;
    SampleArray partial;  // captured since the last full block

    int LastDeviceIndex() const override { return static_cast<int>(devices.size()) - 1; }
    void SetDeviceIndex(int index) override { device = index; }
    QString DeviceName() const override { return devices.value(device); }
    int InputCount() const override { return static_cast<int>(lines.size()); }
    void SetInputIndex(int index) override { inputIndex = index; }
    QString InputName() const override { return Line() ? Line()->name : QString(); }
    bool InputSelected() const override { return inputIndex != 0 && inputIndex == selectedLine; }
    void SetInputSelected(bool selected) override {
        if (selected && Line())
            selectedLine = inputIndex;
    }
    int InputVolume() const override { return Line() ? Line()->volume : 0; }
    void SetInputVolume(int volume) override {
        if (FakeInputLine* line = Line())
            line->volume = volume;
    }

    void SetFormat(int rate, int channelCount) override {
        sampleRate = rate;
        channels = channelCount;
    }
    int64_t MsToSamples(int64_t ms) const override { return ms * sampleRate / 1000; }
    int64_t SamplesToMs(int64_t samples) const override {
        return sampleRate ? samples * 1000 / sampleRate : 0;
    }
    void SetBlockSize(int frames) override { blockFrames = frames; }
    void Start() override {
        ++starts;
        if (failStart)
            throw SonvaraError(failStartText);
        capturing = true;
    }
    void Stop() override {
        ++stops;
        // As the real one: the partial block is queued at once, and its event is posted.
        if (capturing && !partial.empty()) {
            queue_.push_back(std::exchange(partial, {}));
            QMetaObject::invokeMethod(
                this, [this, n = ++blocksDelivered_] { emit OnEndArrayRecord(n); },
                Qt::QueuedConnection);
        }
        capturing = false;
    }
    SampleArray GetArray() override {
        if (queue_.empty())
            return {};
        SampleArray block = std::move(queue_.front());
        queue_.pop_front();
        return block;
    }

    // Completes a block of silence (or the given samples) and raises the block event.
    void DeliverBlock(SampleArray block = {}) {
        if (block.empty())
            block.assign(static_cast<size_t>(blockFrames) * channels, 0);
        queue_.push_back(std::move(block));
        emit OnEndArrayRecord(++blocksDelivered_);
    }
    void Tick(qint64 currentSamples) { emit OnTimer(currentSamples, 0, 0); }
    void Fail(const QString& message) {
        capturing = false;
        emit OnError(message);
    }

private:
    FakeInputLine* Line() {
        return inputIndex >= 1 && inputIndex <= InputCount() ? &lines[inputIndex - 1] : nullptr;
    }
    const FakeInputLine* Line() const {
        return inputIndex >= 1 && inputIndex <= InputCount() ? &lines[inputIndex - 1] : nullptr;
    }

    int blocksDelivered_ = 0;
    std::deque<SampleArray> queue_;
};

class FakeAudioPlayer2 : public AudioPlayer2 {
public:
    int sampleRate = 0;
    int channels = 0;
    std::vector<SampleArray> loaded;
    int plays = 0;
    int stops = 0;
    int flushes = 0;
    size_t flushedAt = 0;
    bool playing = false;
    qint64 current = 0;  // the last tick's count
    double volume = 1.0;

    void SetFormat(int rate, int channelCount) override {
        sampleRate = rate;
        channels = channelCount;
    }
    void LoadArray(const SampleArray& array) override { loaded.push_back(array); }
    void Play() override {
        ++plays;
        playing = true;
        current = 0;
    }
    void Stop() override {
        ++stops;
        playing = false;
    }
    // Stops; the arrays loaded so far count as dropped from here on.
    void Flush() override {
        Stop();
        ++flushes;
        flushedAt = loaded.size();
    }
    int64_t SamplesToMs(int64_t samples) const override {
        return sampleRate ? samples * 1000 / sampleRate : 0;
    }
    int64_t CurrentSamples() override { return current; }
    void SetVolume(double value) override { volume = value; }
    double Volume() const override { return volume; }
    // Loaded since the last Flush.
    size_t Queued() const { return loaded.size() - flushedAt; }

    void RequestMore() { emit OnRequestOnLoadArray(); }
    void FinishArray() { emit OnEndArrayPlay(); }
    void FinishPlaying() { emit OnEndPlay(); }
    void Tick(qint64 samples) { emit OnTimer(current = samples, 0, 0); }
};

class FakeLevelDisplay : public AudioVisualizationEx2 {
public:
    int arraysShown = 0;
    bool visible = false;

    void ShowArray(const SampleArray&, int) override { ++arraysShown; }
    void SetVisible(bool shown) override { visible = shown; }
};
