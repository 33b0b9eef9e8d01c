#include <gtest/gtest.h>

#include "components/widgets/LevelDisplay.h"
#include "support/FakeAudio.h"
#include "support/TestAudio.h"
#include "support/Wait.h"

TEST(LevelDisplay, BarsShowEachChannelsRmsOnADecibelScale) {
    LevelDisplay display;

    // Left at full scale, right at -30 dB: the right bar stands half way on a 60 dB scale.
    SampleArray stereo;
    for (int i = 0; i < 100; ++i) {
        stereo.push_back(i % 2 ? 32767 : -32767);
        stereo.push_back(i % 2 ? 1036 : -1036);
    }
    display.ShowArray(stereo, 2);
    EXPECT_NEAR(display.Level(0), 1.0, 0.01);
    EXPECT_NEAR(display.Level(1), 0.5, 0.01);

    LevelDisplay mono;
    mono.ShowArray(testaudio::Tone(44100, 1, 4410, 440, 0.5), 1);
    EXPECT_NEAR(mono.Level(0), 0.85, 0.01);  // -9 dB RMS, where its peak is at -6 dB
    EXPECT_DOUBLE_EQ(mono.Level(0), mono.Level(1));
}

TEST(LevelDisplay, FallsBackAfterAPeakAndRisesAtOnce) {
    LevelDisplay display;
    FakeAudioRecord2 recorder;
    recorder.SetFormat(44100, 2);
    recorder.SetBlockSize(4410);
    QObject::connect(&recorder, &AudioRecord2::OnEndArrayRecord,
                     [&] { display.ShowArray(recorder.GetArray(), 2); });

    recorder.DeliverBlock(testaudio::Tone(44100, 2, 4410, 440, 1.0));
    const double peak = display.Level(0);
    EXPECT_GT(peak, 0.94);
    // The bar falls a step per timer tick, however late the ticks come on a busy machine.
    EXPECT_TRUE(WaitFor([&] { return display.Level(0) < peak; }, 5000));
    const double later = display.Level(0);
    EXPECT_GT(later, 0.0);

    // A quieter block does not pull the bar down faster than it falls.
    recorder.DeliverBlock();
    EXPECT_DOUBLE_EQ(display.Level(0), later);
    recorder.DeliverBlock(testaudio::Tone(44100, 2, 4410, 440, 1.0));
    EXPECT_GT(display.Level(0), 0.94);
}
