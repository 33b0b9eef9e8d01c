#pragma once

#include <QString>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "components/AudioFile2LameEnc.h"
#include "components/ParallelMp3Encoder.h"
#include "components/SampleArray.h"

struct lame_global_struct;
struct SwrContext;

// The sound before the cut of a split recording, in the encoder's format of the part before,
// which the next part encodes ahead of its own as pre-roll so that the two join with no seam.
struct SplitSeam {
    int rate = 0;
    int channels = 0;
    SampleArray preRoll;
};

// Encodes 16-bit arrays into one MP3 file through LAME, converting arrays of another rate or
// channel count to the encoder's format on the way. The file is readable while it grows, and
// once closed starts with a Xing/LAME info frame so that players know its exact length. With
// more than one thread in the settings the sound is encoded on several cores at once, and
// reaches the file in segments rather than array by array.
class LameAudioWriter {
public:
    // New: the file must not exist yet, and nothing at its name (a link included) is touched.
    // Replace: an existing file is emptied, but a link at the name is not followed.
    enum class Creation { New, Replace };

    // Creates the file. Throws SonvaraError when the settings are not a legal MP3 format or the
    // file cannot be created as asked. A seam from EndSoundForSplit of the part before, when of
    // this encoder's format, is encoded ahead of the file's sound and dropped on decoding as
    // encoder delay. tuning: how the sound is cut when several threads encode it.
    LameAudioWriter(const QString& fileName, const AudioFile2LameEnc& encoder,
                    Creation creation = Creation::Replace, const SplitSeam& after = {},
                    const ParallelMp3Encoder::Tuning& tuning = {});
    // Closes quietly if Close was not called: a half-written file is still playable.
    ~LameAudioWriter();

    LameAudioWriter(const LameAudioWriter&) = delete;
    LameAudioWriter& operator=(const LameAudioWriter&) = delete;

    // Format of the arrays that follow; initially the encoder's. Each run of arrays in one
    // format becomes exactly round(frames * encoderRate / arrayRate) frames, so a change of
    // format neither adds nor drops sound at the joint.
    void SetArrayFormat(int sampleRate, int channels);
    int ArraySampleRate() const { return arrayRate_; }
    int ArrayChannels() const { return arrayChannels_; }

    // Encodes the array and appends the result, flushed to the file before returning.
    void Write(const SampleArray& array);
    // Flushes the encoder and writes the info frame. Throws on I/O errors; further calls do
    // nothing. After an I/O error, here or in Write, the file is cut to its complete frames
    // and its info frame tells their length, so it stays a whole, playable file.
    void Close();

    // Ends the file's sound here, for a part of a split recording, and returns the sound
    // before this point for the next part's pre-roll. The file then wants a few frames of the
    // sound after the cut, through WritePostRoll, before Close: encoded so that the end of its
    // sound is coded as inside a recording, and dropped on decoding as padding.
    SplitSeam EndSoundForSplit();
    // Encodes as post-roll the first frames of the array, of the given format, as many as the
    // file still wants. True once it wants no more. Throws as Write does.
    bool WritePostRoll(const SampleArray& array, int sampleRate, int channels);

    // Frames of sound in the file so far, at the encoder's rate.
    int64_t FramesEncoded() const { return framesEncoded_; }

private:
    void EncodeFrames(const int16_t* pcm, int frames, int channels);
    void EncodeInParallel(const int16_t* pcm, int frames, int channels);
    void WriteStitched(const std::function<void()>& step);
    const int16_t* MixToMono(const int16_t* pcm, int frames);
    void KeepHistory(const int16_t* pcm, int frames, int channels);
    int HistoryFrames() const;
    void AdjustLameTag(unsigned char* frame, size_t size) const;
    void ResampleAndEncode(const int16_t* pcm, int frames, int channels);
    void EncodeResampled(int frames, int channels);
    void DrainResampler();
    void WriteInfoFrame();
    void MarkInfoFrame(int size);
    std::vector<unsigned char> InfoFrame(bool lengthKnown = true) const;
    void FillInfoFields(std::vector<unsigned char>& frame, bool lengthKnown) const;
    void Salvage();
    void WriteBytes(const unsigned char* data, size_t size);
    void FlushFile();
    void Release();
    [[noreturn]] void Fail(const QString& reason) const;

    QString fileName_;
    int rate_;
    int channels_;
    int arrayRate_;
    int arrayChannels_;
    lame_global_struct* lame_ = nullptr;
    FILE* file_ = nullptr;

    // The resampler of the current run of arrays, created at its first array. It carries the
    // channel count it was made for: the smaller of the array's and the encoder's.
    SwrContext* resampler_ = nullptr;
    int resamplerChannels_ = 0;
    int64_t runInFrames_ = 0;
    int64_t runOutFrames_ = 0;

    // Set when LAME leaves the info frame out (at low constant bit rates it does not fit in
    // a frame of the stream's own bit rate) and the writer writes one itself.
    int ownInfoFrameSize_ = 0;
    uint16_t musicCrc_ = 0;
    int64_t bytesWritten_ = 0;
    bool ioFailed_ = false;

    int64_t framesEncoded_ = 0;
    // Encodes instead of lame_, which then only answers for the info frame.
    std::unique_ptr<ParallelMp3Encoder> parallel_;
    std::vector<unsigned char> stitched_;
    // The last frames handed to the encoder, in its format, for the seam of a split.
    std::vector<int16_t> history_;
    // Frames encoded before the first and after the last that the file holds; decoders drop
    // them through the LAME tag's delay and padding.
    int preRoll_ = 0;
    int postRoll_ = 0;
    int postRollWanted_ = 0;
    std::vector<unsigned char> mp3Buffer_;
    std::vector<int16_t> mixBuffer_;
    std::vector<int16_t> resampleBuffer_;
};
