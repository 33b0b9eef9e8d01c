#include "components/Mp3Frames.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "components/SonvaraError.h"

namespace {

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

bool ReadAt(int fd, unsigned char* data, size_t size, off_t at) {
    return pread(fd, data, size, at) == static_cast<ssize_t>(size);
}

// Where the complete frames end, how many follow the info frame, and the sum LAME keeps of
// their bytes.
struct Frames {
    off_t end = 0;
    uint32_t count = 0;
    uint16_t crc = 0;
};

Frames CompleteFrames(int fd, off_t first, off_t size) {
    Frames frames{first, 0, 0};
    std::vector<unsigned char> frame;
    for (off_t at = first; at + 4 <= size;) {
        unsigned char header[4];
        if (!ReadAt(fd, header, 4, at))
            break;
        const int length = Mp3FrameLength(header);
        if (length == 0 || at + length > size)
            break;
        frame.resize(static_cast<size_t>(length));
        if (!ReadAt(fd, frame.data(), frame.size(), at))
            break;
        frames.crc = LameCrc16(frames.crc, frame.data(), frame.size());
        at += length;
        frames.end = at;
        ++frames.count;
    }
    return frames;
}

// The offset of the "Xing" or "Info" fields in the first frame, or -1.
int InfoOffset(const std::vector<unsigned char>& frame) {
    for (int at = 4; at + 8 <= std::min<int>(static_cast<int>(frame.size()), 48); ++at) {
        if (!std::memcmp(&frame[at], "Xing", 4) || !std::memcmp(&frame[at], "Info", 4))
            return at;
    }
    return -1;
}

// Where the audio lies between the tags: the info frame after the ID3v2 tags at the head,
// and the APE and ID3v1 tags at the end.
struct Layout {
    off_t size = 0;
    off_t infoAt = 0;
    off_t tailAt = 0;
    std::vector<unsigned char> info;  // the first frame
    int fields = -1;                  // where its Xing/Info fields start; -1: none
};

off_t SkipId3v2(int fd, off_t size) {
    off_t at = 0;
    unsigned char header[10];
    while (at + 10 <= size && ReadAt(fd, header, 10, at) && !std::memcmp(header, "ID3", 3)) {
        if ((header[6] | header[7] | header[8] | header[9]) & 0x80)
            break;
        const off_t tagSize =
            static_cast<off_t>(header[6]) << 21 | header[7] << 14 | header[8] << 7 | header[9];
        at += 10 + tagSize + (header[5] & 0x10 ? 10 : 0);
    }
    return std::min(at, size);
}

off_t TailTagsStart(int fd, off_t from, off_t size) {
    off_t at = size;
    unsigned char bytes[32];
    if (at - from >= 128 && ReadAt(fd, bytes, 3, at - 128) && !std::memcmp(bytes, "TAG", 3))
        at -= 128;
    if (at - from >= 32 && ReadAt(fd, bytes, 32, at - 32) && !std::memcmp(bytes, "APETAGEX", 8)) {
        const auto little = [&bytes](int i) {
            return static_cast<off_t>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                      static_cast<uint32_t>(bytes[i + 3]) << 24);
        };
        const off_t apeSize = little(12) + (bytes[23] & 0x80 ? 32 : 0);  // with its header
        if (apeSize >= 32 && apeSize <= at - from)
            at -= apeSize;
    }
    return at;
}

Layout ReadLayout(int fd) {
    Layout layout;
    layout.size = lseek(fd, 0, SEEK_END);
    if (layout.size < 4)
        return layout;
    layout.infoAt = SkipId3v2(fd, layout.size);
    layout.tailAt = TailTagsStart(fd, layout.infoAt, layout.size);
    unsigned char header[4];
    if (!ReadAt(fd, header, 4, layout.infoAt))
        return layout;
    const int length = Mp3FrameLength(header);
    if (length == 0 || layout.infoAt + length > layout.tailAt)
        return layout;
    layout.info.resize(static_cast<size_t>(length));
    if (ReadAt(fd, layout.info.data(), layout.info.size(), layout.infoAt))
        layout.fields = InfoOffset(layout.info);
    return layout;
}

// The frame count the Xing fields hold, when they hold one.
std::optional<uint32_t> StatedFrames(const Layout& layout) {
    const unsigned char* fields = &layout.info[static_cast<size_t>(layout.fields)];
    if (!(GetBig(fields + 4, 4) & 1) || layout.fields + 12 > static_cast<int>(layout.info.size()))
        return std::nullopt;
    return GetBig(fields + 8, 4);
}

// Writes the real length into the Xing fields and, where there is one, the LAME extension:
// the music length and sum, and the extension's own sum. The frames end where the stream was
// cut, so what the encoder padded is gone; what decoders still drop at the end is their own
// delay, which the padding field then has to state for the length to come out right.
void PatchInfoFrame(std::vector<unsigned char>& frame, int info, const Frames& frames,
                    off_t infoAt) {
    constexpr uint32_t kDecoderDelay = 529;
    const auto streamBytes = static_cast<uint32_t>(frames.end - infoAt);
    const uint32_t flags = GetBig(&frame[info + 4], 4);
    int at = info + 8;
    if (at + 8 > static_cast<int>(frame.size()))
        return;  // a frame too small to hold the fields it announces
    if (flags & 1) {
        PutBig(&frame[at], frames.count, 4);
        at += 4;
    }
    if (flags & 2) {
        PutBig(&frame[at], streamBytes, 4);
        at += 4;
    }
    at += (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    if (at + 36 > static_cast<int>(frame.size()) || !(flags & 8))
        return;
    const uint32_t delay = GetBig(&frame[at + 21], 3) >> 12;
    PutBig(&frame[at + 21], delay << 12 | kDecoderDelay, 3);
    PutBig(&frame[at + 28], streamBytes, 4);
    PutBig(&frame[at + 32], frames.crc, 2);
    PutBig(&frame[at + 34], LameCrc16(0, frame.data(), static_cast<size_t>(at + 34)), 2);
}

// Drops the bytes between the last complete frame and the tags at the end, moving the tags
// down.
bool CutAfterFrames(int fd, const Layout& layout, off_t framesEnd) {
    if (framesEnd == layout.tailAt)
        return true;
    std::vector<unsigned char> tail(static_cast<size_t>(layout.size - layout.tailAt));
    if (!tail.empty() &&
        (!ReadAt(fd, tail.data(), tail.size(), layout.tailAt) ||
         pwrite(fd, tail.data(), tail.size(), framesEnd) != static_cast<ssize_t>(tail.size())))
        return false;
    return ftruncate(fd, framesEnd + static_cast<off_t>(tail.size())) == 0;
}

}  // namespace

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

int Mp3FrameLength(const unsigned char* h) {
    static constexpr std::array<int, 16> kMpeg1 = {0,   32,  40,  48,  56,  64,  80,  96,
                                                   112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr std::array<int, 16> kMpeg2 = {0,  8,  16, 24,  32,  40,  48,  56,
                                                   64, 80, 96, 112, 128, 144, 160, 0};
    static constexpr std::array<int, 3> kRates = {44100, 48000, 32000};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1)
        return 0;
    const int version = (h[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || rateIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int kbps = (mpeg1 ? kMpeg1 : kMpeg2)[static_cast<size_t>(bitrateIndex)];
    const int rate = kRates[static_cast<size_t>(rateIndex)] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (kbps == 0)
        return 0;
    return (mpeg1 ? 144000 : 72000) * kbps / rate + ((h[2] >> 1) & 1);
}

Mp3Length InfoFrameLength(int fd) {
    const Layout layout = ReadLayout(fd);
    if (layout.fields < 0)
        return Mp3Length::NoInfoFrame;
    return StatedFrames(layout).value_or(0) == 0 ? Mp3Length::Unknown : Mp3Length::Stated;
}

Mp3Salvage SalvageMp3(int fd) {
    Layout layout = ReadLayout(fd);
    if (layout.fields < 0)
        return Mp3Salvage::NoInfoFrame;
    const Frames frames =
        CompleteFrames(fd, layout.infoAt + static_cast<off_t>(layout.info.size()), layout.tailAt);
    const std::optional<uint32_t> stated = StatedFrames(layout);
    if (stated && *stated != 0 && *stated == frames.count)
        return Mp3Salvage::Whole;
    if (!CutAfterFrames(fd, layout, frames.end))
        return Mp3Salvage::WriteFailed;
    PatchInfoFrame(layout.info, layout.fields, frames, layout.infoAt);
    if (pwrite(fd, layout.info.data(), layout.info.size(), layout.infoAt) !=
            static_cast<ssize_t>(layout.info.size()) ||
        fsync(fd) != 0)
        return Mp3Salvage::WriteFailed;
    return Mp3Salvage::Repaired;
}

Mp3Repair RepairMp3File(const QString& fileName) {
    const auto fail = [&fileName](const QString& reason) {
        throw SonvaraError(QStringLiteral("Cannot repair \"%1\": %2.")
                               .arg(QDir::toNativeSeparators(fileName), reason));
    };
    const int fd = open(QFile::encodeName(fileName).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        fail(QString::fromLocal8Bit(std::strerror(errno)));
    const Mp3Salvage result = SalvageMp3(fd);
    const int error = errno;
    const Layout layout = ReadLayout(fd);
    close(fd);
    if (result == Mp3Salvage::NoInfoFrame)
        fail(QStringLiteral("it is no MP3 file with an info frame at the start of its sound"));
    if (result == Mp3Salvage::WriteFailed)
        fail(QString::fromLocal8Bit(std::strerror(error)));
    return {result == Mp3Salvage::Repaired, layout.infoAt > 0 || layout.tailAt < layout.size};
}
