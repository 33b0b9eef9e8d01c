#include <gtest/gtest.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "components/PulseAudioPlayer2.h"
#include "components/PulseContext.h"
#include "components/SonvaraError.h"
#include "support/PrivatePulseServer.h"
#include "support/TestAudio.h"

using testaudio::DominantFrequency;
using testaudio::Slice;
using testaudio::Tone;

namespace {

// The monitor of the private null sink runs at the server's default format.
constexpr int kMonitorRate = 44100;
constexpr int kMonitorChannels = 2;
constexpr int kBlockElements = 4100;  // what the program reads and loads at a time

int64_t MsToFrames(int64_t ms, int rate) {
    return ms * rate / 1000;
}
int64_t FramesToMs(int64_t frames, int rate) {
    return frames * 1000 / rate;
}

// Records whatever the null sink plays, through a stream of the test's own.
class MonitorCapture {
public:
    explicit MonitorCapture(PulseContext& pulse) : pulse_(pulse) {
        PulseContext::Lock lock(pulse_);
        const pa_sample_spec spec{PA_SAMPLE_S16LE, kMonitorRate, kMonitorChannels};
        stream_ = pa_stream_new(pulse_.Context(), "Sonvara test capture", &spec, nullptr);
        if (!stream_) {
            return;
        }
        pa_stream_set_state_callback(
            stream_,
            [](pa_stream*, void* context) { static_cast<PulseContext*>(context)->Signal(); },
            &pulse_);
        pa_stream_set_read_callback(stream_, &MonitorCapture::Read, this);
        // A capture latency above the player's own leaves the sink at the player's latency:
        // the sink renders ahead by the least latency any of its streams asks for.
        pa_buffer_attr attr;
        attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(100000, &spec));
        const QByteArray monitor = PrivatePulseServer::NullSinkMonitor().toUtf8();
        if (pa_stream_connect_record(stream_, monitor.constData(), &attr,
                                     PA_STREAM_ADJUST_LATENCY) < 0) {
            return;
        }
        pa_stream_state_t state;
        while ((state = pa_stream_get_state(stream_)) == PA_STREAM_CREATING ||
               state == PA_STREAM_UNCONNECTED) {
            pa_threaded_mainloop_wait(pulse_.Mainloop());
        }
        ready_ = state == PA_STREAM_READY;
    }

    ~MonitorCapture() {
        PulseContext::Lock lock(pulse_);
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
                pa_stream_disconnect(stream_);
            }
            pa_stream_unref(stream_);
        }
    }

    bool IsReady() const { return ready_; }

    SampleArray Samples() const {
        PulseContext::Lock lock(pulse_);
        return samples_;
    }
    int64_t Frames() const {
        PulseContext::Lock lock(pulse_);
        return static_cast<int64_t>(samples_.size()) / kMonitorChannels;
    }

private:
    static void Read(pa_stream* stream, size_t, void* self) {
        auto* capture = static_cast<MonitorCapture*>(self);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const size_t count = bytes / sizeof(int16_t);
            if (data) {
                const auto* samples = static_cast<const int16_t*>(data);
                capture->samples_.insert(capture->samples_.end(), samples, samples + count);
            } else {
                capture->samples_.resize(capture->samples_.size() + count, 0);
            }
            pa_stream_drop(stream);
        }
    }

    PulseContext& pulse_;
    pa_stream* stream_ = nullptr;
    bool ready_ = false;
    SampleArray samples_;
};

// The most sound any stream of the server still holds, unplayed, in microseconds.
int64_t MostBufferedUs(PulseContext& pulse) {
    struct Query {
        PulseContext* pulse;
        int64_t most = 0;
    } query{&pulse};
    PulseContext::Lock lock(pulse);
    pulse.Wait(pa_context_get_sink_input_info_list(
        pulse.Context(),
        [](pa_context*, const pa_sink_input_info* info, int last, void* data) {
            auto* asked = static_cast<Query*>(data);
            if (last) {
                asked->pulse->Signal();
            } else if (info) {
                asked->most = std::max(asked->most, static_cast<int64_t>(info->buffer_usec));
            }
        },
        &query));
    return query.most;
}

// Stretches of the capture where the tone sounds, in monitor frames [first, end). Windows of
// 2.5 ms hold at least one period of the test tones, so a window without a loud sample is
// a real gap.
struct Span {
    int64_t first;
    int64_t end;
    int64_t Ms() const { return FramesToMs(end - first, kMonitorRate); }
};

std::vector<Span> ToneSpans(const SampleArray& samples) {
    const int64_t window = kMonitorRate / 400;
    const int64_t frames = static_cast<int64_t>(samples.size()) / kMonitorChannels;
    std::vector<Span> spans;
    for (int64_t start = 0; start + window <= frames; start += window) {
        bool loud = false;
        for (int64_t i = start * kMonitorChannels; i < (start + window) * kMonitorChannels; ++i) {
            loud = loud || std::abs(static_cast<int>(samples[i])) > 4000;
        }
        if (!loud) {
            continue;
        }
        if (!spans.empty() && spans.back().end == start) {
            spans.back().end = start + window;
        } else {
            spans.push_back({start, start + window});
        }
    }
    return spans;
}

double FrequencyIn(const SampleArray& heard, const Span& span) {
    return DominantFrequency(Slice(heard, kMonitorChannels, span.first, span.end - span.first),
                             kMonitorChannels, 0, kMonitorRate);
}

std::vector<SampleArray> Blocks(const SampleArray& samples) {
    std::vector<SampleArray> blocks;
    for (size_t at = 0; at < samples.size(); at += kBlockElements) {
        const size_t end = std::min(samples.size(), at + kBlockElements);
        blocks.emplace_back(samples.begin() + at, samples.begin() + end);
    }
    return blocks;
}

struct Tick {
    qint64 count;
    int left;
    int right;
};

// Everything the player reports, in order of arrival.
struct Watch {
    explicit Watch(PulseAudioPlayer2& player) {
        QObject::connect(&player, &AudioPlayer2::OnRequestOnLoadArray, [this] { ++requests; });
        QObject::connect(&player, &AudioPlayer2::OnEndArrayPlay, [this] { ++arraysPlayed; });
        QObject::connect(&player, &AudioPlayer2::OnEndPlay, [this] { ++ends; });
        QObject::connect(&player, &AudioPlayer2::OnTimer, [this](qint64 count, int l, int r) {
            ticks.push_back({count, l, r});
        });
        QObject::connect(&player, &AudioPlayer2::OnError,
                         [this](const QString& message) { errors.push_back(message); });
    }
    int requests = 0;
    int arraysPlayed = 0;
    int ends = 0;
    std::vector<Tick> ticks;
    QStringList errors;
};

class PulseAudioPlayer2Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.IsRunning()) << server_.ErrorText().toStdString();
        pulse_ = std::make_unique<PulseContext>();
        ASSERT_TRUE(pulse_->IsConnected()) << pulse_->ErrorText().toStdString();
        capture_ = std::make_unique<MonitorCapture>(*pulse_);
        ASSERT_TRUE(capture_->IsReady());
        // A fresh null sink with no streams renders two seconds ahead; whatever is played
        // then waits behind that silence. Resuming it restarts its clock at the latency its
        // streams ask for now.
        server_.Pactl(
            {QStringLiteral("suspend-sink"), PrivatePulseServer::NullSink(), QStringLiteral("1")});
        server_.Pactl(
            {QStringLiteral("suspend-sink"), PrivatePulseServer::NullSink(), QStringLiteral("0")});
        ASSERT_TRUE(WaitFor([this] { return capture_->Frames() > 0; }, 3000));
        player_ = std::make_unique<PulseAudioPlayer2>(*pulse_);
        watch_ = std::make_unique<Watch>(*player_);
    }

    // Loads a whole sound and, unless told otherwise, its end mark; returns the arrays loaded.
    int LoadAll(const SampleArray& sound, bool end = true) {
        const std::vector<SampleArray> blocks = Blocks(sound);
        for (const SampleArray& block : blocks) {
            player_->LoadArray(block);
        }
        if (end) {
            player_->LoadArray({});
        }
        return static_cast<int>(blocks.size());
    }

    bool WaitForEnd(int ms) {
        return WaitFor([this] { return watch_->ends > 0; }, ms);
    }

    PrivatePulseServer server_;
    std::unique_ptr<PulseContext> pulse_;
    std::unique_ptr<MonitorCapture> capture_;
    std::unique_ptr<PulseAudioPlayer2> player_;
    std::unique_ptr<Watch> watch_;
};

TEST_F(PulseAudioPlayer2Test, PlaysTheWholeToneAndReportsItsEndOnceAfterTheSound) {
    const SampleArray tone = Tone(44100, 2, 88200, 440.0);
    player_->SetFormat(44100, 2);
    const int arrays = LoadAll(tone);
    int64_t bufferedAtEnd = -1;
    QObject::connect(player_.get(), &AudioPlayer2::OnEndPlay,
                     [&] { bufferedAtEnd = MostBufferedUs(*pulse_); });
    QElapsedTimer clock;
    clock.start();
    player_->Play();
    ASSERT_TRUE(WaitForEnd(5000));
    const int64_t endMs = clock.elapsed();
    PumpEvents(400);

    EXPECT_EQ(watch_->ends, 1);
    EXPECT_EQ(watch_->arraysPlayed, arrays);
    EXPECT_TRUE(watch_->errors.isEmpty());

    const SampleArray heard = capture_->Samples();
    const std::vector<Span> spans = ToneSpans(heard);
    ASSERT_EQ(spans.size(), 1u) << "the tone broke up or did not sound";
    EXPECT_NEAR(spans[0].Ms(), 2000, 60);
    EXPECT_NEAR(FrequencyIn(heard, spans[0]), 440.0, 2.0);
    // The end comes once the server has nothing left to play, and not long after.
    EXPECT_EQ(bufferedAtEnd, 0);
    EXPECT_LE(endMs, 2000 + 500);

    // The count grows while playing, ends at the length played, and the levels are the tone's.
    ASSERT_GE(watch_->ticks.size(), 15u);
    EXPECT_TRUE(std::is_sorted(watch_->ticks.begin(), watch_->ticks.end(),
                               [](const Tick& a, const Tick& b) { return a.count < b.count; }));
    EXPECT_EQ(watch_->ticks.back().count, 88200);
    const auto loudest = std::max_element(
        watch_->ticks.begin(), watch_->ticks.end(),
        [](const Tick& a, const Tick& b) { return a.left + a.right < b.left + b.right; });
    EXPECT_NEAR(loudest->left, 16384, 200);
    EXPECT_NEAR(loudest->right, 16384, 200);
}

TEST_F(PulseAudioPlayer2Test, StopSilencesAtOnceAndPlayGoesOnWithTheRest) {
    const SampleArray tone = Tone(44100, 2, 88200, 440.0);
    player_->SetFormat(44100, 2);
    LoadAll(tone);

    // Play, pause, play on for a measured time, pause again, and play to the end. The second
    // stretch starts from a full buffer, so it sounds from the Play on.
    std::vector<qint64> countsAtStop;
    std::vector<size_t> ticksAtPlay;
    int64_t secondMs = 0;
    QElapsedTimer clock;
    for (int stretch = 0; stretch < 2; ++stretch) {
        ticksAtPlay.push_back(watch_->ticks.size());
        clock.start();
        player_->Play();
        PumpEvents(500);
        secondMs = clock.elapsed();
        player_->Stop();
        countsAtStop.push_back(watch_->ticks.empty() ? 0 : watch_->ticks.back().count);
        const size_t ticks = watch_->ticks.size();
        PumpEvents(300);
        EXPECT_EQ(watch_->ticks.size(), ticks) << "ticks while stopped";
    }
    ticksAtPlay.push_back(watch_->ticks.size());
    player_->Play();
    ASSERT_TRUE(WaitForEnd(5000));
    PumpEvents(300);
    EXPECT_EQ(watch_->ends, 1);

    const std::vector<Span> spans = ToneSpans(capture_->Samples());
    ASSERT_EQ(spans.size(), 3u);
    // Sound cannot run ahead of the clock: what exceeds the time played followed the Stop.
    EXPECT_LE(spans[1].Ms(), secondMs + 20);
    EXPECT_GE(spans[1].Ms(), secondMs - 50);
    // Nothing is repeated. The server itself drops up to its sink latency (30 ms) of sound
    // when a stream starts and at every cork (paplay loses as much at its start).
    const int64_t heardMs = spans[0].Ms() + spans[1].Ms() + spans[2].Ms();
    EXPECT_LE(heardMs, 2010);
    EXPECT_GE(heardMs, 2000 - 3 * 30 - 20);

    // The count restarts at every Play, and the three stretches add up to the whole.
    for (const size_t first : ticksAtPlay) {
        ASSERT_GT(watch_->ticks.size(), first);
        EXPECT_LT(watch_->ticks[first].count, MsToFrames(150, 44100));
    }
    EXPECT_GT(countsAtStop[0], MsToFrames(300, 44100));
    EXPECT_NEAR(countsAtStop[0] + countsAtStop[1] + watch_->ticks.back().count, 88200,
                MsToFrames(250, 44100));
}

TEST_F(PulseAudioPlayer2Test, ANewFormatWhileStoppedStartsAFreshSound) {
    // The first file is stopped before its end; its unheard rest and its end mark must not
    // reach the next one.
    player_->SetFormat(44100, 2);
    LoadAll(Tone(44100, 2, 44100, 440.0));
    player_->Play();
    PumpEvents(300);
    player_->Stop();

    player_->SetFormat(22050, 1);
    EXPECT_EQ(player_->SamplesToMs(11025), 500);
    LoadAll(Tone(22050, 1, 11025, 660.0));
    EXPECT_NEAR(player_->QueuedMs(), 500, 1);
    player_->Play();
    ASSERT_TRUE(WaitForEnd(3000));
    PumpEvents(300);
    EXPECT_EQ(watch_->ends, 1);

    const SampleArray heard = capture_->Samples();
    const std::vector<Span> spans = ToneSpans(heard);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_NEAR(FrequencyIn(heard, spans[0]), 440.0, 3.0);
    EXPECT_NEAR(FrequencyIn(heard, spans[1]), 660.0, 3.0);
    EXPECT_NEAR(spans[1].Ms(), 500, 60);
}

TEST_F(PulseAudioPlayer2Test, FlushDropsTheUnheardRestAndItsEndMark) {
    // A seek: the rest of the old position, its end mark queued too, gives way to new sound.
    player_->SetFormat(44100, 2);
    LoadAll(Tone(44100, 2, 22050, 440.0));
    player_->Play();
    PumpEvents(200);
    player_->Flush();
    EXPECT_EQ(player_->QueuedMs(), 0);
    LoadAll(Tone(44100, 2, 22050, 660.0), false);
    player_->Play();
    PumpEvents(900);
    EXPECT_EQ(watch_->ends, 0) << "the dropped end mark ended the new sound";
    player_->LoadArray({});
    ASSERT_TRUE(WaitForEnd(3000));

    const SampleArray heard = capture_->Samples();
    const std::vector<Span> spans = ToneSpans(heard);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_NEAR(FrequencyIn(heard, spans[0]), 440.0, 3.0);
    EXPECT_LT(spans[0].Ms(), 350);
    EXPECT_NEAR(FrequencyIn(heard, spans[1]), 660.0, 3.0);
    EXPECT_NEAR(spans[1].Ms(), 500, 60);
    player_->SetVolume(0.4);  // the stream's own volume, as the server's mixers show it
    EXPECT_TRUE(server_.Pactl({"list", "sink-inputs"}).contains(" 40% ")) << "volume not set";
}

TEST_F(PulseAudioPlayer2Test, ArraysOfAnotherFormatFollowThoseBeforeWithoutLoss) {
    player_->SetFormat(44100, 2);
    player_->Play();
    int arrays = LoadAll(Tone(44100, 2, 22050, 440.0), false);
    player_->SetFormat(22050, 1);
    // Arrays of 186 ms here: one lost would show plainly.
    arrays += LoadAll(Tone(22050, 1, 11025, 660.0));
    ASSERT_TRUE(WaitForEnd(3000));
    PumpEvents(300);
    EXPECT_EQ(watch_->ends, 1);
    EXPECT_EQ(watch_->arraysPlayed, arrays);

    // The new stream starts after a short pause, the first one having played out.
    const SampleArray heard = capture_->Samples();
    const std::vector<Span> spans = ToneSpans(heard);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_NEAR(FrequencyIn(heard, spans[0]), 440.0, 3.0);
    EXPECT_NEAR(spans[0].Ms(), 470, 40);
    EXPECT_NEAR(FrequencyIn(heard, spans[1]), 660.0, 3.0);
    EXPECT_NEAR(spans[1].Ms(), 470, 40);
}

// The program's pattern: two arrays after Play, then one more on every request and every
// finished array, with empty arrays once the file is done.
class SteadyFeeding : public PulseAudioPlayer2Test,
                      public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(SteadyFeeding, KeepsTheQueueShortAndPlaysToTheEndWithoutGaps) {
    const auto [rate, channels] = GetParam();
    const SampleArray file = Tone(rate, channels, MsToFrames(2000, rate), 440.0);
    size_t readAt = 0;
    int64_t mostQueuedMs = 0;
    int loaded = 0;
    auto feed = [&] {
        const size_t end = std::min(file.size(), readAt + kBlockElements);
        player_->LoadArray(SampleArray(file.begin() + readAt, file.begin() + end));
        loaded += end > readAt;
        readAt = end;
        mostQueuedMs = std::max(mostQueuedMs, player_->QueuedMs());
    };
    QObject::connect(player_.get(), &AudioPlayer2::OnRequestOnLoadArray, feed);
    QObject::connect(player_.get(), &AudioPlayer2::OnEndArrayPlay, feed);

    player_->SetFormat(rate, channels);
    player_->Play();
    feed();
    feed();
    ASSERT_TRUE(WaitForEnd(5000));
    PumpEvents(300);

    EXPECT_EQ(watch_->ends, 1);
    EXPECT_EQ(readAt, file.size());
    EXPECT_EQ(watch_->arraysPlayed, loaded);
    EXPECT_LE(watch_->requests, loaded + 2);
    const int64_t arrayMs = FramesToMs(kBlockElements / channels, rate);
    EXPECT_LE(mostQueuedMs, 250 + 2 * arrayMs + 20);

    const std::vector<Span> spans = ToneSpans(capture_->Samples());
    ASSERT_EQ(spans.size(), 1u) << "the sound broke up";
    EXPECT_NEAR(spans[0].Ms(), 2000, 60);
}

INSTANTIATE_TEST_SUITE_P(PulseAudioPlayer2, SteadyFeeding,
                         ::testing::Values(std::pair{44100, 2}, std::pair{22050, 1}));

TEST_F(PulseAudioPlayer2Test, AServerThatDiesWhilePlayingIsReportedOnceAndPlaysAgainOnceBack) {
    player_->SetFormat(44100, 2);
    LoadAll(Tone(44100, 2, 44100 * 3, 440.0));
    player_->Play();
    PumpEvents(300);
    server_.Kill();
    ASSERT_TRUE(WaitFor([this] { return !watch_->errors.isEmpty(); }, 3000));
    const size_t ticks = watch_->ticks.size();
    PumpEvents(300);

    EXPECT_EQ(watch_->errors,
              QStringList{QStringLiteral("The sound server went away while playing.")});
    EXPECT_EQ(watch_->ends, 0);
    EXPECT_EQ(watch_->ticks.size(), ticks);
    EXPECT_THROW(player_->Play(), SonvaraError);

    ASSERT_TRUE(server_.Restart());
    ASSERT_TRUE(WaitFor([this] { return pulse_->IsConnected(); }, 10000));
    LoadAll(Tone(44100, 2, 4410, 440.0));
    player_->Play();
    EXPECT_TRUE(WaitForEnd(6000));
    EXPECT_EQ(watch_->errors.size(), 1);
}

TEST_F(PulseAudioPlayer2Test, AHungServerFailsPlayInTimeAndPlaysOnceItAnswers) {
    player_->SetFormat(44100, 2);
    LoadAll(Tone(44100, 2, 4410, 440.0));
    server_.Pause();
    QElapsedTimer clock;
    clock.start();
    try {
        player_->Play();
        ADD_FAILURE() << "Play did not throw";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("did not answer"))) << error.what();
    }
    EXPECT_LT(clock.elapsed(), 3000);
    clock.restart();
    player_->Stop();
    EXPECT_LT(clock.elapsed(), 3000);

    server_.Resume();
    player_->Play();
    EXPECT_TRUE(WaitForEnd(6000));
    EXPECT_TRUE(watch_->errors.isEmpty());
}

TEST(PulseAudioPlayer2WithoutServer, PlayThrowsAMessageForTheUser) {
    QTemporaryDir dir;
    qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/missing").toLocal8Bit());
    {
        PulseContext pulse(500);
        PulseAudioPlayer2 player(pulse);
        player.SetFormat(48000, 1);
        EXPECT_EQ(player.SamplesToMs(72000), 1500);
        player.LoadArray(Tone(48000, 1, 4800, 440.0));
        player.Stop();
        try {
            player.Play();
            ADD_FAILURE() << "Play did not throw";
        } catch (const SonvaraError& error) {
            EXPECT_TRUE(error.message().startsWith(QStringLiteral("No sound server was found")))
                << error.what();
        }
        EXPECT_THROW(player.SetFormat(0, 2), SonvaraError);
    }
    qunsetenv("PULSE_SERVER");
}

}  // namespace
