#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "components/FfmpegAudioReader.h"
#include "components/SonvaraError.h"
#include "support/TestAudio.h"

using namespace testaudio;

namespace {

struct FormatCase {
    Format format;
    int rate;
    int channels;
    bool lossless;
    bool exactLength;  // Samples equals the frames written
    WriteOptions options = {};
};

WriteOptions Kbps(int kbps) {
    WriteOptions options;
    options.bitrateKbps = kbps;
    return options;
}

WriteOptions Vbr() {
    WriteOptions options;
    options.vbr = true;
    return options;
}

std::string CaseName(const FormatCase& c) {
    std::string name = FormatName(c.format);
    name += "_" + std::to_string(c.rate) + "_" + std::to_string(c.channels) + "ch";
    if (c.options.vbr)
        name += "_vbr";
    for (char& ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
}

// Left and right at different pitches catch swapped or mixed-up channels.
constexpr double kLeftHz = 440, kRightHz = 660;

SampleArray TestSignal(int rate, int channels, int64_t frames) {
    return channels == 2 ? StereoTone(rate, frames, kLeftHz, kRightHz)
                         : Tone(rate, channels, frames, kLeftHz);
}

// Bit rate the file states exactly, or 0 when it is an average.
int NominalBitrate(const FormatCase& c) {
    const int frameBits = c.rate * c.channels;
    switch (c.format) {
        case Format::Wav:
        case Format::Raw:
            return frameBits * 16;
        case Format::WavU8:
            return frameBits * 8;
        case Format::WavS24:
            return frameBits * 24;
        case Format::WavS32:
        case Format::WavFloat:
            return frameBits * 32;
        case Format::Mp3:
        case Format::Mp3NoXing:
            return c.options.vbr ? 0 : (c.options.bitrateKbps ? c.options.bitrateKbps : 128) * 1000;
        default:
            return 0;
    }
}

class FfmpegAudioReaderFormats : public ::testing::TestWithParam<FormatCase> {
protected:
    QTemporaryDir dir_;
};

}  // namespace

TEST_P(FfmpegAudioReaderFormats, DeliversExactlyTheAnnouncedFramesAtTheFilesRateAndChannels) {
    const FormatCase& c = GetParam();
    // An odd length: every format has to end between two codec frames.
    const int64_t frames = c.rate * 13 / 10 + 17;
    const SampleArray original = TestSignal(c.rate, c.channels, frames);
    const QString path = dir_.filePath(QStringLiteral("signal") + Extension(c.format));
    WriteFile(path, c.format, original, c.rate, c.channels, c.options);

    const Decoded decoded = DecodeFile(path);
    EXPECT_EQ(decoded.rate, c.rate);
    EXPECT_EQ(decoded.channels, c.channels);
    const int64_t delivered = FrameCount(decoded.samples, decoded.channels);
    if (c.format == Format::Wma) {
        // ASF gives its length in milliseconds, and WMA codes whole blocks of 2048 frames.
        EXPECT_NEAR(double(decoded.announced), double(delivered), 2048 + c.rate / 1000.0);
        EXPECT_NEAR(double(delivered), double(frames), 3 * 2048);
    } else if (c.exactLength) {
        EXPECT_EQ(decoded.announced, frames);
        EXPECT_EQ(delivered, frames);
    } else {
        // Without a header that says otherwise, encoder delay and padding are part of the sound.
        EXPECT_EQ(decoded.announced, delivered);
        EXPECT_GE(delivered, frames);
        EXPECT_LT(delivered, frames + 3 * 1152);
    }

    if (c.lossless && c.format == Format::WavU8) {
        ASSERT_EQ(decoded.samples.size(), original.size());
        for (size_t i = 0; i < original.size(); ++i)
            ASSERT_NEAR(decoded.samples[i], original[i], 256) << "at " << i;
    } else if (c.lossless) {
        EXPECT_EQ(decoded.samples, original);
    }
    EXPECT_NEAR(DominantFrequency(decoded.samples, c.channels, 0, c.rate), kLeftHz, 2);
    if (c.channels == 2) {
        EXPECT_NEAR(DominantFrequency(decoded.samples, c.channels, 1, c.rate), kRightHz, 2);
    }
    EXPECT_NEAR(Rms(decoded.samples), Rms(original), Rms(original) * 0.1);

    FfmpegAudioReader reader(path);
    EXPECT_EQ(reader.DurationMs(), reader.Samples() * 1000 / c.rate);
    if (const int nominal = NominalBitrate(c)) {
        EXPECT_EQ(reader.Bitrate(), nominal);
    } else {
        EXPECT_GT(reader.Bitrate(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , FfmpegAudioReaderFormats,
    ::testing::Values(FormatCase{Format::Wav, 44100, 2, true, true},
                      FormatCase{Format::Wav, 8000, 1, true, true},
                      FormatCase{Format::WavU8, 22050, 1, true, true},
                      FormatCase{Format::WavS24, 48000, 2, true, true},
                      FormatCase{Format::WavS32, 44100, 1, true, true},
                      FormatCase{Format::WavFloat, 44100, 2, true, true},
                      FormatCase{Format::Raw, 44100, 2, true, true},
                      FormatCase{Format::Flac, 44100, 2, true, true},
                      FormatCase{Format::Flac, 32000, 1, true, true},
                      FormatCase{Format::OggVorbis, 44100, 2, false, true},
                      FormatCase{Format::OggVorbis, 22050, 1, false, true},
                      FormatCase{Format::OggOpus, 48000, 2, false, true},
                      FormatCase{Format::OggOpus, 48000, 1, false, true},
                      FormatCase{Format::Wma, 44100, 2, false, false},
                      FormatCase{Format::Mp3, 44100, 2, false, true},
                      FormatCase{Format::Mp3, 48000, 2, false, true, Vbr()},
                      FormatCase{Format::Mp3, 22050, 1, false, true, Kbps(64)},
                      FormatCase{Format::Mp3, 8000, 1, false, true, Kbps(32)},
                      FormatCase{Format::Mp3NoXing, 44100, 2, false, false},
                      FormatCase{Format::Mp3NoXing, 16000, 1, false, false, Kbps(32)}),
    [](const ::testing::TestParamInfo<FormatCase>& tested) { return CaseName(tested.param); });

namespace {

struct SeekCase {
    Format format;
    int rate;
    int channels;
    bool bitExact;
    WriteOptions options = {};
};

class FfmpegAudioReaderSeek : public ::testing::TestWithParam<SeekCase> {
protected:
    QTemporaryDir dir_;
};

// Frames from the reader's position until count frames or the end.
SampleArray ReadFrames(FfmpegAudioReader& reader, int64_t count) {
    SampleArray out;
    while (FrameCount(out, reader.Channels()) < count) {
        const int64_t left = count - FrameCount(out, reader.Channels());
        const SampleArray chunk =
            reader.Read(int(std::min<int64_t>(left, 3000)) * reader.Channels());
        if (chunk.empty())
            break;
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

}  // namespace

TEST_P(FfmpegAudioReaderSeek, NextFramesAfterSeekEqualTheStraightDecodeFromThere) {
    const SeekCase& c = GetParam();
    const int64_t frames = c.rate * 3 + 321;
    const QString path = dir_.filePath(QStringLiteral("sweep") + Extension(c.format));
    WriteFile(path, c.format, Sweep(c.rate, c.channels, frames, 200, 4000), c.rate, c.channels,
              c.options);
    const Decoded straight = DecodeFile(path);
    const int64_t length = straight.announced;

    FfmpegAudioReader reader(path);
    // Backwards and forwards, near and far, at the ends and on codec frame edges.
    const int64_t targets[] = {length / 2, 0,          1,   1152 * 3 + 7, length - 1000,
                               4096,       length / 3, 100, length - 1,   length / 2 + 1};
    constexpr int64_t kCompared = 4000;
    for (const int64_t target : targets) {
        reader.Seek(target);
        const SampleArray got = ReadFrames(reader, kCompared);
        const SampleArray expected = Slice(straight.samples, c.channels, target, kCompared);
        ASSERT_EQ(got.size(), expected.size()) << "after Seek(" << target << ")";
        if (c.bitExact) {
            ASSERT_EQ(got, expected) << "after Seek(" << target << ")";
        } else {
            // Decoders that restart mid-stream may differ in the last bits; the place must not.
            ASSERT_EQ(BestLag(expected, got, c.channels, 32), 0) << "after Seek(" << target << ")";
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(got[i], expected[i], 64) << "after Seek(" << target << ") at " << i;
        }
    }

    const int64_t delivered = FrameCount(straight.samples, c.channels);
    reader.Seek(length / 4);
    EXPECT_EQ(FrameCount(ReadFrames(reader, length), c.channels), delivered - length / 4);
    reader.Seek(length + 5000);
    EXPECT_TRUE(reader.Read(1000).empty());
    reader.Seek(-20);
    EXPECT_EQ(ReadFrames(reader, 50), Slice(straight.samples, c.channels, 0, 50));
}

INSTANTIATE_TEST_SUITE_P(
    , FfmpegAudioReaderSeek,
    ::testing::Values(
        SeekCase{Format::Wav, 44100, 2, true}, SeekCase{Format::Raw, 44100, 2, true},
        SeekCase{Format::Flac, 44100, 2, true}, SeekCase{Format::Flac, 22050, 1, true},
        // MP3 restarts bit-exactly: the reader primes the decoder with the frames before.
        SeekCase{Format::Mp3, 44100, 2, true}, SeekCase{Format::Mp3, 44100, 2, true, Vbr()},
        SeekCase{Format::Mp3, 22050, 1, true, Kbps(48)},
        SeekCase{Format::Mp3NoXing, 44100, 2, true}, SeekCase{Format::OggVorbis, 44100, 2, false},
        SeekCase{Format::OggOpus, 48000, 2, false}, SeekCase{Format::Wma, 44100, 2, false}),
    [](const ::testing::TestParamInfo<SeekCase>& tested) {
        std::string name = std::string(FormatName(tested.param.format)) + "_" +
                           std::to_string(tested.param.rate) +
                           (tested.param.options.vbr ? "_vbr" : "");
        for (char& ch : name) {
            if (ch == '-')
                ch = '_';
        }
        return name;
    });

namespace {

class FfmpegAudioReaderTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // Keeps the first `fraction` of the file's bytes.
    static void Cut(const QString& path, double fraction) {
        QFile file(path);
        ASSERT_TRUE(file.resize(qint64(double(file.size()) * fraction)));
    }

    static void WriteBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(FfmpegAudioReaderTest, LameMp3StartsAtTheFirstOriginalSample) {
    // Silence, then a sweep: the onset shows where the sound lands after decoding.
    const int rate = 44100;
    const SampleArray original = Concat(Silence(2, 3000), Sweep(rate, 2, rate, 300, 3000));
    for (const WriteOptions& options : {Kbps(192), Vbr()}) {
        SCOPED_TRACE(options.vbr ? "VBR" : "CBR");
        const QString path = Path("gapless.mp3");
        WriteFile(path, Format::Mp3, original, rate, 2, options);

        const Decoded decoded = DecodeFile(path);
        EXPECT_EQ(decoded.announced, FrameCount(original, 2));
        ASSERT_EQ(FrameCount(decoded.samples, 2), FrameCount(original, 2));
        EXPECT_EQ(
            BestLag(Slice(original, 2, 2000, 8000), Slice(decoded.samples, 2, 2000, 8000), 2, 1200),
            0);
        EXPECT_NEAR(double(FirstLoudFrame(decoded.samples, 2, 2000)),
                    double(FirstLoudFrame(original, 2, 2000)), 2);
    }
}

TEST_F(FfmpegAudioReaderTest, Mp3WithoutXingHeaderIsCountedFrameByFrame) {
    // A large ID3v2 tag in front and an ID3v1 tag behind must not count as frames.
    WriteOptions options;
    options.title = QString(3000, QChar('t'));
    const QString path = Path("bare.mp3");
    const SampleArray original = Tone(44100, 2, 50000, 1000);
    WriteFile(path, Format::Mp3NoXing, original, 44100, 2, options);
    ASSERT_GT(QFileInfo(path).size(), 3000 + 128 + 50000 * 128 / 8 / 44100);

    const Decoded decoded = DecodeFile(path);
    EXPECT_EQ(decoded.announced, FrameCount(decoded.samples, 2));
    EXPECT_EQ(decoded.announced % 1152, 0);
    // The encoder's delay stays in the sound: nothing says how long it is.
    const int delay =
        BestLag(Slice(original, 2, 0, 8000), Slice(decoded.samples, 2, 0, 10000), 2, 2000);
    EXPECT_GT(delay, 500);
    EXPECT_LT(delay, 2000);
}

TEST_F(FfmpegAudioReaderTest, ConcatenatedMp3FilesAreCountedAsTheyDecode) {
    // Two LAME files joined by plain copying: the first header describes only the first part.
    const QString a = Path("a.mp3"), b = Path("b.mp3"), joined = Path("joined.mp3");
    WriteFile(a, Format::Mp3, Tone(44100, 2, 60000, 500), 44100, 2);
    WriteFile(b, Format::Mp3, Tone(44100, 2, 90000, 800), 44100, 2);
    QFile first(a), second(b);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    WriteBytes(joined, first.readAll() + second.readAll());

    const Decoded decoded = DecodeFile(joined);
    EXPECT_EQ(decoded.announced, FrameCount(decoded.samples, 2));
    EXPECT_NEAR(double(decoded.announced), 150000, 4 * 1152);
}

TEST_F(FfmpegAudioReaderTest, RawFilesAre16BitStereoAt44100WhateverTheirCase) {
    const SampleArray original = StereoTone(44100, 10000, 300, 900);
    const QString path = Path("take.RAW");
    WriteFile(path, Format::Raw, original, 44100, 2);
    // A cut-off last frame is no frame.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("\x01\x02\x03", 3);
    file.close();

    const Decoded decoded = DecodeFile(path);
    EXPECT_EQ(decoded.rate, 44100);
    EXPECT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.announced, 10000);
    EXPECT_EQ(decoded.samples, original);
    EXPECT_EQ(FfmpegAudioReader(path).Bitrate(), 44100 * 2 * 16);
}

TEST_F(FfmpegAudioReaderTest, ReadHandsOutWholeFramesUpToTheRequest) {
    const SampleArray original = Sweep(44100, 2, 30000, 100, 5000);
    const QString path = Path("sweep.wav");
    WriteFile(path, Format::Wav, original, 44100, 2);

    FfmpegAudioReader reader(path);
    SampleArray all;
    const int requests[] = {1, 7, 4100, 2, 0, 12001, 333};
    for (int i = 0;; ++i) {
        const int request = requests[i % std::size(requests)];
        const SampleArray chunk = reader.Read(request);
        if (chunk.empty())
            break;
        ASSERT_EQ(chunk.size() % 2, 0u) << "request " << request;
        // At least one frame, even when fewer elements are asked for.
        ASSERT_LE(chunk.size(), size_t(std::max(request, 2)));
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(all, original);
    EXPECT_TRUE(reader.Read(4100).empty());
}

TEST_F(FfmpegAudioReaderTest, MoreThanTwoChannelsAreMixedDownToStereo) {
    const QString path = Path("surround.wav");
    WriteFile(path, Format::Wav, Tone(48000, 6, 48000, 750, 0.3), 48000, 6);

    const Decoded decoded = DecodeFile(path);
    EXPECT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.announced, 48000);
    ASSERT_EQ(FrameCount(decoded.samples, 2), 48000);
    EXPECT_NEAR(DominantFrequency(decoded.samples, 2, 0, 48000), 750, 2);
    EXPECT_NEAR(DominantFrequency(decoded.samples, 2, 1, 48000), 750, 2);
    EXPECT_GT(Rms(ChannelOf(decoded.samples, 2, 1)), 1000);
}

TEST_F(FfmpegAudioReaderTest, CutFilesDecodeWhatIsThereAndEndCleanly) {
    struct Case {
        Format format;
        bool lengthFollowsTheCut;  // Samples counts what is left, not what the header promised
    };
    const int64_t frames = 6 * 44100;
    const SampleArray original = Sweep(44100, 2, frames, 200, 2000);
    for (const Case& c :
         {Case{Format::Wav, true}, Case{Format::Flac, false}, Case{Format::Mp3, true},
          Case{Format::Mp3NoXing, true}, Case{Format::OggVorbis, true}}) {
        SCOPED_TRACE(FormatName(c.format));
        const QString path = Path(QStringLiteral("cut") + Extension(c.format));
        WriteFile(path, c.format, original, 44100, 2);
        Cut(path, 0.5);

        const Decoded decoded = DecodeFile(path);
        const int64_t delivered = FrameCount(decoded.samples, 2);
        EXPECT_GT(delivered, frames / 4);
        EXPECT_LT(delivered, frames * 3 / 4);
        if (c.lengthFollowsTheCut) {
            EXPECT_EQ(decoded.announced, delivered);
        }
        if (c.format == Format::Wav || c.format == Format::Flac) {
            EXPECT_EQ(decoded.samples, Slice(original, 2, 0, delivered));
        }

        FfmpegAudioReader reader(path);
        reader.Seek(delivered - 10);
        EXPECT_EQ(reader.Read(100000), Slice(decoded.samples, 2, delivered - 10, 10));
        EXPECT_TRUE(reader.Read(100000).empty());
        reader.Seek(1000);
        EXPECT_EQ(reader.Read(200), Slice(decoded.samples, 2, 1000, 100));
    }
}

TEST_F(FfmpegAudioReaderTest, AWavWithoutSoundIsAnEmptyFileNotAnError) {
    const QString path = Path("silent.wav");
    WriteFile(path, Format::Wav, {}, 44100, 2);

    FfmpegAudioReader reader(path);
    EXPECT_EQ(reader.Samples(), 0);
    EXPECT_EQ(reader.Frequency(), 44100);
    EXPECT_EQ(reader.Channels(), 2);
    EXPECT_TRUE(reader.Read(4100).empty());
    reader.Seek(100);
    EXPECT_TRUE(reader.Read(4100).empty());
}

TEST_F(FfmpegAudioReaderTest, UnreadableFilesRaiseAnErrorNamingTheFileAndTheReason) {
    const QString wav = Path("good.wav");
    WriteFile(wav, Format::Wav, Tone(44100, 2, 1000, 440), 44100, 2);
    QFile good(wav);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray header = good.read(30);

    QByteArray noise(20000, '\0');
    uint32_t state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245 + 12345;
        byte = char(state >> 24);
    }
    QDir(dir_.path()).mkdir("folder.mp3");
    WriteBytes(Path("empty.wav"), {});
    WriteBytes(Path("text.mp3"),
               QByteArray("These are not the sounds you are looking for.\n").repeated(100));
    WriteBytes(Path("noise.wma"), noise);
    WriteBytes(Path("noise.mp3"), noise);
    WriteBytes(Path("header-only.wav"), header);
    const std::pair<QString, QString> cases[] = {
        {"missing.mp3", "does not exist"},
        {"folder.mp3", "folder"},
        {"empty.wav", "empty"},
        {"text.mp3", "not an audio file"},
        {"noise.wma", "not an audio file"},
        {"noise.mp3", "not an audio file"},
        {"header-only.wav", "not an audio file"},
    };
    for (const auto& [name, reason] : cases) {
        const QString path = Path(name);
        try {
            FfmpegAudioReader reader(path);
            ADD_FAILURE() << name.toStdString() << " opened";
        } catch (const SonvaraError& error) {
            EXPECT_TRUE(error.message().contains("\"" + path + "\"")) << error.what();
            EXPECT_TRUE(error.message().contains(reason)) << error.what();
        }
    }
}

// Seek back to the start opens the file again, which may have been deleted since.
TEST_F(FfmpegAudioReaderTest, AFileDeletedUnderASeekGivesErrorsNotACrash) {
    const QString path = Path("lost.mp3");
    WriteFile(path, Format::Mp3, Tone(44100, 2, 44100, 440), 44100, 2);
    FfmpegAudioReader reader(path);
    ASSERT_FALSE(reader.Read(20000).empty());
    ASSERT_TRUE(QFile::remove(path));
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(reader.Seek(0), SonvaraError);
        try {
            reader.Read(1000);
            ADD_FAILURE() << "read a deleted file";
        } catch (const SonvaraError& error) {
            EXPECT_TRUE(error.message().contains("\"" + path + "\": the file does not exist"))
                << error.what();
        }
    }
}
