#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "components/SampleArray.h"

// Decodes one audio file (MP3, WAV, WMA, Ogg, FLAC, AAC, AIFF and others FFmpeg knows, or
// headerless ".raw" taken as 16-bit 44100 Hz stereo) to interleaved 16-bit arrays at the file's own
// rate, mono or stereo. Samples is exact for all but WMA; Seek lands on the exact frame. Failures
// throw SonvaraError.
class FfmpegAudioReader {
public:
    // The extensions (lower case, no dot) of the kinds of file it reads, for choosing files:
    // it tells a file's kind by its content, except that ".raw" is taken as headerless.
    static const QStringList& Extensions();

    explicit FfmpegAudioReader(const QString& fileName);
    ~FfmpegAudioReader();
    FfmpegAudioReader(const FfmpegAudioReader&) = delete;
    FfmpegAudioReader& operator=(const FfmpegAudioReader&) = delete;

    // Length in frames: the number of frames a full Read pass delivers. A damaged file may
    // deliver fewer or more; Read still ends with an empty array.
    int64_t Samples() const;
    int64_t DurationMs() const;  // Samples * 1000 / Frequency
    int Frequency() const;       // the file's own rate, also the rate of the arrays
    int Channels() const;        // 1 or 2; files with more channels are mixed down to stereo
    int Bitrate() const;         // bit/s, nominal or average

    // Whole frames from the read position, at most maxElements elements (but at least one
    // frame); an empty array at the end.
    SampleArray Read(int maxElements);
    // Appends the frames of the next decoded packet (or packets) to block; false at the end,
    // with nothing appended. Reading this way and reading with Read give the same frames, and a
    // failure loses none of those appended before it, so a reader ahead of its caller can hand
    // them out first.
    bool ReadDecoded(SampleArray& block);
    // Puts frames read but not used back in front of the read position: the next Read starts
    // with them, and a Seek counts from before them.
    void Unread(SampleArray frames);
    // The next Read starts exactly at this frame, clamped to [0, Samples]. A Seek may open the
    // file again; when that fails (the file was deleted or replaced), every Read throws the
    // same error until a later Seek succeeds.
    void Seek(int64_t frame);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
