#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <set>

#include "components/LameAudioWriter.h"
#include "components/SonvaraError.h"
#include "support/FileSizeLimit.h"
#include "support/TestAudio.h"

using namespace testaudio;

namespace {

AudioFile2LameEnc Settings(int rate, int channels, int kbps) {
    AudioFile2LameEnc encoder;
    encoder.SetSampleRate(rate);
    encoder.SetChannels(channels);
    encoder.SetBitrate(kbps);
    return encoder;
}

// Writes in arrays of uneven sizes, some larger than the writer's internal pieces, so that
// every boundary case of the streaming is crossed.
void WriteInPieces(LameAudioWriter& writer, const SampleArray& samples, int channels) {
    const int64_t sizes[] = {4410, 17, 40000, 1};
    const int64_t frames = FrameCount(samples, channels);
    for (int64_t first = 0, i = 0; first < frames; ++i) {
        const int64_t count = sizes[i % 4];
        writer.Write(Slice(samples, channels, first, count));
        first += count;
    }
}

// A 1000 Hz sine at half scale that starts `seconds` into the tone, so that pieces at
// different rates continue one another.
SampleArray ToneAt(int rate, int channels, int64_t frames, double seconds) {
    SampleArray samples(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double t = seconds + static_cast<double>(i) / rate;
        const auto value = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 1000 * t)));
        std::fill_n(samples.begin() + i * channels, channels, value);
    }
    return samples;
}

// No sample is lost or added at the joint (what follows lines up with the unbroken tone), and
// the joint makes no step much larger than the tone itself makes a little way off: `slack`
// allows for the coding error at the cut ends of MP3 inputs.
void ExpectSeamless(const Decoded& decoded, const SampleArray& unbroken, int64_t joint,
                    double slack) {
    const int channels = decoded.channels, span = decoded.rate / 20;
    EXPECT_EQ(BestLag(Slice(unbroken, channels, joint, 4 * span),
                      Slice(decoded.samples, channels, joint, 4 * span), channels, 20),
              0);
    const SampleArray& d = decoded.samples;
    const int atJoint = LargestJump(Slice(d, channels, joint - span, 2 * span), channels);
    const int away = LargestJump(Slice(d, channels, joint - 5 * span, 2 * span), channels);
    EXPECT_LE(atJoint, away * slack);
}

// Layer III bit rates by index, for MPEG-1 and for MPEG-2 and 2.5.
constexpr int kMpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

struct Mp3Frames {
    QByteArray first;             // the first frame, where the info frame belongs
    std::set<int> laterBitrates;  // kbit/s of every other frame
    bool backToBack = false;      // the file is frames only, with nothing before or after
};

Mp3Frames ScanFrames(const QString& path) {
    static const int kRates[] = {44100, 48000, 32000};
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    Mp3Frames frames;
    qsizetype pos = 0;
    while (pos + 4 <= data.size()) {
        const auto* h = reinterpret_cast<const unsigned char*>(data.constData() + pos);
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || (h[2] >> 4) == 0 || (h[2] >> 4) == 15)
            break;
        const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        const int kbps = (version == 3 ? kMpeg1Kbps : kMpeg2Kbps)[h[2] >> 4];
        const int rate = kRates[(h[2] >> 2) & 3] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        const int size = (version == 3 ? 144 : 72) * kbps * 1000 / rate + ((h[2] >> 1) & 1);
        if (pos == 0) {
            frames.first = data.mid(0, size);
        } else {
            frames.laterBitrates.insert(kbps);
        }
        pos += size;
    }
    frames.backToBack = pos == data.size() && pos > 0;
    return frames;
}

class LameAudioWriterTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(LameAudioWriterTest, RoundTripKeepsExactLengthAndPitch) {
    struct Case {
        int rate, channels, kbps;
        bool vbr;
    };
    // The last: a VBR floor that no MPEG-2 stream allows, above the ceiling and so unused.
    for (const Case c : {Case{44100, 2, 128, false}, Case{22050, 1, 64, false},
                         Case{48000, 2, 32, true}, Case{22050, 2, 320, true}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, vbr " << c.vbr);
        AudioFile2LameEnc encoder = Settings(c.rate, c.channels, c.kbps);
        encoder.SetVbr(c.vbr);
        encoder.SetVbrBitrate(256);
        encoder.SetVbrQuality(2);
        const int64_t frames = 2 * c.rate + 1234;
        {
            LameAudioWriter writer(Path("tone.mp3"), encoder);
            WriteInPieces(writer, Tone(c.rate, c.channels, frames, 1000.0), c.channels);
            writer.Close();
            EXPECT_EQ(writer.FramesEncoded(), frames);
        }
        const Decoded decoded = DecodeFile(Path("tone.mp3"));
        EXPECT_EQ(decoded.rate, c.rate);
        ASSERT_EQ(decoded.channels, c.channels);
        EXPECT_EQ(decoded.announced, frames);
        EXPECT_EQ(FrameCount(decoded.samples, c.channels), frames);
        for (int channel = 0; channel < c.channels; ++channel) {
            EXPECT_NEAR(DominantFrequency(decoded.samples, c.channels, channel, c.rate), 1000.0,
                        2.0);
        }
    }
}

// LAME leaves its info frame out at low constant bit rates; the writer must make up for it at
// every rate, or such files would play with a gap at either end.
TEST_F(LameAudioWriterTest, EveryConstantBitRateFileCarriesItsExactLength) {
    for (int rate : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}) {
        for (int kbps : rate >= 32000 ? kMpeg1Kbps : kMpeg2Kbps) {
            if (!IsMp3FormatSupported(rate, kbps, 2))
                continue;
            for (int channels : {1, 2}) {
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz, " << kbps << " kbit/s, " << channels << " ch");
                const int64_t frames = rate / 4 + 99;
                {
                    LameAudioWriter writer(Path("cbr.mp3"), Settings(rate, channels, kbps));
                    writer.Write(Tone(rate, channels, frames, 440.0));
                    writer.Close();
                }
                const Mp3Frames scan = ScanFrames(Path("cbr.mp3"));
                EXPECT_TRUE(scan.backToBack);
                EXPECT_TRUE(scan.first.contains("Info") && scan.first.contains("LAME"));
                EXPECT_EQ(scan.laterBitrates, std::set<int>{kbps});
                EXPECT_EQ(FrameCount(DecodeFile(Path("cbr.mp3")).samples, channels), frames);
            }
        }
    }
}

TEST_F(LameAudioWriterTest, JoinsTwoMp3FilesWithoutGapOrClick) {
    // At a high bit rate, so that the coding error at the cut ends stays well below a click.
    const AudioFile2LameEnc encoder = Settings(44100, 2, 320);
    const int64_t first = 44100 + 3001, second = 44100 + 777;
    const SampleArray tone = ToneAt(44100, 2, first + second, 0.0);
    const SampleArray parts[] = {Slice(tone, 2, 0, first), Slice(tone, 2, first, second)};
    for (int i = 0; i < 2; ++i) {
        LameAudioWriter writer(Path(QString("part%1.mp3").arg(i)), encoder);
        writer.Write(parts[i]);
        writer.Close();
    }
    {
        LameAudioWriter joined(Path("joined.mp3"), encoder);
        for (int i = 0; i < 2; ++i) {
            const Decoded part = DecodeFile(Path(QString("part%1.mp3").arg(i)));
            joined.SetArrayFormat(part.rate, part.channels);
            WriteInPieces(joined, part.samples, part.channels);
        }
        joined.Close();
    }
    const Decoded decoded = DecodeFile(Path("joined.mp3"));
    ASSERT_EQ(FrameCount(decoded.samples, 2), first + second);
    ExpectSeamless(decoded, tone, first, 1.6);
}

// Arrays of other formats are mixed and resampled; each run of one format keeps its exact
// length at the encoder's rate, and the runs meet without a gap.
TEST_F(LameAudioWriterTest, JoinsOtherFormatsSeamlesslyToTheirExactLength) {
    LameAudioWriter writer(Path("mixed.mp3"), Settings(44100, 2, 128));
    // Lengths that come to whole frames at 44100 Hz, so that the tone runs on exactly.
    const int64_t mono22 = 22050 + 1001, stereo48 = 160 * 250, mono22b = 22050;
    writer.SetArrayFormat(22050, 1);
    WriteInPieces(writer, ToneAt(22050, 1, mono22, 0.0), 1);
    writer.SetArrayFormat(48000, 2);
    WriteInPieces(writer, ToneAt(48000, 2, stereo48, mono22 / 22050.0), 2);
    writer.SetArrayFormat(22050, 1);
    WriteInPieces(writer, ToneAt(22050, 1, mono22b, mono22 / 22050.0 + stereo48 / 48000.0), 1);
    writer.Close();

    const int64_t firstJoint = 2 * mono22, secondJoint = firstJoint + stereo48 * 147 / 160;
    const int64_t expected = secondJoint + 2 * mono22b;
    EXPECT_EQ(writer.FramesEncoded(), expected);
    const Decoded decoded = DecodeFile(Path("mixed.mp3"));
    ASSERT_EQ(FrameCount(decoded.samples, 2), expected);
    const SampleArray unbroken = ToneAt(44100, 2, expected, 0.0);
    for (int64_t joint : {firstJoint, secondJoint}) {
        SCOPED_TRACE(joint);
        ExpectSeamless(decoded, unbroken, joint, 1.25);
    }
}

// The resampler's own tail is a frame too long at some lengths and empty for tiny runs: the
// writer cuts or pads every run to its rounded length.
TEST_F(LameAudioWriterTest, RoundsOddRunLengthsOneRunAtATime) {
    struct Run {
        int rate, channels;
        int64_t frames;
    };
    // The two 48000 Hz runs make one run of 88212.86 frames at 44100 Hz; rounded one by one
    // they would make a frame less.
    const Run runs[] = {{22050, 1, 22057}, {48000, 1, 48007}, {48000, 1, 48007},
                        {8000, 1, 7},      {32000, 2, 22057}, {44100, 1, 5}};
    const double expected = 2 * 22057 + std::round(2 * 48007 * 44100.0 / 48000) +
                            std::round(7 * 44100.0 / 8000) + std::round(22057 * 44100.0 / 32000) +
                            5;
    LameAudioWriter writer(Path("odd.mp3"), Settings(44100, 2, 128));
    for (const Run& run : runs) {
        writer.SetArrayFormat(run.rate, run.channels);
        WriteInPieces(writer, Tone(run.rate, run.channels, run.frames, 300.0), run.channels);
    }
    writer.Close();
    EXPECT_EQ(writer.FramesEncoded(), expected);
    EXPECT_EQ(FrameCount(DecodeFile(Path("odd.mp3")).samples, 2), expected);
}

// Stereo to mono averages the sides; mono to stereo copies the channel at full level. Both with
// and without resampling, which take different paths.
TEST_F(LameAudioWriterTest, MixesChannelsAtTheRightLevel) {
    for (int arrayRate : {44100, 22050}) {
        SCOPED_TRACE(arrayRate);
        const int64_t second = arrayRate;
        const SampleArray tone = Tone(arrayRate, 1, second, 500.0);
        SampleArray stereo;  // one second in opposite phase, then one second in phase
        for (int pass = 0; pass < 2; ++pass) {
            for (int16_t s : tone) {
                stereo.push_back(s);
                stereo.push_back(pass == 0 ? static_cast<int16_t>(-s) : s);
            }
        }
        {
            LameAudioWriter mono(Path("mono.mp3"), Settings(44100, 1, 64));
            mono.SetArrayFormat(arrayRate, 2);
            mono.Write(stereo);
            mono.Close();
            LameAudioWriter wide(Path("wide.mp3"), Settings(44100, 2, 128));
            wide.SetArrayFormat(arrayRate, 1);
            wide.Write(tone);
            wide.Close();
        }
        const double level = Rms(tone);  // LAME itself loses about 0.5 dB on a pure tone
        const Decoded mono = DecodeFile(Path("mono.mp3"));
        EXPECT_LT(Rms(Slice(mono.samples, 1, 2000, 40000)), level * 0.02);
        EXPECT_NEAR(Rms(Slice(mono.samples, 1, 46100, 40000)), level, level * 0.1);
        const Decoded wide = DecodeFile(Path("wide.mp3"));
        for (int channel = 0; channel < 2; ++channel) {
            EXPECT_NEAR(Rms(ChannelOf(wide.samples, 2, channel)), level, level * 0.1);
        }
    }
}

// The settings object is reused between files, as the program does: turning VBR off must give
// a constant bit rate file again. In VBR mode Bitrate is the floor and VbrBitrate the ceiling.
TEST_F(LameAudioWriterTest, VbrSwitchTakesEffectPerFileAndInfoFrameLeadsTheFile) {
    AudioFile2LameEnc encoder = Settings(44100, 2, 64);
    encoder.SetVbrBitrate(160);
    encoder.SetVbrQuality(0);
    // A tone that drops to silence half way, so VBR has reason to vary the bit rate.
    const SampleArray signal = Concat(Tone(44100, 2, 88200, 3000.0), Silence(2, 88200));
    for (bool vbr : {true, false}) {
        SCOPED_TRACE(vbr);
        encoder.SetVbr(vbr);
        LameAudioWriter writer(Path("switch.mp3"), encoder);
        writer.Write(signal);
        writer.Close();
        const Mp3Frames frames = ScanFrames(Path("switch.mp3"));
        EXPECT_TRUE(frames.backToBack);  // no ID3 tags from the encoder
        EXPECT_TRUE(frames.first.contains(vbr ? "Xing" : "Info"));
        EXPECT_TRUE(frames.first.contains("LAME"));
        if (vbr) {
            EXPECT_GT(frames.laterBitrates.size(), 1u);
            EXPECT_EQ(*frames.laterBitrates.begin(), 64);
            EXPECT_EQ(*frames.laterBitrates.rbegin(), 160);
        } else {
            EXPECT_EQ(frames.laterBitrates, std::set<int>{64});
        }
    }
}

// At 8 kbit/s three seconds are less than a stdio buffer: only an explicit flush puts them on
// disk for other readers.
TEST_F(LameAudioWriterTest, FileGrowsWhileWrittenAndStaysPlayableWithoutClose) {
    const QString path = Path("growing.mp3");
    {
        LameAudioWriter writer(path, Settings(8000, 1, 8));
        writer.Write(Tone(8000, 1, 3 * 8000, 440.0));
        EXPECT_GT(QFileInfo(path).size(), 3 * 8000 / 8 * 3 / 4);
    }  // destroyed without Close
    EXPECT_EQ(FrameCount(DecodeFile(path).samples, 1), 3 * 8000);
}

TEST_F(LameAudioWriterTest, FailuresNameTheFile) {
    const QString missing = Path("no such folder/out.mp3");
    try {
        LameAudioWriter writer(missing, Settings(44100, 2, 128));
        FAIL() << "created a file in a missing folder";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains(missing)) << error.what();
    }
    EXPECT_THROW(LameAudioWriter(Path("x.mp3"), Settings(44100, 2, 8)), SonvaraError);
    EXPECT_THROW(LameAudioWriter(Path("x.mp3"), Settings(44100, 3, 128)), SonvaraError);

    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to fill";
    LameAudioWriter full("/dev/full", Settings(44100, 2, 128));
    try {
        full.Write(Tone(44100, 2, 44100, 440.0));
        full.Close();
        FAIL() << "a full disk went unnoticed";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains("/dev/full")) << error.what();
    }
}

// A disk that fills up in the middle of a file: the part that reached it stays a whole MP3
// whose length header tells what is there, with LAME's info frame and with the writer's own.
TEST_F(LameAudioWriterTest, AFileCutShortByAFullDiskKeepsACorrectLength) {
    for (const AudioFile2LameEnc& settings : {Settings(44100, 2, 128), Settings(48000, 1, 32)}) {
        const QString path = Path("full.mp3");
        bool failed = false;
        {
            const FileSizeLimit limit(20000);
            LameAudioWriter writer(path, settings);
            try {
                for (int i = 0; i < 50; ++i)
                    writer.Write(Tone(settings.SampleRate(), settings.Channels(),
                                      settings.SampleRate() / 5, 440.0));
            } catch (const SonvaraError& error) {
                failed = error.message().contains(path);
            }
            EXPECT_NO_THROW(writer.Close());
        }
        EXPECT_TRUE(failed) << settings.Bitrate();
        EXPECT_LE(QFileInfo(path).size(), 20000);
        const Decoded decoded = DecodeFile(path);
        const int64_t frames = FrameCount(decoded.samples, settings.Channels());
        EXPECT_GT(frames, settings.SampleRate() / 2) << settings.Bitrate();
        EXPECT_EQ(decoded.announced, frames) << settings.Bitrate();
    }
}

}  // namespace

// A recording split into two parts: each decodes to exactly its own frames, and the two in a
// row stray no further from the uncut tone at the joint than inside a part.
TEST_F(LameAudioWriterTest, PartsOfASplitJoinWithNoSeam) {
    struct Case {
        int rate, channels, kbps;
        bool vbr;
        int nextRate;  // the next part's, when the settings changed between the parts
    };
    for (const Case c : {Case{44100, 2, 128, false, 44100}, Case{22050, 1, 64, true, 22050},
                         Case{11025, 2, 32, false, 11025}, Case{48000, 1, 96, true, 48000},
                         Case{44100, 2, 128, false, 22050}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, vbr " << c.vbr
                                        << ", then " << c.nextRate << " Hz");
        AudioFile2LameEnc encoder = Settings(c.rate, c.channels, c.kbps);
        encoder.SetVbr(c.vbr);
        encoder.SetVbrBitrate(c.kbps);
        const int64_t cut = c.rate + 1001, frames = 2 * c.rate + 77;
        const SampleArray tone = ToneAt(c.rate, c.channels, frames, 0.0);
        LameAudioWriter first(Path("first.mp3"), encoder);
        WriteInPieces(first, Slice(tone, c.channels, 0, cut), c.channels);
        const SplitSeam seam = first.EndSoundForSplit();
        encoder.SetSampleRate(c.nextRate);
        LameAudioWriter second(Path("second.mp3"), encoder, LameAudioWriter::Creation::Replace,
                               seam);
        second.SetArrayFormat(c.rate, c.channels);
        for (int64_t at = cut; at < frames; at += 100) {
            const SampleArray piece = Slice(tone, c.channels, at, 100);
            second.Write(piece);
            if (first.WritePostRoll(piece, c.rate, c.channels))
                first.Close();
        }
        second.Close();
        const Decoded parts[] = {DecodeFile(Path("first.mp3")), DecodeFile(Path("second.mp3"))};
        const int64_t rest = (frames - cut) * c.nextRate / c.rate;
        EXPECT_EQ(parts[0].announced, cut);
        EXPECT_EQ(FrameCount(parts[0].samples, c.channels), cut);
        EXPECT_EQ(parts[1].announced, rest);
        EXPECT_EQ(FrameCount(parts[1].samples, c.channels), rest);
        if (c.nextRate != c.rate)
            continue;
        const SampleArray joined = Concat(parts[0].samples, parts[1].samples);
        const int64_t window = 1152;
        const double inside =
            std::max(LargestStray(joined, tone, c.channels, cut / 2, 2 * window),
                     LargestStray(joined, tone, c.channels, (cut + frames) / 2, 2 * window));
        EXPECT_LE(LargestStray(joined, tone, c.channels, cut - window, 2 * window), 1.25 * inside);
    }
}
