#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "components/LameAudioWriter.h"
#include "support/TestAudio.h"

using namespace testaudio;

namespace {

// Three steady tones on the left and two on the right, each a whole number of cycles in 1152
// samples, so that every frame holds the same sound: any click or shifted sample at a joint
// stands out against the coding error, which is then alike everywhere.
SampleArray MultiTone(int rate, int channels, int64_t frames) {
    SampleArray samples(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto tone = [t, rate](int cycles) {
            return 0.15 * std::sin(2 * M_PI * cycles * rate / 1152 * t);
        };
        const double left = tone(11) + tone(31) + tone(79);
        const double right = tone(14) + tone(43);
        samples[i * channels] = static_cast<int16_t>(std::lround(32767 * left));
        if (channels == 2)
            samples[i * channels + 1] = static_cast<int16_t>(std::lround(32767 * right));
    }
    return samples;
}

// The largest error against the input in each stretch of 576 frames.
std::vector<int> WindowErrors(const SampleArray& input, const SampleArray& decoded, int channels) {
    std::vector<int> errors;
    const size_t window = 576 * static_cast<size_t>(channels);
    for (size_t start = 0; start + window <= std::min(input.size(), decoded.size());
         start += window) {
        int worst = 0;
        for (size_t i = start; i < start + window; ++i)
            worst = std::max(worst, std::abs(input[i] - decoded[i]));
        errors.push_back(worst);
    }
    return errors;
}

QString FfmpegComplaints(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "warning", "-i", path, "-f", "null", "-"});
    ffmpeg.waitForFinished(60000);
    return QString::fromLocal8Bit(ffmpeg.readAllStandardError());
}

class ParallelMp3EncoderTest : public ::testing::Test {
protected:
    QByteArray Encode(const QString& name, const AudioFile2LameEnc& encoder,
                      const ParallelMp3Encoder::Tuning& tuning, const SampleArray& samples) {
        const QString path = dir_.filePath(name);
        LameAudioWriter writer(path, encoder, LameAudioWriter::Creation::Replace, {}, tuning);
        for (size_t first = 0; first < samples.size(); first += 30000) {
            writer.Write(SampleArray(samples.begin() + first,
                                     samples.begin() + std::min(samples.size(), first + 30000)));
        }
        writer.Close();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QTemporaryDir dir_;
};

// Short segments and a single frame for each joint: at every joint the new segment's reservoir,
// up to some 500 bytes reaching back over several frames, moves into the old one's frames.
TEST_F(ParallelMp3EncoderTest, StitchedStreamDecodesWholeWithNoSeam) {
    struct Case {
        int rate, channels, kbps;
        bool vbr;
        int jointFrames;
    };
    for (const Case c :
         {Case{44100, 2, 128, false, 1}, Case{44100, 2, 128, true, 1}, Case{22050, 1, 32, false, 1},
          Case{22050, 1, 64, true, 8}, Case{44100, 1, 64, false, 8}, Case{22050, 2, 48, true, 1}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, " << c.kbps
                                        << " kbit/s, vbr " << c.vbr);
        AudioFile2LameEnc encoder;
        encoder.SetSampleRate(c.rate);
        encoder.SetChannels(c.channels);
        encoder.SetBitrate(c.kbps);
        encoder.SetVbr(c.vbr);
        encoder.SetVbrBitrate(c.kbps * 2);
        encoder.SetThreads(2);
        const ParallelMp3Encoder::Tuning tuning{64, 2, c.jointFrames, 0};
        const int64_t segment = 64 * (c.rate >= 32000 ? 1152 : 576), frames = 6 * segment + 777;
        const SampleArray input = MultiTone(c.rate, c.channels, frames);
        Encode("tones.mp3", encoder, tuning, input);

        EXPECT_EQ(FfmpegComplaints(dir_.filePath("tones.mp3")), QString());
        const Decoded decoded = DecodeFile(dir_.filePath("tones.mp3"));
        ASSERT_EQ(FrameCount(decoded.samples, c.channels), frames);
        EXPECT_EQ(decoded.announced, frames);
        const std::vector<int> errors = WindowErrors(input, decoded.samples, c.channels);
        const auto windows = static_cast<size_t>(segment / 576);
        for (size_t joint = windows; joint < errors.size() - windows; joint += windows) {
            const auto around = errors.begin() + static_cast<std::ptrdiff_t>(joint);
            const auto quarter = static_cast<std::ptrdiff_t>(windows / 4);
            const int atJoint = *std::max_element(around - 4, around + 4 + 2 * c.jointFrames);
            const int inside = *std::max_element(around + quarter, around + 3 * quarter);
            EXPECT_LE(atJoint, inside * 1.1 + 3) << "joint at frame " << joint * 576;
        }
    }
}

// Bursts of loud noise drain one encoder's reservoir while another's fills: joints where the
// new segment's data must be moved later, or encoded again without a reservoir.
TEST_F(ParallelMp3EncoderTest, AHardSoundStitchesWholeAndTheSameWhateverTheWorkers) {
    AudioFile2LameEnc encoder;
    const int64_t frames = 20 * 64 * 1152;
    SampleArray input = MultiTone(44100, 2, frames);
    uint32_t noise = 1;
    for (int64_t i = 0; i < 2 * frames; ++i) {
        noise = noise * 1664525 + 1013904223;
        if (i / 2 % 20000 < 9000)
            input[i] =
                static_cast<int16_t>(input[i] / 4 + static_cast<int>(noise >> 16) / 3 - 10922);
    }
    const auto worst = [&](const QString& name) {
        const std::vector<int> errors = WindowErrors(input, DecodeFile(name).samples, 2);
        return *std::max_element(errors.begin(), errors.end());
    };
    encoder.SetThreads(1);
    Encode("one.mp3", encoder, {}, input);
    encoder.SetThreads(2);
    const QByteArray two = Encode("two.mp3", encoder, {64, 2, 1, 0}, input);
    EXPECT_EQ(FfmpegComplaints(dir_.filePath("two.mp3")), QString());
    EXPECT_EQ(FrameCount(DecodeFile(dir_.filePath("two.mp3")).samples, 2), frames);
    EXPECT_LE(worst(dir_.filePath("two.mp3")), worst(dir_.filePath("one.mp3")) * 1.25);
    encoder.SetThreads(5);
    EXPECT_EQ(Encode("five.mp3", encoder, {64, 2, 1, 1}, input), two);
}

}  // namespace
