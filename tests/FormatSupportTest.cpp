#include <gtest/gtest.h>

#include "components/AudioFile2LameEnc.h"

TEST(Mp3FormatSupport, AcceptsExactlyTheLegalPairs) {
    const int bitrates[] = {8,  16,  24,  32,  40,  48,  56,  64, 80,
                            96, 112, 128, 160, 192, 224, 256, 320};
    struct Band {
        int rate, low, high;
    };
    const Band bands[] = {{48000, 32, 320}, {44100, 32, 320}, {32000, 32, 320},
                          {24000, 8, 160},  {22050, 8, 160},  {16000, 8, 160},
                          {12000, 8, 64},   {11025, 8, 64},   {8000, 8, 64}};
    for (const Band& band : bands) {
        for (int kbps : bitrates) {
            const bool legal = kbps >= band.low && kbps <= band.high;
            for (int channels : {1, 2}) {
                EXPECT_EQ(IsMp3FormatSupported(band.rate, kbps, channels), legal)
                    << band.rate << " Hz " << kbps << " kbit/s " << channels << " ch";
            }
        }
    }
}

TEST(Mp3FormatSupport, RefusesOtherRatesAndChannelCounts) {
    for (int kbps : {8, 32, 128, 320})
        EXPECT_FALSE(IsMp3FormatSupported(6000, kbps, 2));
    EXPECT_FALSE(IsMp3FormatSupported(44100, 128, 0));
    EXPECT_FALSE(IsMp3FormatSupported(44100, 128, 3));
    EXPECT_FALSE(IsMp3FormatSupported(96000, 128, 2));
}

// Values between the steps of the tables, as a command line can give them. MPEG-2.5 allows
// 144, but LAME would write 64.
TEST(Mp3FormatSupport, RefusesBitRatesMissingFromTheTableOfTheRate) {
    EXPECT_TRUE(IsMp3FormatSupported(22050, 144, 2));
    for (const auto& [rate, kbps] :
         {std::pair{44100, 100}, {44100, 144}, {22050, 320}, {11025, 144}})
        EXPECT_FALSE(IsMp3FormatSupported(rate, kbps, 2)) << rate << " Hz " << kbps << " kbit/s";
}
