#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "app/DisplayElements.h"
#include "components/CodecAudioFile2.h"
#include "components/PulseAudioPlayer2.h"
#include "components/PulseContext.h"
#include "join/JoinList.h"
#include "play/PlaybackControl.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeListHost.h"
#include "support/FakeSkin.h"
#include "support/PrivatePulseServer.h"
#include "support/TestAudio.h"

namespace {

constexpr int kRate = 44100;

// The player logic on the private sound server, playing a three-second tone file.
class PlaybackLive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.IsRunning()) << server_.ErrorText().toStdString();
        pulse_ = std::make_unique<PulseContext>();
        ASSERT_TRUE(pulse_->IsConnected());
        player_ = std::make_unique<PulseAudioPlayer2>(*pulse_);
        form_.Add("s_time");
        form_.AddScrollBar("play_bar");
        displays_.Bind(&form_);
        host_.chosen = {dir_.filePath("tone.wav")};
        testaudio::WriteFile(host_.chosen[0], testaudio::Format::Wav,
                             testaudio::Tone(kRate, 2, 3 * kRate, 440), kRate, 2);
        list_.AddFiles();
        control_ = std::make_unique<PlaybackControl>(
            PlaybackControl::Parts{state_, *player_, reader_, levels_, displays_, list_, host_});
    }

    // An idle null sink renders two seconds ahead, and a new stream waits behind that; a sink
    // resumed from suspend renders at the stream's own short latency, as a sound card does.
    void RestartNullSinkClock() {
        server_.Pactl({"suspend-sink", PrivatePulseServer::NullSink(), "1"});
        server_.Pactl({"suspend-sink", PrivatePulseServer::NullSink(), "0"});
    }

    bool WaitForIdle(int ms) {
        return WaitFor([this] { return !control_->Active(); }, ms);
    }

    PrivatePulseServer server_;
    std::unique_ptr<PulseContext> pulse_;
    std::unique_ptr<PulseAudioPlayer2> player_;
    QTemporaryDir dir_;
    FakeActivity state_;
    CodecAudioFile2 reader_;
    FakeListHost host_;
    JoinList list_{state_, reader_, host_};
    FakeLevelDisplay levels_;
    FakeSkinForm form_;
    DisplayElements displays_;
    std::unique_ptr<PlaybackControl> control_;
};

TEST_F(PlaybackLive, AFilePlaysToItsEndAndPlaybackReturnsToIdle) {
    control_->StartPlayback();
    RestartNullSinkClock();
    ASSERT_TRUE(WaitFor([this] { return control_->PlayedPosition() > kRate; }, 2000));
    EXPECT_TRUE(form_.Get("s_time")->log.contains("SetText:Time: 00:00:01"));
    ASSERT_TRUE(WaitForIdle(4000));
    EXPECT_GE(control_->PlayedPosition(), 3 * kRate - kRate / 5);
    EXPECT_TRUE(form_.Get("s_time")->log.contains("SetText:Time: 00:00:02"));
    EXPECT_EQ(form_.Get("s_time")->text, "Time: 00:00:00");
    EXPECT_FALSE(reader_.IsOpen());
    EXPECT_FALSE(levels_.visible);
}

TEST_F(PlaybackLive, ASeekToTheMiddleGoesOnFromThereAtOnce) {
    control_->StartPlayback();
    RestartNullSinkClock();
    ASSERT_TRUE(WaitFor([this] { return control_->PlayedPosition() > kRate / 5; }, 3000));
    control_->SeekTo(490);
    RestartNullSinkClock();
    EXPECT_EQ(control_->PositionBase(), 3 * kRate / 2);
    // Ticks count on from the middle, and the end comes about a second and a half later.
    ASSERT_TRUE(
        WaitFor([this] { return control_->PlayedPosition() > 3 * kRate / 2 + kRate / 5; }, 1000));
    EXPECT_TRUE(control_->Active());
    ASSERT_TRUE(WaitForIdle(2500));
    EXPECT_TRUE(form_.Get("s_time")->log.contains("SetText:Time: 00:00:02"));
}

}  // namespace
