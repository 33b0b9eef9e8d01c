#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "components/AudioFile2LameEnc.h"
#include "config/IniSettings.h"
#include "config/Mp3Settings.h"

namespace {

Mp3Settings ReadSection(const QByteArray& mp3Section) {
    QTemporaryDir dir;
    QFile file(dir.filePath("Kelvo.ini"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[mp3]\n" + mp3Section);
    file.close();
    return ReadMp3Settings(IniSettings(file.fileName()));
}

void ExpectDefaults(const Mp3Settings& mp3) {
    EXPECT_EQ(mp3.sampleRate, 44100);
    EXPECT_EQ(mp3.bitrate, 128);
    EXPECT_EQ(mp3.channels, 2);
    EXPECT_EQ(mp3.quality, 9);
    EXPECT_TRUE(mp3.vbr);
    EXPECT_EQ(mp3.vbrBitrate, 128);
    EXPECT_EQ(mp3.vbrQuality, 5);
    EXPECT_EQ(mp3.threads, 0);
}

TEST(Mp3Settings, ResolvesStoredIndexesAndFallsBackOutsideTheTables) {
    ExpectDefaults(ReadSection(""));
    ExpectDefaults(ReadSection(
        "frequency=10\nbitrate=17\nchannel=2\nquality=10\nvbr bitrate=-1\nvbr quality=10\n"
        "threads=65\n"));
    ExpectDefaults(ReadSection("frequency=-1\nbitrate=x\nchannel=-1\nquality=-1\n"));

    const Mp3Settings low = ReadSection(
        "frequency=0\nbitrate=0\nchannel=0\nquality=0\nenable vbr=0\nvbr bitrate=0\n"
        "vbr quality=0\nthreads=1\n");
    EXPECT_EQ(low.sampleRate, 6000);
    EXPECT_EQ(low.bitrate, 8);
    EXPECT_EQ(low.channels, 1);
    EXPECT_EQ(low.quality, 0);
    EXPECT_FALSE(low.vbr);
    EXPECT_EQ(low.vbrBitrate, 8);
    EXPECT_EQ(low.vbrQuality, 0);
    EXPECT_EQ(low.threads, 1);

    const Mp3Settings high =
        ReadSection("frequency=9\nbitrate=16\nchannel=1\nvbr bitrate=16\nvbr quality=9\n");
    EXPECT_EQ(high.sampleRate, 48000);
    EXPECT_EQ(high.bitrate, 320);
    EXPECT_EQ(high.vbrBitrate, 320);
    EXPECT_EQ(high.vbrQuality, 9);
}

TEST(Mp3Settings, ApplySetsEveryFieldAndSwitchesVbrOffExplicitly) {
    AudioFile2LameEnc encoder;
    Mp3Settings mp3{22050, 64, 1, 2, true, 160, 1, 3};
    mp3.ApplyTo(encoder);
    EXPECT_EQ(encoder.SampleRate(), 22050);
    EXPECT_EQ(encoder.Bitrate(), 64);
    EXPECT_EQ(encoder.Channels(), 1);
    EXPECT_EQ(encoder.Quality(), 2);
    EXPECT_TRUE(encoder.Vbr());
    EXPECT_EQ(encoder.VbrBitrate(), 160);
    EXPECT_EQ(encoder.VbrQuality(), 1);
    EXPECT_EQ(encoder.Threads(), 3);

    mp3.vbr = false;  // the same encoder, next file, VBR turned off meanwhile
    mp3.ApplyTo(encoder);
    EXPECT_FALSE(encoder.Vbr());
}

TEST(Mp3Settings, WrittenValuesReadBackAlikeForEitherReader) {
    QTemporaryDir dir;
    IniSettings ini(dir.filePath("Kelvo.ini"));
    const Mp3Settings lowest{6000, 8, 1, 0, false, 320, 9, 0};
    const Mp3Settings highest{48000, 320, 2, 9, true, 8, 0, 0};
    for (const Mp3Settings& mp3 : {lowest, highest}) {
        WriteMp3Settings(ini, mp3);
        EXPECT_EQ(ReadMp3Settings(ini, Reader::Shown), mp3);
        EXPECT_EQ(ReadMp3Settings(ini, Reader::Used), mp3);
    }
    // A rate between the tables' steps, as a command line may give it, is not half written.
    EXPECT_THROW(WriteMp3Settings(ini, {.sampleRate = 22050, .bitrate = 144}), std::out_of_range);
    EXPECT_EQ(ReadMp3Settings(ini), highest);
}

}  // namespace
