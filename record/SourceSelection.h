#pragma once

#include <QStringList>

class AudioRecord2;
class Settings;

// What the source dialog shows after start-up: the capture devices and the input lines of the
// device in use, the marked entries (-1 for none) and the level of the line in use.
struct SourceLists {
    QStringList devices;
    QStringList lines;
    int deviceSelection = -1;
    int lineSelection = -1;
    int volume = 0;
};

// The choice of input line and its level, acting on the recorder at once. Nothing is kept
// here: the recorder holds the line in use and its level.
class SourceSelection {
public:
    explicit SourceSelection(AudioRecord2& recorder) : recorder_(recorder) {}

    // Lists every device, which leaves the last one in use, then that device's lines. The
    // active line is marked (the last one reporting itself active) and made current in the
    // recorder, line 0 when none is; rd/rd marks a device entry, by default the last one.
    SourceLists ListSources(const Settings& settings);
    // Makes line item + 1 the recording source; returns its level.
    int ChooseLine(int item);
    // The level of the line last made current.
    void SetVolume(int volume);

private:
    AudioRecord2& recorder_;
};
