#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "app/DisplayElements.h"
#include "components/CodecAudioFile2.h"
#include "join/JoinList.h"
#include "play/PlaybackControl.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeListHost.h"
#include "support/FakeSkin.h"
#include "support/TestAudio.h"

namespace {

constexpr int kRate = 8000;
constexpr int64_t kFrames = 8001;  // 490 on the bar is then 4000.5 frames: rounding shows

// Every sample holds the number of its frame, so a block tells where the reader was.
SampleArray Counting(int channels, int64_t frames) {
    SampleArray samples;
    for (int64_t frame = 0; frame < frames; ++frame)
        samples.insert(samples.end(), static_cast<size_t>(channels), static_cast<int16_t>(frame));
    return samples;
}

class PlaybackControlTest : public ::testing::Test {
protected:
    PlaybackControlTest() {
        for (const char* name : {"s_filename", "s_mono", "s_sizeson", "s_time"})
            form_.Add(name);
        form_.AddScrollBar("play_bar");
        displays_.Bind(&form_);
    }

    QString File(const QString& name, int channels = 2, int64_t frames = kFrames) {
        const QString path = dir_.filePath(name);
        testaudio::WriteFile(path, testaudio::Format::Wav, Counting(channels, frames), kRate,
                             channels);
        return path;
    }
    void Add(const QStringList& paths) {
        host_.chosen = paths;
        list_.AddFiles();
    }
    QString Text(const char* name) { return form_.Get(name)->text; }
    FakeSkinObject& Bar() { return *form_.Get("play_bar"); }
    bool Idle() const { return control_.State() == PlaybackState::Idle; }
    // The first frame of the first block loaded since the last flush.
    int FirstQueuedFrame() const { return player_.loaded.at(player_.flushedAt).at(0); }
    void ExpectStoppedAndCleared() {
        EXPECT_TRUE(Idle());
        EXPECT_EQ(control_.PositionBase(), 0);
        for (const char* name : {"s_filename", "s_mono", "s_sizeson"})
            EXPECT_EQ(Text(name), "") << name;
        EXPECT_EQ(Text("s_time"), "Time: 00:00:00");
        EXPECT_EQ(Bar().position, 0);
        EXPECT_FALSE(levels_.visible);
        EXPECT_FALSE(Bar().enabled);
        EXPECT_FALSE(reader_.IsOpen());
        EXPECT_FALSE(player_.playing);
        EXPECT_EQ(player_.Queued(), 0u);
    }

    QTemporaryDir dir_;
    FakeActivity activity_;
    CodecAudioFile2 reader_;
    FakeListHost host_;  // the list's and the playback's, as the main window is both
    JoinList list_{activity_, reader_, host_};
    FakeAudioPlayer2 player_;
    FakeLevelDisplay levels_;
    FakeSkinForm form_;
    DisplayElements displays_;
    PlaybackControl control_{{activity_, player_, reader_, levels_, displays_, list_, host_}};
};

TEST_F(PlaybackControlTest, WithNothingSelectedTheLastRowPlaysAndTheDisplaysFollowIt) {
    Add({File("a.wav"), File("b.wav")});
    list_.SetSelected({});
    Bar().SetPosition(700);
    control_.StartPlayback();

    ASSERT_TRUE(control_.Active());
    EXPECT_EQ(list_.Selected(), std::set<int>{1});
    EXPECT_EQ(list_.PlayRow(), 1);
    EXPECT_EQ(Text("s_filename"), "File Name: b.wav");
    EXPECT_EQ(Text("s_mono"), "File Info: Stereo 256K 8000HZ");
    EXPECT_EQ(
        Text("s_sizeson"),
        QStringLiteral("File Size: %1 KB").arg(QFileInfo(dir_.filePath("b.wav")).size() / 1024));
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");
    EXPECT_EQ(Bar().position, 0);
    EXPECT_TRUE(Bar().enabled);
    EXPECT_TRUE(levels_.visible);
    EXPECT_EQ(player_.sampleRate, kRate);
    EXPECT_EQ(player_.channels, 2);
    EXPECT_TRUE(player_.playing);

    // Two blocks at the start, then one per request and one per finished block.
    ASSERT_EQ(player_.loaded.size(), 2u);
    EXPECT_EQ(player_.loaded[0].size(), 4100u);
    player_.RequestMore();
    player_.FinishArray();
    EXPECT_EQ(player_.loaded.size(), 4u);
    EXPECT_EQ(player_.loaded[3][0], 3 * 2050);
    EXPECT_EQ(levels_.arraysShown, 4);

    player_.Tick(4000);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");
    EXPECT_EQ(Bar().position, 490);
    displays_.HoldBar(true);  // the user holds the bar
    player_.Tick(8001);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:01");
    EXPECT_EQ(Bar().position, 490);
    displays_.HoldBar(false);
    player_.Tick(8001);
    EXPECT_EQ(Bar().position, 980);
}

TEST_F(PlaybackControlTest, PauseAndResumeKeepThePosition) {
    Add({File("a.wav")});
    control_.StartPlayback();
    player_.Tick(2000);
    control_.TogglePlayPause();
    EXPECT_EQ(control_.State(), PlaybackState::Paused);
    EXPECT_FALSE(player_.playing);
    EXPECT_EQ(control_.PositionBase(), 2000);
    player_.Tick(2500);  // queued before the pause
    EXPECT_EQ(control_.PlayedPosition(), 2000);

    const size_t loaded = player_.loaded.size();
    control_.StartPlayback();  // "play" resumes without opening the file again
    EXPECT_EQ(control_.State(), PlaybackState::Playing);
    EXPECT_TRUE(player_.playing);
    EXPECT_EQ(player_.loaded.size(), loaded);
    player_.Tick(1000);
    EXPECT_EQ(control_.PlayedPosition(), 3000);

    control_.TogglePlayPause();
    control_.TogglePlayPause();
    player_.Tick(10);
    EXPECT_EQ(control_.PlayedPosition(), 3010);
}

TEST_F(PlaybackControlTest, ASeekDropsWhatIsQueuedAndPlaysFromTheRoundedFrame) {
    Add({File("a.wav", 1)});
    control_.StartPlayback();
    for (const auto& [bar, frame] : {std::pair{490, 4001}, {978, 7985}, {0, 0}}) {
        control_.SeekTo(bar);
        EXPECT_EQ(control_.PositionBase(), frame) << bar;
        EXPECT_EQ(player_.Queued(), 2u) << bar;
        EXPECT_EQ(FirstQueuedFrame(), frame) << bar;
        EXPECT_TRUE(player_.playing);
        player_.Tick(0);
        EXPECT_EQ(Bar().position, bar);
    }
    EXPECT_EQ(player_.flushes, 3);

    control_.SeekTo(979);
    ExpectStoppedAndCleared();
}

TEST_F(PlaybackControlTest, ASeekWhilePausedStaysPausedAndTheResumePlaysFromThere) {
    Add({File("a.wav", 1)});
    control_.StartPlayback();
    player_.Tick(1000);
    control_.TogglePlayPause();
    control_.SeekTo(490);
    EXPECT_EQ(control_.State(), PlaybackState::Paused);
    EXPECT_FALSE(player_.playing);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");
    EXPECT_EQ(FirstQueuedFrame(), 4001);

    control_.TogglePlayPause();
    EXPECT_TRUE(player_.playing);
    player_.Tick(8000);
    EXPECT_EQ(control_.PlayedPosition(), 12001);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:01");
}

TEST_F(PlaybackControlTest, TheEndOfTheFileStopsAsTheStopCommandDoes) {
    Add({File("a.wav")});
    control_.StartPlayback();
    player_.Tick(500);
    control_.StopPlayback();
    ExpectStoppedAndCleared();

    control_.StartPlayback();
    player_.Tick(500);
    player_.FinishPlaying();
    ExpectStoppedAndCleared();
    // Events of the old sound after the stop touch nothing.
    player_.RequestMore();
    player_.Tick(900);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");
}

TEST_F(PlaybackControlTest, PlayIsRefusedDuringARecordingAJoinOrPlaybackAndOnAnEmptyList) {
    control_.StartPlayback();
    EXPECT_TRUE(Idle());

    Add({File("a.wav"), File("b.wav")});
    activity_.recording = true;
    control_.StartPlayback();
    EXPECT_EQ(host_.messages, QStringList{"Please stop recording first."});
    EXPECT_TRUE(Idle());
    activity_.recording = false;

    activity_.joining = true;
    control_.StartPlayback();
    EXPECT_TRUE(Idle());
    activity_.joining = false;

    control_.StartPlayback();
    list_.SetSelected({1});
    control_.StartPlayback();
    EXPECT_EQ(player_.plays, 1);
    EXPECT_EQ(list_.PlayRow(), 0);
    EXPECT_EQ(Text("s_filename"), "File Name: a.wav");
    EXPECT_EQ(player_.loaded.size(), 2u);
}

TEST_F(PlaybackControlTest, AnEmptyFilePlaysNothingAndEndsAsAtTheEnd) {
    Add({File("empty.wav", 2, 0)});
    control_.StartPlayback();
    ASSERT_TRUE(control_.Active());
    for (const SampleArray& block : player_.loaded)
        EXPECT_TRUE(block.empty());
    player_.Tick(0);
    EXPECT_EQ(Bar().position, 0);
    control_.SeekTo(490);
    EXPECT_EQ(control_.PositionBase(), 0);
    player_.FinishPlaying();
    ExpectStoppedAndCleared();
}

TEST(PlaybackArithmetic, FormatTextsAndBarArithmetic) {
    EXPECT_EQ(PlaybackControl::FileInfoText(1, 128000, 44100), "File Info: Mono 128K 44100HZ");
    EXPECT_EQ(PlaybackControl::FileInfoText(6, 448000, 48000), "File Info: 6 ch 448K 48000HZ");

    // Past 2^31 frames and past 2^63 in between.
    EXPECT_EQ(PlaybackControl::MulDivRounded(3'000'000'000, 980, 6'000'000'000), 490);
    EXPECT_EQ(PlaybackControl::MulDivRounded(978, 9'000'000'000'000'000'000, 980),
              8'981'632'653'061'224'490);
    EXPECT_EQ(PlaybackControl::MulDivRounded(1, 1, 2), 1);
    EXPECT_EQ(PlaybackControl::MulDivRounded(-1, 1, 2), -1);
    EXPECT_EQ(PlaybackControl::MulDivRounded(5, 980, 0), 0);
}

}  // namespace
