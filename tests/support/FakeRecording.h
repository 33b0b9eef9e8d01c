#pragma once

// Stand-ins for what a recording asks of the program around it.

#include <QStringList>
#include <functional>
#include <utility>

#include "record/RecordingControl.h"
#include "record/SleepInhibitor.h"

struct FakeSleepInhibitor : SleepInhibitor {
    QStringList reasons;
    bool held = false;
    void Acquire(const QString& why) override {
        reasons << why;
        held = true;
    }
    void Release() override { held = false; }
    bool IsHeld() const override { return held; }
};

struct FakeRecordingHost : RecordingHost {
    QStringList messages;
    QStringList notified;  // told with nobody there
    QStringList pathBoxes;
    QStringList finished;
    QStringList untagged;                 // finished after a failed write
    std::function<void()> duringFinish;   // what arrives while a finished file is handed on
    std::function<void()> duringPathBox;  // what arrives while the path box is open
    void Tell(const QString& text, bool attended) override {
        (attended ? messages : notified) << text;
    }
    void ShowOutputPath(const QString& path) override {
        pathBoxes << path;
        if (duringPathBox)
            std::exchange(duringPathBox, nullptr)();
    }
    void RecordingFinished(const QString& file, int64_t, bool writeTag, bool) override {
        finished << file;
        if (!writeTag)
            untagged << file;
        if (duringFinish)
            std::exchange(duringFinish, nullptr)();
    }
};
