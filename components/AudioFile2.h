#pragma once

#include <QString>
#include <cstdint>

#include "components/AudioFile2LameEnc.h"
#include "components/SampleArray.h"

// An audio file opened either for reading (OpenFile: decoded to 16-bit arrays at the file's
// own rate and channels) or for writing (CreateFile: MP3 through the encoder settings).
// Every failure throws SonvaraError naming the file.
class AudioFile2 {
public:
    virtual ~AudioFile2() = default;

    // Reading.
    virtual void OpenFile(const QString& fileName) = 0;
    virtual bool IsOpen() const = 0;
    // Completes a written file (encoder flushed, length header written) or closes a read one.
    virtual void CloseFile() = 0;
    // Ends a written file as a part of a recording that the next CreateFile continues, so that
    // the two played one after the other join with no seam: the file is complete once it has
    // taken the first few milliseconds written to the next part, or at the next CloseFile or
    // CloseFileForSplit. IsOpen is false meanwhile.
    virtual void CloseFileForSplit() { CloseFile(); }
    // A file ended by CloseFileForSplit is still waiting for that sound.
    virtual bool SplitPartPending() const { return false; }

    // Facts of the open file. For a file being written they describe the encoder's output.
    virtual int64_t Samples() const = 0;   // frames
    virtual int64_t Duration() const = 0;  // ms
    virtual int Frequency() const = 0;     // Hz
    virtual int Channels() const = 0;
    virtual int Bitrate() const = 0;  // bit/s
    // Format of the arrays read, or expected by WriteArray.
    virtual int ArraySampleRate() const = 0;
    virtual int ArrayChannels() const = 0;

    // At most count elements (whole frames) from the read position; empty at the end.
    virtual SampleArray ReadArray(int count) = 0;
    // Moves the read position to the given frame, exactly.
    virtual void Seek(int64_t frame) = 0;

    // Writing: SetMp3Encoder, then CreateFile, then SetArrayFormat and WriteArray as needed.
    virtual void SetMp3Encoder(const AudioFile2LameEnc& encoder) = 0;
    virtual bool IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels) const = 0;
    // Arrays that follow have this format; they are resampled and mixed to the encoder's.
    // CreateFile resets it to the encoder's own format.
    virtual void SetArrayFormat(int sampleRate, int channels) = 0;
    // Creates a new file; a name that is taken (by a link too) is refused, so nothing is ever
    // replaced or written through. The output is readable by others while it grows.
    virtual void CreateFile(const QString& fileName) = 0;
    // Encodes and appends at once; the encoded bytes are flushed to the file.
    virtual void WriteArray(const SampleArray& array) = 0;
};
