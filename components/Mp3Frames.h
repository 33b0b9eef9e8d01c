#pragma once

#include <QString>

// Facts of MP3 frames that the writer needs beyond what LAME tells it, and the repair of MP3
// files whose writing broke off. An MP3 file here may carry ID3v2 tags in front and APE and
// ID3v1 tags at its end; the info frame is the first frame after the ID3v2 tags.

// What the info frame says of the file's length.
enum class Mp3Length {
    NoInfoFrame,  // no Xing/Info frame first, or no MP3 frame at all
    Unknown,      // a frame count of 0: the writer had not finished the file
    Stated,
};
Mp3Length InfoFrameLength(int fd);

enum class Mp3Salvage {
    NoInfoFrame,  // left as it was: there is no info frame to give the length
    Whole,        // left as it was: the info frame's frame count matches the frames
    Repaired,
    WriteFailed,  // errno tells why
};

// Makes an MP3 file whose writing broke off (a full disk, a crash, a kill) a whole, playable
// file: the bytes after its last complete frame go (tags at its end stay), and the info frame
// is given the length that is really there, so that its header announces exactly what it
// decodes to. Needs no more room than the file had; every step works in place.
Mp3Salvage SalvageMp3(int fd);

struct Mp3Repair {
    bool repaired = false;  // false: the file was whole and is left byte for byte
    bool tagged = false;    // it carries an ID3v2, APE or ID3v1 tag
};

// SalvageMp3 on a file by name. Throws SonvaraError naming the file when it cannot be opened,
// holds no info frame to repair or cannot be written.
Mp3Repair RepairMp3File(const QString& fileName);
