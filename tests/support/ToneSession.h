#pragma once

// A private sound server with a steady tone to record, for tests of capture that need sound at
// the pace of the clock.

#include <QElapsedTimer>
#include <cmath>
#include <memory>

#include "components/PulseAudioRecord2.h"
#include "components/PulseContext.h"
#include "support/PrivatePulseServer.h"
#include "support/TestAudio.h"

namespace tonesession {

constexpr int kRate = 44100;
// The tone played into the null sink. At 440 Hz a whole 25 ms fragment or 200 ms block holds
// whole periods, so losing one would leave no seam; at 437 Hz every such loss shows as a jump.
constexpr int kToneHz = 437;

// The largest step a clean sine of the tone of this peak makes, with room for rounding: a gap or
// a repeated stretch in the capture makes a step far larger.
inline int CleanStep(const SampleArray& sound) {
    return static_cast<int>(testaudio::Peak(sound) * 2 * M_PI * kToneHz / kRate * 1.1) + 4;
}

// Real time counted from the first sound, which reaches us a fragment or so after Start.
struct SoundClock {
    QElapsedTimer clock;
    int64_t base = 0;  // frames that had arrived when the clock started

    bool Begin(const PulseAudioRecord2& recorder) {
        if (!WaitFor([&] { return recorder.CurrentSamples() > 0; }, 4000)) {
            return false;
        }
        base = recorder.CurrentSamples();
        clock.start();
        return true;
    }
    int64_t Frames(int rate) const { return base + clock.elapsed() * rate / 1000; }
};

struct Session {
    PrivatePulseServer server;
    std::unique_ptr<PulseContext> pulse;
    std::unique_ptr<PulseAudioRecord2> recorder;

    Session() {
        if (server.IsRunning()) {
            pulse = std::make_unique<PulseContext>();
            recorder = std::make_unique<PulseAudioRecord2>(*pulse);
        }
    }
    ~Session() {
        recorder.reset();
        pulse.reset();
    }

    // A tone playing into the null sink, recorded through its monitor. The sine source
    // itself renders up to two seconds ahead of the clock, so it cannot show whether capture
    // keeps pace with real time; the null sink renders as the clock goes.
    bool RecordToneThroughNullSink() {
        if (server
                .Pactl({QStringLiteral("load-module"), QStringLiteral("module-sine"),
                        QStringLiteral("sink=%1").arg(PrivatePulseServer::NullSink()),
                        QStringLiteral("frequency=%1").arg(kToneHz)})
                .isNull()) {
            return false;
        }
        return Choose(QStringLiteral("Monitor of Null"));
    }

    // An idle null sink renders two seconds ahead of the clock, and a new reader of its monitor
    // hears nothing until the clock has caught up. Resuming it from suspend restarts its clock,
    // after which it renders at the recorder's short latency: sound flows at once.
    void RestartNullSinkClock() {
        server.Pactl(
            {QStringLiteral("suspend-sink"), PrivatePulseServer::NullSink(), QStringLiteral("1")});
        server.Pactl(
            {QStringLiteral("suspend-sink"), PrivatePulseServer::NullSink(), QStringLiteral("0")});
    }

    // Makes the line of the given source the recording source; false when there is none.
    bool Choose(const QString& description) {
        for (int i = 1; i <= recorder->InputCount(); ++i) {
            recorder->SetInputIndex(i);
            if (recorder->InputName() == description) {
                recorder->SetInputSelected(true);
                return true;
            }
        }
        return false;
    }
};

#define ASSERT_SESSION(session)                                             \
    ASSERT_TRUE((session).server.IsRunning()) << "no private sound server"; \
    ASSERT_TRUE((session).pulse->IsConnected()) << (session).pulse->ErrorText().toStdString()

}  // namespace tonesession
