#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

// Where the sound of an MP3 file lies between its tags: ID3v2 tags at its head, an APE tag and
// an ID3v1 tag at its end. The one reading of them in the program; it reads through a
// callback, so that a descriptor and a mapped file are read alike.

// Reads count bytes at offset into out; false when they are not all there.
using ByteReader = std::function<bool(int64_t offset, unsigned char* out, size_t count)>;

ByteReader FileBytes(int fd);
ByteReader MemoryBytes(const unsigned char* data, int64_t size);

// The length of the ID3v2 tag whose first size bytes these are, its header and footer
// included; none when they are no ID3v2 header (too short, or a size that is not synchsafe).
std::optional<int64_t> Id3v2TagBytes(const unsigned char* header, size_t size);

// Where the sound of a file size bytes long starts: after every ID3v2 tag at its head, and
// never past its end.
int64_t SoundStart(const ByteReader& read, int64_t size);
// Where the tags at its end begin: an ID3v1 tag and, before it, an APE tag. Tags that would
// reach before from are not taken for tags.
int64_t SoundEnd(const ByteReader& read, int64_t from, int64_t size);
