#include "components/Mp3Layout.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kId3v2HeaderBytes = 10;
constexpr int64_t kId3v1Bytes = 128;
constexpr int64_t kApeFooterBytes = 32;

uint32_t LittleEndian32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

ByteReader FileBytes(int fd) {
    return [fd](int64_t offset, unsigned char* out, size_t count) {
        for (size_t done = 0; done < count;) {
            const ssize_t got =
                ::pread(fd, out + done, count - done, static_cast<off_t>(offset) + off_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            done += static_cast<size_t>(got);
        }
        return true;
    };
}

ByteReader MemoryBytes(const unsigned char* data, int64_t size) {
    return [data, size](int64_t offset, unsigned char* out, size_t count) {
        if (offset < 0 || offset + static_cast<int64_t>(count) > size)
            return false;
        std::memcpy(out, data + offset, count);
        return true;
    };
}

std::optional<int64_t> Id3v2TagBytes(const unsigned char* header, size_t size) {
    if (size < kId3v2HeaderBytes || std::memcmp(header, "ID3", 3) != 0 ||
        (header[6] | header[7] | header[8] | header[9]) & 0x80)
        return std::nullopt;
    const int64_t body =
        static_cast<int64_t>(header[6]) << 21 | header[7] << 14 | header[8] << 7 | header[9];
    const bool footer = header[5] & 0x10;
    return static_cast<int64_t>(kId3v2HeaderBytes) * (footer ? 2 : 1) + body;
}

int64_t SoundStart(const ByteReader& read, int64_t size) {
    int64_t at = 0;
    unsigned char header[kId3v2HeaderBytes];
    while (at + static_cast<int64_t>(sizeof header) <= size && read(at, header, sizeof header)) {
        const std::optional<int64_t> tag = Id3v2TagBytes(header, sizeof header);
        if (!tag)
            break;
        at += *tag;
    }
    return std::min(at, size);
}

int64_t SoundEnd(const ByteReader& read, int64_t from, int64_t size) {
    int64_t at = size;
    unsigned char bytes[kApeFooterBytes];
    if (at - from >= kId3v1Bytes && read(at - kId3v1Bytes, bytes, 3) &&
        std::memcmp(bytes, "TAG", 3) == 0)
        at -= kId3v1Bytes;
    if (at - from >= kApeFooterBytes && read(at - kApeFooterBytes, bytes, sizeof bytes) &&
        std::memcmp(bytes, "APETAGEX", 8) == 0) {
        // The size counts the footer; a header in front of the items comes on top.
        const bool hasHeader = bytes[23] & 0x80;
        const int64_t ape = LittleEndian32(bytes + 12) + (hasHeader ? kApeFooterBytes : 0);
        if (ape >= kApeFooterBytes && ape <= at - from)
            at -= ape;
    }
    return at;
}
