#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "components/PulseAudioRecord2.h"
#include "components/PulseContext.h"
#include "components/SonvaraError.h"
#include "support/PrivatePulseServer.h"
#include "support/TestAudio.h"
#include "support/ToneSession.h"

using testaudio::DominantFrequency;
using testaudio::FrameCount;
using testaudio::LargestJump;
using testaudio::Peak;

namespace {

constexpr int kRate = tonesession::kRate;
using tonesession::CleanStep;
using tonesession::kToneHz;
using tonesession::Session;
using tonesession::SoundClock;

// Takes every block the way the program does: one GetArray per OnEndArrayRecord.
struct Collector {
    explicit Collector(PulseAudioRecord2& capture) : recorder(capture) {
        QObject::connect(&recorder, &AudioRecord2::OnEndArrayRecord, [this](int) {
            ++events;
            SampleArray block = this->recorder.GetArray();
            if (block.empty()) {
                ++emptyTakes;
                return;
            }
            blockSizes.push_back(static_cast<int64_t>(block.size()));
            sound.insert(sound.end(), block.begin(), block.end());
        });
        QObject::connect(&recorder, &AudioRecord2::OnTimer,
                         [this](qint64 samples, int left, int right) {
                             ticks.push_back(samples);
                             peak = std::max({peak, left, right});
                         });
        QObject::connect(&recorder, &AudioRecord2::OnError,
                         [this](const QString& message) { errors << message; });
    }

    int64_t Frames(int channels) const { return FrameCount(sound, channels); }
    // Lets the queued block events of a stopped recording arrive.
    void Drain() { PumpEvents(150); }

    PulseAudioRecord2& recorder;
    SampleArray sound;
    std::vector<int64_t> blockSizes;
    std::vector<qint64> ticks;
    QStringList errors;
    int events = 0;
    int emptyTakes = 0;
    int peak = 0;
};

SampleArray TakeAll(PulseAudioRecord2& recorder) {
    SampleArray all;
    for (SampleArray block = recorder.GetArray(); !block.empty(); block = recorder.GetArray()) {
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

int64_t ElapsedMs(const std::function<void()>& call) {
    QElapsedTimer clock;
    clock.start();
    call();
    return clock.elapsed();
}

// Why Start refused; empty when capture started.
QString StartRefusal(PulseAudioRecord2& recorder) {
    try {
        recorder.Start();
    } catch (const SonvaraError& refusal) {
        return refusal.message();
    }
    return {};
}

}  // namespace

TEST(PulseAudioRecord2, ListsTheServersSourcesAndControlsTheirLevel) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;

    EXPECT_EQ(recorder.LastDeviceIndex(), 0);
    recorder.SetDeviceIndex(0);
    EXPECT_TRUE(recorder.DeviceName().startsWith(QStringLiteral("PulseAudio ")))
        << recorder.DeviceName().toStdString();

    QStringList names;
    QStringList selected;
    for (int i = 1; i <= recorder.InputCount(); ++i) {
        recorder.SetInputIndex(i);
        names << recorder.InputName();
        if (recorder.InputSelected()) {
            selected << recorder.InputName();
        }
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("Monitor of Null"),
                                  QStringLiteral("Sine source at 440 Hz")}));
    // At start the recorder follows the server's default source.
    const QString defaultSource = s.server.Pactl({QStringLiteral("get-default-source")}).trimmed();
    ASSERT_EQ(defaultSource, PrivatePulseServer::SineSource());
    EXPECT_EQ(selected, QStringList{QStringLiteral("Sine source at 440 Hz")});

    recorder.SetInputIndex(1);
    recorder.SetInputSelected(true);
    EXPECT_TRUE(recorder.InputSelected());
    recorder.SetInputIndex(2);
    EXPECT_FALSE(recorder.InputSelected());
    EXPECT_EQ(recorder.SourceName(), PrivatePulseServer::NullSinkMonitor());
    // Only our own choice changes; the server's default stays.
    EXPECT_EQ(s.server.Pactl({QStringLiteral("get-default-source")}).trimmed(), defaultSource);

    for (int line : {1, 2}) {
        recorder.SetInputIndex(line);
        EXPECT_EQ(recorder.InputVolume(), 66535) << "line " << line;
        recorder.SetInputVolume(33267);
        EXPECT_NEAR(recorder.InputVolume(), 33267, 665) << "line " << line;
    }
    // The level is the server's, not a copy: another mixer's change shows at once.
    EXPECT_TRUE(
        s.server.Pactl({QStringLiteral("get-source-volume"), PrivatePulseServer::NullSinkMonitor()})
            .contains(QStringLiteral("50%")));
    s.server.Pactl({QStringLiteral("set-source-volume"), PrivatePulseServer::SineSource(),
                    QStringLiteral("25%")});
    recorder.SetInputIndex(2);
    EXPECT_NEAR(recorder.InputVolume(), 66535 / 4, 665);
    recorder.SetInputVolume(66535);
    EXPECT_TRUE(
        s.server.Pactl({QStringLiteral("get-source-volume"), PrivatePulseServer::SineSource()})
            .contains(QStringLiteral("100%")));
}

TEST(PulseAudioRecord2, RecordsTheChosenSourceInTheAskedFormat) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.RecordToneThroughNullSink());
    Collector collector(recorder);

    recorder.SetFormat(kRate, 2);
    const int block = static_cast<int>(recorder.MsToSamples(200));
    EXPECT_EQ(block, 8820);
    recorder.SetBlockSize(block);
    ASSERT_NO_THROW(recorder.Start());
    EXPECT_THROW(recorder.SetFormat(22050, 1), SonvaraError);
    SoundClock clock;
    s.RestartNullSinkClock();
    ASSERT_TRUE(clock.Begin(recorder));
    PumpEvents(3000);
    recorder.Stop();
    const int64_t elapsedFrames = clock.Frames(kRate);
    const int64_t counted = recorder.CurrentSamples();
    collector.Drain();

    EXPECT_EQ(collector.Frames(2), counted) << "every frame counted is delivered";
    EXPECT_NEAR(static_cast<double>(counted), static_cast<double>(elapsedFrames), block);
    EXPECT_EQ(collector.emptyTakes, 0);
    for (size_t i = 0; i + 1 < collector.blockSizes.size(); ++i) {
        ASSERT_EQ(collector.blockSizes[i], block * 2) << "block " << i;
    }
    EXPECT_NEAR(DominantFrequency(collector.sound, 2, 0, kRate), kToneHz, 2);
    EXPECT_NEAR(DominantFrequency(collector.sound, 2, 1, kRate), kToneHz, 2);
    EXPECT_LE(LargestJump(collector.sound, 2), CleanStep(collector.sound));
    EXPECT_GT(Peak(collector.sound), 1000);

    // The timer reports the count since Start and the levels, about ten times a second.
    EXPECT_GE(collector.ticks.size(), 20u);
    EXPECT_LE(collector.ticks.size(), 35u);
    EXPECT_TRUE(std::is_sorted(collector.ticks.begin(), collector.ticks.end()));
    EXPECT_NEAR(collector.peak, Peak(collector.sound), 2);

    // A new format takes effect at the next Start.
    SampleArray stereo = std::move(collector.sound);
    collector.sound.clear();
    recorder.SetFormat(22050, 1);
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(200)));
    EXPECT_EQ(recorder.SamplesToMs(22050), 1000);
    ASSERT_NO_THROW(recorder.Start());
    s.RestartNullSinkClock();
    ASSERT_TRUE(clock.Begin(recorder));
    PumpEvents(1000);
    recorder.Stop();
    const int64_t monoElapsed = clock.Frames(22050);
    collector.Drain();
    EXPECT_NEAR(static_cast<double>(collector.Frames(1)), static_cast<double>(monoElapsed), 4410);
    EXPECT_NEAR(DominantFrequency(collector.sound, 1, 0, 22050), kToneHz, 2);
}

TEST(PulseAudioRecord2, ChoosingAnotherLineWhileRecordingSwitchesTheSound) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.RecordToneThroughNullSink());
    ASSERT_TRUE(s.Choose(QStringLiteral("Sine source at 440 Hz")));
    Collector collector(recorder);
    ASSERT_NO_THROW(recorder.Start());
    ASSERT_TRUE(SoundClock().Begin(recorder));
    PumpEvents(600);
    const int64_t before = recorder.CurrentSamples();

    ASSERT_TRUE(s.Choose(QStringLiteral("Monitor of Null")));
    s.RestartNullSinkClock();
    PumpEvents(800);
    recorder.Stop();
    collector.Drain();

    EXPECT_TRUE(collector.errors.isEmpty()) << collector.errors.join(' ').toStdString();
    EXPECT_GT(recorder.CurrentSamples(), before) << "one recording, counted on";
    ASSERT_EQ(collector.Frames(2), recorder.CurrentSamples());
    const int64_t span = kRate / 2;
    EXPECT_NEAR(DominantFrequency(testaudio::Slice(collector.sound, 2, 0, span), 2, 0, kRate), 440,
                3);
    EXPECT_NEAR(
        DominantFrequency(testaudio::Slice(collector.sound, 2, collector.Frames(2) - span, span), 2,
                          0, kRate),
        kToneHz, 3);
}

TEST(PulseAudioRecord2, PauseAndResumeLoseNothing) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.RecordToneThroughNullSink());
    Collector collector(recorder);
    recorder.SetFormat(kRate, 2);
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(200)));

    ASSERT_NO_THROW(recorder.Start());
    SoundClock clock;
    s.RestartNullSinkClock();
    ASSERT_TRUE(clock.Begin(recorder));
    PumpEvents(1000);
    recorder.Stop();
    const int64_t first = recorder.CurrentSamples();
    EXPECT_NEAR(static_cast<double>(first), static_cast<double>(clock.Frames(kRate)), kRate / 5.0);
    collector.Drain();
    ASSERT_EQ(collector.Frames(2), first);
    const SampleArray before = collector.sound;

    // Paused: nothing arrives.
    PumpEvents(500);
    EXPECT_EQ(collector.Frames(2), first);
    EXPECT_TRUE(recorder.GetArray().empty());

    collector.ticks.clear();
    ASSERT_NO_THROW(recorder.Start());
    s.RestartNullSinkClock();
    ASSERT_TRUE(clock.Begin(recorder));
    PumpEvents(1000);
    recorder.Stop();
    const int64_t second = recorder.CurrentSamples();
    collector.Drain();

    ASSERT_FALSE(collector.ticks.empty());
    EXPECT_LT(collector.ticks.front(), kRate / 2) << "the count restarts at Start";
    EXPECT_NEAR(static_cast<double>(second), static_cast<double>(clock.Frames(kRate)), kRate / 5.0);
    EXPECT_EQ(collector.Frames(2), first + second);
    // Each stretch is clean on its own; the pause itself is the only break.
    const SampleArray after = testaudio::Slice(collector.sound, 2, first, second);
    EXPECT_LE(LargestJump(before, 2), CleanStep(before));
    EXPECT_LE(LargestJump(after, 2), CleanStep(after));
}

// 0.8 s after their clocks restart, a clocked source holds 0.8 s from before a new stream, and a
// null output's monitor (2 s ahead) has nothing for it for 1.2 s.
TEST(PulseAudioRecord2, EveryCaptureKeepsTimeFromStartAndLeavesNoStreamBehind) {
    Session s;
    ASSERT_SESSION(s);
    s.server.Pactl({"load-module", "module-null-source", "source_name=clocked", "description=C"});
    auto ours = [&] { return s.server.Pactl({"list", "source-outputs"}).contains("Sonvara"); };
    for (const char* line : {"C", "Monitor of Null"}) {
        ASSERT_TRUE(WaitFor([&] { return s.Choose(line); }, 2000));
        s.RestartNullSinkClock();
        PumpEvents(800);
        const int64_t elapsed = ElapsedMs([&] {
            s.recorder->Start();
            EXPECT_TRUE(ours());
            PumpEvents(2000);
            s.recorder->Stop();
        });
        EXPECT_NEAR(s.recorder->CurrentSamples(), elapsed * kRate / 1000, kRate / 10) << line;
        EXPECT_TRUE(WaitFor([&] { return !ours(); }, 2000)) << line;
    }
}

TEST(PulseAudioRecord2, ABusyUiThreadLosesNothing) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.RecordToneThroughNullSink());
    Collector collector(recorder);
    recorder.SetFormat(kRate, 2);
    const int block = static_cast<int>(recorder.MsToSamples(200));
    recorder.SetBlockSize(block);

    ASSERT_NO_THROW(recorder.Start());
    SoundClock clock;
    s.RestartNullSinkClock();
    ASSERT_TRUE(clock.Begin(recorder));
    PumpEvents(300);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    PumpEvents(300);
    recorder.Stop();
    const int64_t elapsedFrames = clock.Frames(kRate);
    collector.Drain();

    EXPECT_TRUE(collector.errors.isEmpty()) << collector.errors.join(' ').toStdString();
    EXPECT_EQ(collector.Frames(2), recorder.CurrentSamples());
    EXPECT_NEAR(static_cast<double>(collector.Frames(2)), static_cast<double>(elapsedFrames),
                block);
    EXPECT_EQ(collector.events, static_cast<int>(collector.blockSizes.size()));
    EXPECT_LE(LargestJump(collector.sound, 2), CleanStep(collector.sound));
}

TEST(PulseAudioRecord2, FallingTooFarBehindStopsAndKeepsWhatWasCaptured) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.RecordToneThroughNullSink());
    recorder.SetFormat(kRate, 2);
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(100)));
    recorder.SetQueueLimitMs(1000);
    QStringList errors;
    QObject::connect(&recorder, &AudioRecord2::OnError,
                     [&](const QString& message) { errors << message; });

    ASSERT_NO_THROW(recorder.Start());
    s.RestartNullSinkClock();
    ASSERT_TRUE(SoundClock().Begin(recorder));
    // The window stalls (no events) until capture gives up, however slowly sound comes.
    QElapsedTimer stall;
    stall.start();
    while (recorder.IsCapturing() && stall.elapsed() < 15000)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(recorder.IsCapturing());
    const int64_t counted = recorder.CurrentSamples();
    PumpEvents(300);
    EXPECT_EQ(errors, QStringList{QStringLiteral("Recording fell more than 1 seconds behind.")});
    EXPECT_EQ(recorder.CurrentSamples(), counted) << "capture stopped";

    SampleArray kept;
    for (SampleArray block = recorder.GetArray(); !block.empty(); block = recorder.GetArray()) {
        kept.insert(kept.end(), block.begin(), block.end());
    }
    EXPECT_GT(FrameCount(kept, 2), kRate);
    EXPECT_LT(FrameCount(kept, 2), kRate * 12 / 10);
    EXPECT_EQ(FrameCount(kept, 2), counted) << "the count holds only what was queued";
    EXPECT_LE(LargestJump(kept, 2), CleanStep(kept));

    // A new Start goes on normally.
    EXPECT_NO_THROW(recorder.Start());
    s.RestartNullSinkClock();
    EXPECT_TRUE(SoundClock().Begin(recorder));
    recorder.Stop();
}

// An error reaches the UI thread after its capture ended; a capture started meanwhile goes on.
TEST(PulseAudioRecord2, AnEarlierCapturesErrorLeavesTheNextOneRunning) {
    Session s;
    ASSERT_SESSION(s);
    ASSERT_TRUE(s.Choose(QStringLiteral("Sine source at 440 Hz")));
    Collector collector(*s.recorder);
    s.recorder->SetQueueLimitMs(1);  // the first block is too much
    ASSERT_NO_THROW(s.recorder->Start());
    for (int i = 0; i < 100 && s.recorder->IsCapturing(); ++i)  // no events run meanwhile
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(s.recorder->IsCapturing());
    s.recorder->Stop();
    s.recorder->SetQueueLimitMs(60000);
    ASSERT_NO_THROW(s.recorder->Start());
    collector.Drain();
    EXPECT_TRUE(collector.errors.isEmpty()) << collector.errors.join(' ').toStdString();
    EXPECT_TRUE(s.recorder->IsCapturing());
}

TEST(PulseAudioRecord2, ServerGoingAwayEndsCaptureWithAMessage) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    Collector collector(recorder);
    recorder.SetFormat(kRate, 2);
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(200)));
    ASSERT_NO_THROW(recorder.Start());
    PumpEvents(1000);

    s.server.Kill();
    ASSERT_TRUE(WaitFor([&] { return !collector.errors.isEmpty(); }, 3000));
    collector.Drain();
    EXPECT_EQ(collector.errors,
              QStringList{QStringLiteral("The sound server went away while recording.")});
    EXPECT_FALSE(recorder.IsCapturing());
    // What came before the end is all there.
    EXPECT_EQ(collector.Frames(2), recorder.CurrentSamples());
    EXPECT_GT(collector.Frames(2), kRate * 8 / 10);

    EXPECT_FALSE(StartRefusal(recorder).isEmpty());
    recorder.Stop();
}

TEST(PulseAudioRecord2, SourceGoingAwayEndsCaptureWithAMessage) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.Choose(QStringLiteral("Sine source at 440 Hz")));
    Collector collector(recorder);
    ASSERT_NO_THROW(recorder.Start());
    PumpEvents(500);

    s.server.Pactl({QStringLiteral("unload-module"), QStringLiteral("module-sine-source")});
    ASSERT_TRUE(WaitFor([&] { return !collector.errors.isEmpty(); }, 3000));
    collector.Drain();
    EXPECT_EQ(collector.errors,
              QStringList{QStringLiteral("The recording source \"Sine source at 440 Hz\" was "
                                         "removed.")});
    EXPECT_EQ(collector.Frames(2), recorder.CurrentSamples());
    // Only the sine was recorded, never a stand-in source.
    EXPECT_NEAR(DominantFrequency(collector.sound, 2, 0, kRate), 440, 3);

    const QString why = StartRefusal(recorder);
    EXPECT_TRUE(why.contains(QStringLiteral("Sine source at 440 Hz"))) << why.toStdString();
}

// What a scheduled recording checks a minute ahead: asked of the server, not of the list.
TEST(PulseAudioRecord2, TellsWhetherTheSourceItRecordsFromIsThere) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    EXPECT_TRUE(recorder.ChosenSourceAvailable());
    ASSERT_TRUE(s.Choose(QStringLiteral("Sine source at 440 Hz")));
    EXPECT_TRUE(recorder.ChosenSourceAvailable());
    s.server.Pactl({QStringLiteral("unload-module"), QStringLiteral("module-sine-source")});
    EXPECT_TRUE(WaitFor([&] { return !recorder.ChosenSourceAvailable(); }, 3000));
}

TEST(PulseAudioRecord2WithoutServer, HasNoDeviceAndStartFails) {
    QTemporaryDir dir;
    const QByteArray old = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/missing").toLocal8Bit());
    {
        QElapsedTimer clock;
        clock.start();
        PulseContext pulse;
        EXPECT_LT(clock.elapsed(), 2000);
        PulseAudioRecord2 recorder(pulse);
        EXPECT_EQ(recorder.LastDeviceIndex(), -1);
        EXPECT_EQ(recorder.InputCount(), 0);
        recorder.SetInputIndex(1);
        EXPECT_EQ(recorder.InputVolume(), 0);
        recorder.SetInputSelected(true);
        EXPECT_EQ(StartRefusal(recorder),
                  QStringLiteral("No sound server was found (PulseAudio or PipeWire)."));
        EXPECT_TRUE(recorder.GetArray().empty());
        recorder.Stop();
        EXPECT_FALSE(recorder.ChosenSourceAvailable());
    }
    if (old.isNull()) {
        qunsetenv("PULSE_SERVER");
    } else {
        qputenv("PULSE_SERVER", old);
    }
}

TEST(PulseAudioRecord2, ListsTheLinesOfAServerStartedAfterIt) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.IsRunning()) << server.ErrorText().toStdString();
    server.Kill();
    PulseContext pulse;
    PulseAudioRecord2 recorder(pulse);
    ASSERT_EQ(recorder.InputCount(), 0);
    ASSERT_TRUE(server.Restart());
    EXPECT_TRUE(WaitFor([&] { return recorder.InputCount() >= 2; }, 10000));
}

// The restarted server numbers its sources anew and follows another default: the line chosen
// before is found again by its name.
TEST(PulseAudioRecord2, ALostServerEndsCaptureOnceAndTheChosenLineRecordsAgainWhenItIsBack) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_TRUE(s.Choose(QStringLiteral("Sine source at 440 Hz")));
    QStringList errors;
    int eventsAfterError = 0;
    const auto late = [&] { eventsAfterError += errors.isEmpty() ? 0 : 1; };
    QObject::connect(&recorder, &AudioRecord2::OnEndArrayRecord, late);
    QObject::connect(&recorder, &AudioRecord2::OnTimer, late);
    QObject::connect(&recorder, &AudioRecord2::OnError,
                     [&](const QString& message) { errors << message; });
    recorder.SetFormat(kRate, 2);
    recorder.SetBlockSize(static_cast<int>(recorder.MsToSamples(100)));
    ASSERT_NO_THROW(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.CurrentSamples() > kRate / 2; }, 5000));

    s.server.Kill();
    ASSERT_TRUE(WaitFor([&] { return !errors.isEmpty(); }, 3000));
    PumpEvents(300);
    EXPECT_EQ(errors, QStringList{QStringLiteral("The sound server went away while recording.")});
    EXPECT_EQ(eventsAfterError, 0);
    // Nothing was taken while recording: every frame counted is still queued.
    const SampleArray before = TakeAll(recorder);
    EXPECT_EQ(FrameCount(before, 2), recorder.CurrentSamples());
    EXPECT_GT(FrameCount(before, 2), kRate / 2);
    EXPECT_NEAR(DominantFrequency(before, 2, 0, kRate), 440, 3);

    QString why;
    EXPECT_LT(ElapsedMs([&] { why = StartRefusal(recorder); }), 500)
        << "fails at once while it is away";
    EXPECT_TRUE(why.contains(QStringLiteral("was lost"))) << why.toStdString();

    ASSERT_TRUE(s.server.Restart());
    s.server.Pactl({QStringLiteral("set-default-source"), PrivatePulseServer::NullSinkMonitor()});
    ASSERT_TRUE(WaitFor([&] { return s.pulse->IsConnected(); }, 10000));
    ASSERT_NO_THROW(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.CurrentSamples() > kRate / 2; }, 5000));
    recorder.Stop();
    const SampleArray after = TakeAll(recorder);
    EXPECT_EQ(FrameCount(after, 2), recorder.CurrentSamples());
    EXPECT_NEAR(DominantFrequency(after, 2, 0, kRate), 440, 3);
    EXPECT_GT(Peak(after), 1000) << "the silent default source was recorded instead";
    EXPECT_EQ(recorder.SourceName(), PrivatePulseServer::SineSource());
    EXPECT_EQ(errors.size(), 1);
}

// A server that hangs costs a call a second or two, never a frozen window; once it answers
// again, recording works as before.
TEST(PulseAudioRecord2, AHungServerGivesErrorsInTimeAndIsUsedAgainOnceItAnswers) {
    Session s;
    ASSERT_SESSION(s);
    PulseAudioRecord2& recorder = *s.recorder;
    ASSERT_NO_THROW(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.CurrentSamples() > 0; }, 5000));

    s.server.Pause();
    EXPECT_LT(ElapsedMs([&] { recorder.Stop(); }), 3000);
    EXPECT_FALSE(recorder.IsCapturing());
    QString why;
    EXPECT_LT(ElapsedMs([&] { why = StartRefusal(recorder); }), 3000);
    EXPECT_TRUE(why.contains(QStringLiteral("did not answer"))) << why.toStdString();
    recorder.SetInputIndex(1);
    EXPECT_LT(ElapsedMs([&] { EXPECT_THROW(recorder.InputVolume(), SonvaraError); }), 3000);
    EXPECT_LT(ElapsedMs([&] { EXPECT_THROW(recorder.SetInputVolume(1000), SonvaraError); }), 3000);

    s.server.Resume();
    ASSERT_NO_THROW(recorder.Start());
    EXPECT_TRUE(WaitFor([&] { return recorder.CurrentSamples() > kRate / 4; }, 5000));
    recorder.Stop();
    EXPECT_EQ(recorder.InputVolume(), 66535);
}
