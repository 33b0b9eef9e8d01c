#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// Facts of MP3 frames that the writer needs beyond what LAME tells it.

// Makes an MP3 file whose writing broke off (a full disk, a size limit) a whole, playable file:
// it is cut after its last complete frame, and the info frame at its start is given the length
// that is really there. Needs no more room than the file had; every step works in place.
// Returns false, leaving the file as it was, when it does not start with an info frame.
bool SalvageMp3(int fd);

// SalvageMp3 on a file by name, for a recording cut off by a crash or a kill. Throws
// SonvaraError naming the file when it cannot be opened or holds no info frame to repair.
void RepairMp3File(const QString& fileName);

// The length in bytes of the Layer III frame whose header starts at `header`, or 0 when these
// four bytes are no Layer III frame header.
int Mp3FrameLength(const unsigned char* header);

// CRC-16 with the reflected polynomial 0x8005, as the LAME tag uses for both of its sums.
uint16_t LameCrc16(uint16_t crc, const unsigned char* data, size_t size);
