#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The one reading and writing of MPEG audio frames in the program: frame headers (MPEG-1, 2
// and 2.5, layers I to III), the layer III side information's main_data_begin, and the
// Xing/Info frame with its LAME tag. The reader, the writer, the repair and the encoders build
// on it; nothing here touches a file.

// The bits that stay the same across the frames of one stream: sync, version, layer, rate.
constexpr uint32_t kMpegSameStreamMask = 0xFFFE0C00;

struct MpegFrameHeader {
    enum Version { Mpeg1, Mpeg2, Mpeg25 };
    enum Mode { Stereo, JointStereo, DualChannel, Mono };

    Version version = Mpeg1;
    int layer = 3;
    int sampleRate = 0;
    int bitrateKbps = 0;
    int bitrateIndex = 0;
    Mode mode = Stereo;
    bool padding = false;
    bool crcProtected = false;
    int frameBytes = 0;
    int samplesPerFrame = 0;
    int sideInfoBytes = 0;  // layer III only; 0 for layers I and II

    bool Lsf() const { return version != Mpeg1; }  // half-size layer III frames
    int Channels() const { return mode == Mono ? 1 : 2; }
    // Where the side information starts: after the header and its CRC.
    int SideInfoOffset() const { return crcProtected ? 6 : 4; }
};

// The header in the four bytes, or none when they are no frame header with a stated length
// (free-format frames are not followed).
std::optional<MpegFrameHeader> ParseMpegHeader(uint32_t bits);
std::optional<MpegFrameHeader> ParseMpegHeader(const unsigned char* header);
uint32_t MpegHeaderBits(const unsigned char* header);

// The four header bytes of a layer III frame without CRC at the given rates; none when the
// bit rate is not one that the sample rate allows.
std::optional<std::array<unsigned char, 4>> MakeMpegHeader(int sampleRate, int bitrateKbps,
                                                           MpegFrameHeader::Mode mode,
                                                           bool padding = false);

// Bytes of side information of a layer III frame.
int LayerThreeSideInfoBytes(bool lsf, int channels);

// How many bytes before its header a layer III frame's main data starts (its bit reservoir).
int MainDataBegin(const unsigned char* frame, const MpegFrameHeader& header);
void SetMainDataBegin(unsigned char* frame, const MpegFrameHeader& header, int bytes);

// The LAME extension of an info frame, 36 bytes after the Xing fields.
struct LameTag {
    std::array<char, 9> encoder{};        // "LAME3.100", or what else wrote the tag
    uint8_t revisionAndMethod = 0;        // revision in the high nibble, VBR method in the low one
    uint8_t lowpass = 0;                  // in hundreds of Hz
    std::array<uint8_t, 8> replayGain{};  // peak, radio and audiophile gain, as stored
    uint8_t flagsAndAth = 0;
    uint8_t bitrate = 0;  // kbit/s: average, minimum or constant by the method
    int delay = 0;        // encoder delay in samples, 12 bits
    int padding = 0;      // samples added at the end, 12 bits
    uint8_t misc = 0;     // source rate, stereo mode, noise shaping
    uint8_t mp3Gain = 0;
    uint16_t presetAndSurround = 0;
    uint32_t musicLength = 0;  // bytes from the info frame's header to the last frame's end
    uint16_t musicCrc = 0;     // LameCrc16 of the frames after the info frame
    uint16_t tagCrc = 0;       // LameCrc16 of the info frame up to this field; set on write

    // Written by a LAME-compatible encoder, whose delay and padding decoders honour.
    bool TrustedEncoder() const;
};

// The Xing (VBR) or Info (CBR) fields of the first frame of a stream.
struct XingTag {
    static constexpr uint32_t kFrames = 1, kBytes = 2, kToc = 4, kQuality = 8;

    bool info = false;               // "Info": the stream has a constant bit rate
    std::optional<uint32_t> frames;  // frames after the info frame
    std::optional<uint32_t> bytes;   // bytes of the stream, the info frame included
    std::optional<std::array<uint8_t, 100>> toc;
    std::optional<uint32_t> quality;
    std::optional<LameTag> lame;  // read when at least its delay and padding fit the frame

    uint32_t Flags() const;
    // Bytes the fields take in the frame, the LAME tag's 36 included when there is one.
    size_t Size() const;
};

// Where the Xing fields stand in a layer III frame: right after its side information.
int XingTagOffset(const MpegFrameHeader& header);
// Reads the fields of the info frame that starts at `frame` (size bytes of it are there); none
// when it is no layer III frame with "Xing" or "Info" at its place.
std::optional<XingTag> ReadXingTag(const unsigned char* frame, size_t size);
// Writes the fields into the layer III frame at `frame`, the LAME tag's CRC computed over what
// precedes it. False, and the frame unchanged, when they do not fit.
bool WriteXingTag(unsigned char* frame, size_t size, const XingTag& tag);

// The table of contents of a stream totalBytes long whose frames of sound (the info frame not
// among them) start at the given byte offsets from the info frame's header: for each percent
// of the playing time, where it starts, in 256ths of the stream.
std::array<uint8_t, 100> BuildXingToc(const std::vector<int64_t>& frameOffsets, int64_t totalBytes);

// CRC-16 with the reflected polynomial 0x8005, as the LAME tag uses for both of its sums.
uint16_t LameCrc16(uint16_t crc, const unsigned char* data, size_t size);
