#include "components/Mp3Frames.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "components/Mp3Layout.h"
#include "components/MpegAudioFrame.h"
#include "components/SonvaraError.h"

namespace {

uint32_t GetBig(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// The length of the layer III frame whose header this is, or 0.
int LayerThreeFrameBytes(const unsigned char* header) {
    const std::optional<MpegFrameHeader> parsed = ParseMpegHeader(header);
    return parsed && parsed->layer == 3 ? parsed->frameBytes : 0;
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
        const int length = LayerThreeFrameBytes(header);
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

// Where the audio lies between the tags: the info frame after the ID3v2 tags at the head,
// and the APE and ID3v1 tags at the end.
struct Layout {
    off_t size = 0;
    off_t infoAt = 0;
    off_t tailAt = 0;
    std::vector<unsigned char> info;  // the first frame
    std::optional<XingTag> tag;       // its Xing/Info fields
};

Layout ReadLayout(int fd) {
    Layout layout;
    layout.size = lseek(fd, 0, SEEK_END);
    if (layout.size < 4)
        return layout;
    const ByteReader read = FileBytes(fd);
    layout.infoAt = SoundStart(read, layout.size);
    layout.tailAt = SoundEnd(read, layout.infoAt, layout.size);
    unsigned char header[4];
    if (!ReadAt(fd, header, 4, layout.infoAt))
        return layout;
    const int length = LayerThreeFrameBytes(header);
    if (length == 0 || layout.infoAt + length > layout.tailAt)
        return layout;
    layout.info.resize(static_cast<size_t>(length));
    if (ReadAt(fd, layout.info.data(), layout.info.size(), layout.infoAt))
        layout.tag = ReadXingTag(layout.info.data(), layout.info.size());
    return layout;
}

// Writes the real length into the Xing fields and, where there is one, the LAME extension:
// the music length and sum, and the extension's own sum. The frames end where the stream was
// cut, so what the encoder padded is gone; what decoders still drop at the end is their own
// delay, which the padding field then has to state for the length to come out right.
void PatchInfoFrame(std::vector<unsigned char>& frame, XingTag tag, const Frames& frames,
                    off_t infoAt) {
    constexpr int kDecoderDelay = 529;
    const int at = XingTagOffset(*ParseMpegHeader(frame.data()));
    // Fields that the frame announces but has no room for: nothing can be written safely.
    if (GetBig(&frame[static_cast<size_t>(at) + 4], 4) != tag.Flags())
        return;
    const auto streamBytes = static_cast<uint32_t>(frames.end - infoAt);
    if (tag.frames)
        tag.frames = frames.count;
    if (tag.bytes)
        tag.bytes = streamBytes;
    if (tag.lame && tag.quality && at + tag.Size() <= frame.size()) {
        tag.lame->padding = kDecoderDelay;
        tag.lame->musicLength = streamBytes;
        tag.lame->musicCrc = frames.crc;
    } else {
        tag.lame.reset();  // no LAME extension, or one cut short: left as it is
    }
    WriteXingTag(frame.data(), frame.size(), tag);
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

Mp3Length InfoFrameLength(int fd) {
    const Layout layout = ReadLayout(fd);
    if (!layout.tag)
        return Mp3Length::NoInfoFrame;
    return layout.tag->frames.value_or(0) == 0 ? Mp3Length::Unknown : Mp3Length::Stated;
}

Mp3Salvage SalvageMp3(int fd) {
    Layout layout = ReadLayout(fd);
    if (!layout.tag)
        return Mp3Salvage::NoInfoFrame;
    const Frames frames =
        CompleteFrames(fd, layout.infoAt + static_cast<off_t>(layout.info.size()), layout.tailAt);
    const std::optional<uint32_t> stated = layout.tag->frames;
    if (stated && *stated != 0 && *stated == frames.count)
        return Mp3Salvage::Whole;
    if (!CutAfterFrames(fd, layout, frames.end))
        return Mp3Salvage::WriteFailed;
    PatchInfoFrame(layout.info, *layout.tag, frames, layout.infoAt);
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
