#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "components/CodecAudioFile2.h"
#include "components/FfmpegAudioReader.h"
#include "components/ReadAhead.h"
#include "components/SonvaraError.h"
#include "support/TestAudio.h"

using namespace testaudio;

// The same reads and seeks on the component (decoding ahead) and on a plain reader; the seeks
// land inside the frames decoded ahead, behind them and past them.
TEST(ReadAheadTest, ReadsAndSeeksGiveExactlyWhatThePlainReaderGives) {
    QTemporaryDir dir;
    const struct {
        Format format;
        int rate, channels;
    } cases[] = {{Format::Mp3, 44100, 2},
                 {Format::OggVorbis, 48000, 2},
                 {Format::Flac, 32000, 1},
                 {Format::Wav, 11025, 1}};
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("in") + Extension(c.format));
        WriteFile(path, c.format, Sweep(c.rate, c.channels, c.rate * 12, 200, 4000), c.rate,
                  c.channels);
        FfmpegAudioReader plain(path);
        CodecAudioFile2 file;
        file.OpenFile(path);
        const int block = c.rate * c.channels * 4 + 1;
        const auto readBoth = [&] {
            const SampleArray expected = plain.Read(block);
            EXPECT_EQ(file.ReadArray(block), expected) << FormatName(c.format);
            return !expected.empty();
        };
        const auto seekBoth = [&](int64_t frame) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the worker run
            plain.Seek(frame);
            file.Seek(frame);
            readBoth();
        };
        readBoth();
        for (const double second : {6.0, 5.5, 1.0, 11.0, 3.0})
            seekBoth(int64_t(second * c.rate) + 3);
        while (readBoth()) {
        }
        EXPECT_TRUE(file.ReadArray(block).empty());
        file.Seek(c.rate);
        file.ReadArray(block);
        file.CloseFile();  // while the worker decodes ahead
        EXPECT_THROW(file.ReadArray(block), SonvaraError);
    }
}

// Packets of 100 frames counting up; the fifth fails, the ninth is the end.
TEST(ReadAheadTest, AFailureIsThrownByTheReadThatReachesItAndReadingGoesOnAfterIt) {
    int packets = 0;
    int16_t next = 0;
    ReadAhead ahead(
        [&](SampleArray& block) {
            if (++packets == 5)
                throw SonvaraError(QStringLiteral("Cannot read \"x.mp3\": damaged"));
            for (int i = 0; i < 100 && packets < 9; ++i)
                block.push_back(next++);
            return packets < 9;
        },
        1, 400);
    EXPECT_EQ(ahead.Read(150).back(), 149);
    EXPECT_EQ(ahead.Read(150).back(), 299);
    EXPECT_THROW(ahead.Read(150), SonvaraError);  // frames 300..399 go with it, as in place
    EXPECT_EQ(ahead.Read(150).front(), 400);
    EXPECT_EQ(ahead.Read(150).back(), 699);
    EXPECT_TRUE(ahead.Read(150).empty());
    EXPECT_TRUE(ahead.Read(150).empty());
}

TEST(ReadAheadTest, StopHandsBackWhatNoReadTookAndEndsAWorkerStillDecoding) {
    int packet = 0;
    ReadAhead ahead(
        [&](SampleArray& block) {
            block.insert(block.end(), 64, int16_t(packet++));
            return true;
        },
        2, 44100);
    ASSERT_EQ(ahead.Read(8), SampleArray(8, 0));
    const SampleArray rest = ahead.Stop();
    for (size_t i = 0; i < rest.size(); ++i)
        ASSERT_EQ(rest[i], int16_t((i + 8) / 64)) << i;
    // A new worker goes on with the packet after the last one decoded.
    EXPECT_EQ(ahead.Read(2).front(), int16_t((rest.size() + 8) / 64));
}  // the destructor stops the worker started by the last Read
