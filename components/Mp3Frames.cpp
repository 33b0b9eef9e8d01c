#include "components/Mp3Frames.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
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

// Writes the real length into the Xing fields and, where there is one, the LAME extension:
// the music length and sum, no padding to drop at the end (the sound stops with its last
// frame), and the extension's own sum.
void PatchInfoFrame(std::vector<unsigned char>& frame, int info, const Frames& frames) {
    const uint32_t flags = GetBig(&frame[info + 4], 4);
    int at = info + 8;
    if (flags & 1) {
        PutBig(&frame[at], frames.count, 4);
        at += 4;
    }
    if (flags & 2) {
        PutBig(&frame[at], static_cast<uint32_t>(frames.end), 4);
        at += 4;
    }
    at += (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    if (at + 36 > static_cast<int>(frame.size()) || !(flags & 8))
        return;
    const uint32_t delay = GetBig(&frame[at + 21], 3) >> 12;
    PutBig(&frame[at + 21], delay << 12, 3);
    PutBig(&frame[at + 28], static_cast<uint32_t>(frames.end), 4);
    PutBig(&frame[at + 32], frames.crc, 2);
    PutBig(&frame[at + 34], LameCrc16(0, frame.data(), static_cast<size_t>(at + 34)), 2);
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

bool SalvageMp3(int fd) {
    const off_t size = lseek(fd, 0, SEEK_END);
    unsigned char header[4];
    if (size < 4 || !ReadAt(fd, header, 4, 0))
        return false;
    const int firstLength = Mp3FrameLength(header);
    if (firstLength == 0 || firstLength > size)
        return false;
    std::vector<unsigned char> first(static_cast<size_t>(firstLength));
    if (!ReadAt(fd, first.data(), first.size(), 0))
        return false;
    const int info = InfoOffset(first);
    if (info < 0)
        return false;
    const Frames frames = CompleteFrames(fd, firstLength, size);
    if (ftruncate(fd, frames.end) != 0)
        return false;
    PatchInfoFrame(first, info, frames);
    return pwrite(fd, first.data(), first.size(), 0) == static_cast<ssize_t>(first.size()) &&
           fsync(fd) == 0;
}

void RepairMp3File(const QString& fileName) {
    const auto fail = [&fileName](const QString& reason) {
        throw SonvaraError(QStringLiteral("Cannot repair \"%1\": %2.")
                               .arg(QDir::toNativeSeparators(fileName), reason));
    };
    const int fd = open(QFile::encodeName(fileName).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        fail(QString::fromLocal8Bit(std::strerror(errno)));
    const bool repaired = SalvageMp3(fd);
    close(fd);
    if (!repaired)
        fail(QStringLiteral("it is no MP3 file that starts with an info frame"));
}
