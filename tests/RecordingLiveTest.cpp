#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <thread>

#include "app/DisplayElements.h"
#include "components/AudioFile2LameEnc.h"
#include "components/Clock.h"
#include "components/CodecAudioFile2.h"
#include "config/IniSettings.h"
#include "config/Mp3Settings.h"
#include "record/RecordingControl.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeRecording.h"
#include "support/ToneSession.h"

using tonesession::CleanStep;
using tonesession::kRate;
using tonesession::Session;
using tonesession::SoundClock;

namespace {

// The recording logic on a real recorder and writer, recording a tone at the clock's pace.
class RecordingLive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_SESSION(s_);
        ASSERT_TRUE(s_.RecordToneThroughNullSink());
        settings_.WriteString("output", "dir", dir_.filePath("out"));
        settings_.WriteBool("output", "rb_cust", false);
        settings_.WriteBool("mp3", "enable vbr", false);
        control_ = std::make_unique<RecordingControl>(
            RecordingControl::Parts{state_, settings_, clock_, *s_.recorder, writer_, encoder_,
                                    levels_, displays_, sleep_, host_});
    }

    bool Start() {
        control_->StartRecording();
        s_.RestartNullSinkClock();
        return clock.Begin(*s_.recorder);
    }

    // The decoded sound of every finished file, one after the other.
    SampleArray Joined(std::vector<int64_t>* frames = nullptr) {
        SampleArray all;
        for (const QString& file : host_.finished) {
            const testaudio::Decoded part = testaudio::DecodeFile(file);
            EXPECT_EQ(part.channels, 2);
            if (frames)
                frames->push_back(testaudio::FrameCount(part.samples, 2));
            all.insert(all.end(), part.samples.begin(), part.samples.end());
        }
        return all;
    }

    Session s_;
    QTemporaryDir dir_;
    IniSettings settings_{dir_.filePath("Kelvo.ini")};
    FakeActivity state_;
    SystemClock clock_;
    CodecAudioFile2 writer_;
    AudioFile2LameEnc encoder_;
    FakeLevelDisplay levels_;
    DisplayElements displays_;
    FakeSleepInhibitor sleep_;
    FakeRecordingHost host_;
    std::unique_ptr<RecordingControl> control_;
    SoundClock clock;
};

// How far the tone after frame `at` strays from the tone before it, carried on: near 0 for a
// seamless joint, about 0.04 (of its amplitude) for a single frame missing or doubled there. Each
// side is measured from 500 frames away, past the few dozen frames at each end of an MP3 file that
// the codec does not reproduce exactly.
double SeamError(const SampleArray& sound, int64_t at) {
    const double w = 2 * M_PI * tonesession::kToneHz / kRate;
    const auto x = [&](int64_t t) {
        return static_cast<double>(sound[static_cast<size_t>(t * 2)]);
    };
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (int64_t t = at - 4000; t < at - 500; ++t) {
        const double si = std::sin(w * t), co = std::cos(w * t);
        ss += si * si, sc += si * co, cc += co * co, xs += x(t) * si, xc += x(t) * co;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double error = 0;
    int64_t n = 0;
    for (int64_t t = at + 500; t < at + 4000; ++t, ++n) {
        const double e = x(t) - a * std::sin(w * t) - b * std::cos(w * t);
        error += e * e;
    }
    return std::sqrt(error / n) / std::hypot(a, b);
}

// How far the first frames from `at` stray from the tone that follows them, carried back:
// the largest difference over those frames, relative to the tone's amplitude.
double StartError(const SampleArray& sound, int64_t at, int64_t frames = 100) {
    const double w = 2 * M_PI * tonesession::kToneHz / kRate;
    const auto x = [&](int64_t t) {
        return static_cast<double>(sound[static_cast<size_t>(t * 2)]);
    };
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (int64_t t = at + 500; t < at + 4000; ++t) {
        const double si = std::sin(w * t), co = std::cos(w * t);
        ss += si * si, sc += si * co, cc += co * co, xs += x(t) * si, xc += x(t) * co;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double worst = 0;
    for (int64_t t = at; t < at + frames; ++t)
        worst = std::max(worst, std::abs(x(t) - a * std::sin(w * t) - b * std::cos(w * t)));
    return worst / std::hypot(a, b);
}

QDateTime StampOf(const QString& file) {
    const QString name = QFileInfo(file).completeBaseName();
    return QDateTime::fromString(name.mid(4, 20), "dd-MM-yyyy--HH;mm;ss");
}

TEST_F(RecordingLive, SplitsEveryTwoSecondsIntoPartsThatJoinBackWhole) {
    settings_.WriteBool("file", "enlength", true);
    settings_.WriteBool("file", "rbtime", true);
    settings_.WriteString("file", "timet", "2");
    settings_.WriteBool("file", "limit_n", true);
    control_->StopAfterFrames(5 * kRate);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitFor([&] { return !control_->Active(); }, 30000));

    ASSERT_EQ(host_.finished.size(), 3) << host_.finished.join(' ').toStdString();
    std::vector<int64_t> frames;
    const SampleArray joined = Joined(&frames);
    // A part ends at the timer tick that finds its length reached; on a busy machine a tick
    // comes late, so the cut may fall a few blocks after the two seconds.
    const int late = kRate / 2;
    EXPECT_NEAR(frames[0], 2 * kRate, late);
    EXPECT_NEAR(frames[1], 2 * kRate, late);
    EXPECT_NEAR(frames[2], kRate, 2 * late);
    EXPECT_EQ(testaudio::FrameCount(joined, 2), 5 * kRate);
    EXPECT_LT(SeamError(joined, frames[0]), 0.02);
    EXPECT_LT(SeamError(joined, frames[0] + frames[1]), 0.02);
    // A cut in the middle of a wave gives any MP3 file an imperfect first few frames; a part
    // starts no worse than the same sound cut into a file of its own.
    const QString alone = dir_.filePath("alone.mp3");
    CodecAudioFile2 writer;
    AudioFile2LameEnc encoder;
    ReadMp3Settings(settings_).ApplyTo(encoder);
    writer.SetMp3Encoder(encoder);
    writer.CreateFile(alone);
    writer.WriteArray(testaudio::Slice(joined, 2, frames[0], frames[1]));
    writer.CloseFile();
    EXPECT_LE(StartError(testaudio::DecodeFile(host_.finished[1]).samples, 0),
              StartError(testaudio::DecodeFile(alone).samples, 0) + 0.02);
    // Each part is named by the time of its own start.
    for (int i = 1; i < 3; ++i) {
        const qint64 apart = StampOf(host_.finished[i - 1]).secsTo(StampOf(host_.finished[i]));
        EXPECT_GE(apart, 1) << host_.finished[i].toStdString();
        EXPECT_LE(apart, 3) << host_.finished[i].toStdString();
    }
}

TEST_F(RecordingLive, AFiveSecondStallOfTheWindowLosesNothing) {
    ASSERT_TRUE(Start());
    PumpEvents(300);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    PumpEvents(300);
    const int64_t elapsed = clock.Frames(kRate);
    control_->StopRecording();

    ASSERT_EQ(host_.finished.size(), 1);
    const SampleArray sound = Joined();
    EXPECT_NEAR(static_cast<double>(testaudio::FrameCount(sound, 2)), static_cast<double>(elapsed),
                kRate / 5.0);
    // The codec's own edges, a few dozen frames at each end of the file, are left out.
    const int64_t edge = 1000;
    const SampleArray inner =
        testaudio::Slice(sound, 2, edge, testaudio::FrameCount(sound, 2) - 2 * edge);
    EXPECT_LE(testaudio::LargestJump(inner, 2), CleanStep(inner));
}

}  // namespace
