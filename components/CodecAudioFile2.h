#pragma once

#include <memory>

#include "components/AudioFile2.h"

class FfmpegAudioReader;
class LameAudioWriter;
class ReadAhead;
struct SplitSeam;

// The audio file component: reads any input FFmpeg decodes, writes MP3 through LAME. One
// instance holds at most one open file, for reading or for writing. A file being read is
// decoded on a worker thread a few blocks ahead of ReadArray; Seek and CloseFile stop it.
class CodecAudioFile2 : public AudioFile2 {
public:
    CodecAudioFile2();
    ~CodecAudioFile2() override;

    void OpenFile(const QString& fileName) override;
    bool IsOpen() const override;
    void CloseFile() override;
    void CloseFileForSplit() override;
    bool SplitPartPending() const override { return closing_ != nullptr; }

    int64_t Samples() const override;
    int64_t Duration() const override;
    int Frequency() const override;
    int Channels() const override;
    int Bitrate() const override;
    int ArraySampleRate() const override;
    int ArrayChannels() const override;

    SampleArray ReadArray(int count) override;
    void Seek(int64_t frame) override;

    void SetMp3Encoder(const AudioFile2LameEnc& encoder) override;
    bool IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels) const override;
    void SetArrayFormat(int sampleRate, int channels) override;
    void CreateFile(const QString& fileName) override;
    void WriteArray(const SampleArray& array) override;

private:
    FfmpegAudioReader& reader() const;
    ReadAhead& ahead() const;
    LameAudioWriter& writer() const;
    void CompleteSplitPart();

    AudioFile2LameEnc encoder_;
    std::unique_ptr<FfmpegAudioReader> reader_;
    // Decodes through reader_ on its worker, so it is declared after it and goes first.
    std::unique_ptr<ReadAhead> ahead_;
    std::unique_ptr<LameAudioWriter> writer_;
    // A part ended for a split until it has its post-roll, and the pre-roll it hands to the
    // next CreateFile.
    std::unique_ptr<LameAudioWriter> closing_;
    std::unique_ptr<SplitSeam> seam_;
};
