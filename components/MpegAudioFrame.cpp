#include "components/MpegAudioFrame.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kRates[3] = {44100, 48000, 32000};
constexpr size_t kLameTagSize = 36;
// The LAME tag's delay and padding end here; a shorter tag is of no use.
constexpr size_t kLameTagUsable = 24;

uint32_t GetBig(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

void PutBig(unsigned char* p, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        p[i] = static_cast<unsigned char>(value);
}

LameTag ParseLameTag(const unsigned char* p) {
    LameTag tag;
    std::memcpy(tag.encoder.data(), p, 9);
    tag.revisionAndMethod = p[9];
    tag.lowpass = p[10];
    std::copy(p + 11, p + 19, tag.replayGain.begin());
    tag.flagsAndAth = p[19];
    tag.bitrate = p[20];
    const uint32_t delays = GetBig(p + 21, 3);
    tag.delay = static_cast<int>(delays >> 12);
    tag.padding = static_cast<int>(delays & 0xFFF);
    tag.misc = p[24];
    tag.mp3Gain = p[25];
    tag.presetAndSurround = static_cast<uint16_t>(GetBig(p + 26, 2));
    tag.musicLength = GetBig(p + 28, 4);
    tag.musicCrc = static_cast<uint16_t>(GetBig(p + 32, 2));
    tag.tagCrc = static_cast<uint16_t>(GetBig(p + 34, 2));
    return tag;
}

void PutLameTag(unsigned char* p, const LameTag& tag) {
    std::memcpy(p, tag.encoder.data(), 9);
    p[9] = tag.revisionAndMethod;
    p[10] = tag.lowpass;
    std::copy(tag.replayGain.begin(), tag.replayGain.end(), p + 11);
    p[19] = tag.flagsAndAth;
    p[20] = tag.bitrate;
    const auto delay = static_cast<uint32_t>(std::clamp(tag.delay, 0, 4095));
    const auto padding = static_cast<uint32_t>(std::clamp(tag.padding, 0, 4095));
    PutBig(p + 21, delay << 12 | padding, 3);
    p[24] = tag.misc;
    p[25] = tag.mp3Gain;
    PutBig(p + 26, tag.presetAndSurround, 2);
    PutBig(p + 28, tag.musicLength, 4);
    PutBig(p + 32, tag.musicCrc, 2);
}

// Bytes of the Xing fields with the given flags, the LAME tag not included.
size_t XingFieldsSize(uint32_t flags) {
    return 8 + (flags & XingTag::kFrames ? 4 : 0) + (flags & XingTag::kBytes ? 4 : 0) +
           (flags & XingTag::kToc ? 100 : 0) + (flags & XingTag::kQuality ? 4 : 0);
}

}  // namespace

uint32_t MpegHeaderBits(const unsigned char* header) {
    return GetBig(header, 4);
}

std::optional<MpegFrameHeader> ParseMpegHeader(uint32_t h) {
    if ((h & 0xFFE00000) != 0xFFE00000)
        return std::nullopt;
    const int version = (h >> 19) & 3;  // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const int layerBits = (h >> 17) & 3;
    const int bitrateIndex = (h >> 12) & 15;
    const int rateIndex = (h >> 10) & 3;
    // Free-format frames (index 0) have no length in their header.
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    MpegFrameHeader header;
    header.version = version == 3   ? MpegFrameHeader::Mpeg1
                     : version == 2 ? MpegFrameHeader::Mpeg2
                                    : MpegFrameHeader::Mpeg25;
    header.layer = 4 - layerBits;
    header.bitrateIndex = bitrateIndex;
    header.bitrateKbps = kBitrates[header.Lsf()][header.layer - 1][bitrateIndex];
    header.sampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    header.mode = static_cast<MpegFrameHeader::Mode>((h >> 6) & 3);
    header.padding = (h >> 9) & 1;
    header.crcProtected = !((h >> 16) & 1);
    const int bitsPerSecond = header.bitrateKbps * 1000;
    const int padding = header.padding ? 1 : 0;
    if (header.layer == 1) {
        header.frameBytes = (12 * bitsPerSecond / header.sampleRate + padding) * 4;
        header.samplesPerFrame = 384;
    } else if (header.layer == 2 || !header.Lsf()) {
        header.frameBytes = 144 * bitsPerSecond / header.sampleRate + padding;
        header.samplesPerFrame = 1152;
    } else {
        header.frameBytes = 72 * bitsPerSecond / header.sampleRate + padding;
        header.samplesPerFrame = 576;
    }
    if (header.layer == 3)
        header.sideInfoBytes = LayerThreeSideInfoBytes(header.Lsf(), header.Channels());
    return header;
}

std::optional<MpegFrameHeader> ParseMpegHeader(const unsigned char* header) {
    return ParseMpegHeader(MpegHeaderBits(header));
}

std::optional<std::array<unsigned char, 4>> MakeMpegHeader(int sampleRate, int bitrateKbps,
                                                           MpegFrameHeader::Mode mode,
                                                           bool padding) {
    int version = -1, rateIndex = -1;
    for (int v : {3, 2, 0}) {
        for (int r = 0; r < 3; ++r) {
            if (kRates[r] >> (v == 3 ? 0 : v == 2 ? 1 : 2) == sampleRate) {
                version = v;
                rateIndex = r;
            }
        }
    }
    if (version < 0)
        return std::nullopt;
    const int* rates = kBitrates[version != 3][2];
    const int* found = std::find(rates + 1, rates + 15, bitrateKbps);
    if (found == rates + 15)
        return std::nullopt;
    const uint32_t bits = 0xFFE00000u | uint32_t(version) << 19 | 1u << 17 | 1u << 16 |
                          uint32_t(found - rates) << 12 | uint32_t(rateIndex) << 10 |
                          uint32_t(padding) << 9 | uint32_t(mode) << 6;
    std::array<unsigned char, 4> header{};
    PutBig(header.data(), bits, 4);
    return header;
}

int LayerThreeSideInfoBytes(bool lsf, int channels) {
    return lsf ? (channels == 1 ? 9 : 17) : (channels == 1 ? 17 : 32);
}

int MainDataBegin(const unsigned char* frame, const MpegFrameHeader& header) {
    const unsigned char* side = frame + header.SideInfoOffset();
    return header.Lsf() ? side[0] : (side[0] << 1 | side[1] >> 7);
}

void SetMainDataBegin(unsigned char* frame, const MpegFrameHeader& header, int bytes) {
    unsigned char* side = frame + header.SideInfoOffset();
    if (header.Lsf()) {
        side[0] = static_cast<unsigned char>(bytes);
        return;
    }
    side[0] = static_cast<unsigned char>(bytes >> 1);
    side[1] = static_cast<unsigned char>((side[1] & 0x7F) | (bytes & 1) << 7);
}

bool LameTag::TrustedEncoder() const {
    for (const char* name : {"LAME", "Lavf", "Lavc"}) {
        if (std::memcmp(encoder.data(), name, 4) == 0)
            return true;
    }
    return false;
}

uint32_t XingTag::Flags() const {
    return (frames ? kFrames : 0) | (bytes ? kBytes : 0) | (toc ? kToc : 0) |
           (quality ? kQuality : 0);
}

size_t XingTag::Size() const {
    return XingFieldsSize(Flags()) + (lame ? kLameTagSize : 0);
}

// Decoders look here whether or not the frame has a CRC, and so does every encoder.
int XingTagOffset(const MpegFrameHeader& header) {
    return 4 + header.sideInfoBytes;
}

std::optional<XingTag> ReadXingTag(const unsigned char* frame, size_t size) {
    if (size < 4)
        return std::nullopt;
    const std::optional<MpegFrameHeader> header = ParseMpegHeader(frame);
    if (!header || header->layer != 3)
        return std::nullopt;
    const size_t end = std::min(size, static_cast<size_t>(header->frameBytes));
    size_t at = static_cast<size_t>(XingTagOffset(*header));
    const auto fits = [&](size_t bytes) { return at + bytes <= end; };
    if (!fits(8) || (std::memcmp(frame + at, "Xing", 4) && std::memcmp(frame + at, "Info", 4)))
        return std::nullopt;
    XingTag tag;
    tag.info = std::memcmp(frame + at, "Info", 4) == 0;
    const uint32_t flags = GetBig(frame + at + 4, 4);
    at += 8;
    if ((flags & XingTag::kFrames) && fits(4)) {
        tag.frames = GetBig(frame + at, 4);
        at += 4;
    }
    if ((flags & XingTag::kBytes) && fits(4)) {
        tag.bytes = GetBig(frame + at, 4);
        at += 4;
    }
    if (flags & XingTag::kToc) {
        if (fits(100)) {
            tag.toc.emplace();
            std::copy(frame + at, frame + at + 100, tag.toc->begin());
        }
        at += 100;
    }
    if (flags & XingTag::kQuality) {
        if (fits(4))
            tag.quality = GetBig(frame + at, 4);
        at += 4;
    }
    if (fits(kLameTagUsable)) {
        unsigned char lame[kLameTagSize] = {};
        std::memcpy(lame, frame + at, std::min(kLameTagSize, end - at));
        tag.lame = ParseLameTag(lame);
    }
    return tag;
}

bool WriteXingTag(unsigned char* frame, size_t size, const XingTag& tag) {
    const std::optional<MpegFrameHeader> header = ParseMpegHeader(frame);
    if (!header || header->layer != 3)
        return false;
    const size_t end = std::min(size, static_cast<size_t>(header->frameBytes));
    const uint32_t flags = tag.Flags();
    const size_t start = static_cast<size_t>(XingTagOffset(*header));
    if (start + tag.Size() > end)
        return false;
    unsigned char* p = frame + start;
    std::memcpy(p, tag.info ? "Info" : "Xing", 4);
    PutBig(p + 4, flags, 4);
    p += 8;
    for (const std::optional<uint32_t>& field : {tag.frames, tag.bytes}) {
        if (field) {
            PutBig(p, *field, 4);
            p += 4;
        }
    }
    if (tag.toc)
        p = std::copy(tag.toc->begin(), tag.toc->end(), p);
    if (tag.quality) {
        PutBig(p, *tag.quality, 4);
        p += 4;
    }
    if (tag.lame) {
        PutLameTag(p, *tag.lame);
        PutBig(p + 34, LameCrc16(0, frame, static_cast<size_t>(p + 34 - frame)), 2);
    }
    return true;
}

std::array<uint8_t, 100> BuildXingToc(const std::vector<int64_t>& frameOffsets,
                                      int64_t totalBytes) {
    std::array<uint8_t, 100> toc{};
    const auto frames = static_cast<int64_t>(frameOffsets.size());
    if (frames == 0 || totalBytes <= 0) {
        for (int i = 0; i < 100; ++i)
            toc[i] = static_cast<uint8_t>(i * 256 / 100);
        return toc;
    }
    for (int i = 0; i < 100; ++i) {
        const int64_t frame = std::min(frames - 1, i * frames / 100);
        toc[i] =
            static_cast<uint8_t>(std::min<int64_t>(255, frameOffsets[frame] * 256 / totalBytes));
    }
    return toc;
}

uint16_t LameCrc16(uint16_t crc, const unsigned char* data, size_t size) {
    static const auto table = [] {
        std::array<uint16_t, 256> entries{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned value = i;
            for (int bit = 0; bit < 8; ++bit)
                value = value & 1 ? (value >> 1) ^ 0xA001 : value >> 1;
            entries[i] = static_cast<uint16_t>(value);
        }
        return entries;
    }();
    for (size_t i = 0; i < size; ++i)
        crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}
