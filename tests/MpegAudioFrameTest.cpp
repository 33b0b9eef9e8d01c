#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "components/LameAudioWriter.h"
#include "components/Mp3Layout.h"
#include "components/MpegAudioFrame.h"
#include "support/TestAudio.h"

namespace {

struct Stream {
    std::vector<unsigned char> bytes;
    std::vector<int64_t> offsets;  // of every frame
};

Stream Encode(const QString& path, int rate, int channels, int kbps, bool vbr) {
    AudioFile2LameEnc encoder;
    encoder.SetSampleRate(rate);
    encoder.SetChannels(channels);
    encoder.SetBitrate(kbps);
    encoder.SetVbr(vbr);
    encoder.SetVbrBitrate(kbps);
    LameAudioWriter writer(path, encoder);
    writer.Write(testaudio::Tone(rate, channels, rate / 2 + 333, 440.0));
    writer.Close();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    Stream stream{{data.begin(), data.end()}, {}};
    for (size_t at = 0; at + 4 <= stream.bytes.size();) {
        const std::optional<MpegFrameHeader> header = ParseMpegHeader(&stream.bytes[at]);
        if (!header)
            break;
        stream.offsets.push_back(static_cast<int64_t>(at));
        at += static_cast<size_t>(header->frameBytes);
    }
    return stream;
}

// What the writer's LAME puts in its frames reads back as such, and the info frame's fields
// written with other values read back with them and a tag CRC that matches.
TEST(MpegAudioFrameTest, HeadersAndInfoTagsRoundTrip) {
    struct Case {
        int rate, channels, kbps;
        bool vbr;
        MpegFrameHeader::Version version;
    };
    QTemporaryDir dir;
    for (const Case c : {Case{44100, 2, 128, false, MpegFrameHeader::Mpeg1},
                         Case{48000, 1, 160, true, MpegFrameHeader::Mpeg1},
                         Case{22050, 2, 64, false, MpegFrameHeader::Mpeg2},
                         Case{16000, 1, 48, true, MpegFrameHeader::Mpeg2},
                         Case{11025, 2, 32, false, MpegFrameHeader::Mpeg25},
                         Case{8000, 1, 8, false, MpegFrameHeader::Mpeg25}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, vbr " << c.vbr);
        Stream s = Encode(dir.filePath("t.mp3"), c.rate, c.channels, c.kbps, c.vbr);
        ASSERT_GT(s.offsets.size(), 2u);
        const int64_t size = static_cast<int64_t>(s.bytes.size());
        EXPECT_EQ(s.offsets.back() + ParseMpegHeader(&s.bytes[s.offsets.back()])->frameBytes, size);
        const MpegFrameHeader audio = *ParseMpegHeader(&s.bytes[s.offsets[1]]);
        EXPECT_EQ(audio.version, c.version);
        EXPECT_EQ(audio.layer, 3);
        EXPECT_EQ(audio.sampleRate, c.rate);
        EXPECT_EQ(audio.Channels(), c.channels);
        EXPECT_EQ(audio.samplesPerFrame, c.version == MpegFrameHeader::Mpeg1 ? 1152 : 576);
        EXPECT_EQ(audio.sideInfoBytes, LayerThreeSideInfoBytes(audio.Lsf(), c.channels));
        EXPECT_EQ(MainDataBegin(&s.bytes[s.offsets[1]], audio), 0);  // nothing to borrow from
        const auto made = MakeMpegHeader(c.rate, audio.bitrateKbps, audio.mode, audio.padding);
        ASSERT_TRUE(made);
        EXPECT_EQ(MpegHeaderBits(made->data()) & kMpegSameStreamMask,
                  MpegHeaderBits(&s.bytes[s.offsets[1]]) & kMpegSameStreamMask);

        unsigned char* info = s.bytes.data();
        const size_t infoSize = static_cast<size_t>(s.offsets[1]);
        std::optional<XingTag> tag = ReadXingTag(info, infoSize);
        ASSERT_TRUE(tag && tag->frames && tag->bytes && tag->toc && tag->lame);
        EXPECT_EQ(tag->info, !c.vbr);
        EXPECT_EQ(*tag->frames, s.offsets.size() - 1);
        EXPECT_EQ(*tag->bytes, size);
        EXPECT_TRUE(tag->lame->TrustedEncoder());
        EXPECT_EQ(tag->lame->musicLength, size);
        EXPECT_EQ(tag->lame->musicCrc, LameCrc16(0, info + infoSize, s.bytes.size() - infoSize));
        const size_t crcAt = static_cast<size_t>(XingTagOffset(audio)) + tag->Size() - 2;
        EXPECT_EQ(tag->lame->tagCrc, LameCrc16(0, info, crcAt));

        tag->lame->delay += 1152;
        tag->lame->padding += 576;
        tag->frames = 7;
        tag->toc = BuildXingToc({s.offsets.begin() + 1, s.offsets.end()}, size);
        ASSERT_TRUE(WriteXingTag(info, infoSize, *tag));
        const std::optional<XingTag> back = ReadXingTag(info, infoSize);
        ASSERT_TRUE(back && back->lame);
        EXPECT_EQ(back->frames, 7u);
        EXPECT_EQ(back->toc, tag->toc);
        EXPECT_EQ(back->lame->delay, tag->lame->delay);
        EXPECT_EQ(back->lame->padding, tag->lame->padding);
        EXPECT_EQ(back->lame->tagCrc, LameCrc16(0, info, crcAt));
    }
}

// The sound lies after every ID3v2 tag, footers counted, and before an APE and an ID3v1 tag;
// what is no whole tag is sound.
TEST(MpegAudioFrameTest, TheSoundLiesBetweenTheTags) {
    using namespace std::string_literals;
    const std::string sound(1000, '\xFF'), id3v1 = "TAG"s + std::string(125, 0);
    const std::string id3v2 = "ID3\4\0\0\0\0\0\x14"s + std::string(20, 0);
    // A header, 10 bytes of items, and the footer, whose size counts the items and itself.
    const std::string ape =
        std::string(42, 0) + "APETAGEX\xD0\7\0\0\x2A\0\0\0\0\0\0\0\0\0\0\x80"s + std::string(8, 0);
    struct Case {
        const char* what;
        std::string file;
        int64_t start, end;
    };
    const Case cases[] = {
        {"no tags", sound, 0, 1000},
        {"ID3v2 with footer, ID3v2", "ID3\4\0\x10\0\0\0\x14"s + std::string(30, 0) + id3v2 + sound,
         70, 1070},
        {"size not synchsafe", "ID3\4\0\0\x80\0\0\x14"s + sound, 0, 1010},
        {"header cut short", "ID3\4\0\0\0\0"s, 0, 8},
        {"ID3v2 longer than the file", "ID3\4\0\0\0\0\x7F\0"s + sound, 1010, 1010},
        {"APE with header, ID3v1", sound + ape + id3v1, 0, 1000},
        {"APE longer than the file",
         std::string(40, '\xFF') + ape.substr(42, 12) + "\xC8" + ape.substr(55), 0, 72},
    };
    for (const Case& c : cases) {
        const auto size = static_cast<int64_t>(c.file.size());
        const ByteReader read =
            MemoryBytes(reinterpret_cast<const unsigned char*>(c.file.data()), size);
        EXPECT_EQ(SoundStart(read, size), c.start) << c.what;
        EXPECT_EQ(SoundEnd(read, c.start, size), c.end) << c.what;
    }
}

}  // namespace
