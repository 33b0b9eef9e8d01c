#include "components/CodecAudioFile2.h"

#include "components/FfmpegAudioReader.h"
#include "components/LameAudioWriter.h"
#include "components/ReadAhead.h"
#include "components/SonvaraError.h"

#include <exception>

CodecAudioFile2::CodecAudioFile2() = default;
CodecAudioFile2::~CodecAudioFile2() = default;

void CodecAudioFile2::OpenFile(const QString& fileName) {
    CloseFile();
    reader_ = std::make_unique<FfmpegAudioReader>(fileName);
    FfmpegAudioReader* reader = reader_.get();
    ahead_ = std::make_unique<ReadAhead>(
        [reader](SampleArray& block) { return reader->ReadDecoded(block); }, reader->Channels(),
        reader->Frequency());
}

bool CodecAudioFile2::IsOpen() const {
    return reader_ || writer_;
}

void CodecAudioFile2::CloseFile() {
    ahead_.reset();
    reader_.reset();
    seam_.reset();
    // Released before closing so that a failed close leaves the instance closed, not stuck.
    std::unique_ptr<LameAudioWriter> writer = std::move(writer_);
    std::exception_ptr failure;
    try {
        CompleteSplitPart();
    } catch (...) {
        failure = std::current_exception();
    }
    if (writer) {
        try {
            writer->Close();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void CodecAudioFile2::CloseFileForSplit() {
    // A part with no sound has no end to code as inside a recording.
    if (!writer_ || writer_->FramesEncoded() == 0) {
        CloseFile();
        return;
    }
    CompleteSplitPart();  // one still waiting has what there is
    std::unique_ptr<LameAudioWriter> writer = std::move(writer_);
    seam_ = std::make_unique<SplitSeam>(writer->EndSoundForSplit());
    closing_ = std::move(writer);
}

void CodecAudioFile2::CompleteSplitPart() {
    if (std::unique_ptr<LameAudioWriter> closing = std::move(closing_))
        closing->Close();
}

int64_t CodecAudioFile2::Samples() const {
    if (writer_)
        return writer_->FramesEncoded();
    return reader_ ? reader_->Samples() : 0;
}

int64_t CodecAudioFile2::Duration() const {
    if (writer_)
        return writer_->FramesEncoded() * 1000 / encoder_.SampleRate();
    return reader_ ? reader_->DurationMs() : 0;
}

int CodecAudioFile2::Frequency() const {
    if (reader_)
        return reader_->Frequency();
    return writer_ ? encoder_.SampleRate() : 0;
}

int CodecAudioFile2::Channels() const {
    if (reader_)
        return reader_->Channels();
    return writer_ ? encoder_.Channels() : 0;
}

int CodecAudioFile2::Bitrate() const {
    if (reader_)
        return reader_->Bitrate();
    return writer_ ? encoder_.Bitrate() * 1000 : 0;
}

int CodecAudioFile2::ArraySampleRate() const {
    if (reader_)
        return reader_->Frequency();
    return writer_ ? writer_->ArraySampleRate() : encoder_.SampleRate();
}

int CodecAudioFile2::ArrayChannels() const {
    if (reader_)
        return reader_->Channels();
    return writer_ ? writer_->ArrayChannels() : encoder_.Channels();
}

SampleArray CodecAudioFile2::ReadArray(int count) {
    return ahead().Read(count);
}

void CodecAudioFile2::Seek(int64_t frame) {
    // Given back, the frames decoded ahead let the reader seek from where the caller is.
    reader().Unread(ahead().Stop());
    reader_->Seek(frame);
}

void CodecAudioFile2::SetMp3Encoder(const AudioFile2LameEnc& encoder) {
    encoder_ = encoder;
}

bool CodecAudioFile2::IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels) const {
    return ::IsMp3FormatSupported(sampleRate, bitrateKbps, channels);
}

void CodecAudioFile2::SetArrayFormat(int sampleRate, int channels) {
    writer().SetArrayFormat(sampleRate, channels);
}

void CodecAudioFile2::CreateFile(const QString& fileName) {
    const std::unique_ptr<SplitSeam> seam = std::move(seam_);
    // A part ended for a split goes on waiting for its post-roll from this file's sound.
    std::unique_ptr<LameAudioWriter> closing = std::move(closing_);
    CloseFile();
    closing_ = std::move(closing);
    writer_ = std::make_unique<LameAudioWriter>(fileName, encoder_, LameAudioWriter::Creation::New,
                                                seam ? *seam : SplitSeam{});
}

void CodecAudioFile2::WriteArray(const SampleArray& array) {
    writer().Write(array);
    if (closing_ &&
        closing_->WritePostRoll(array, writer_->ArraySampleRate(), writer_->ArrayChannels()))
        CompleteSplitPart();
}

FfmpegAudioReader& CodecAudioFile2::reader() const {
    if (!reader_)
        throw SonvaraError(QStringLiteral("No audio file is open for reading."));
    return *reader_;
}

ReadAhead& CodecAudioFile2::ahead() const {
    reader();  // throws when nothing is open for reading
    return *ahead_;
}

LameAudioWriter& CodecAudioFile2::writer() const {
    if (!writer_)
        throw SonvaraError(QStringLiteral("No MP3 file is open for writing."));
    return *writer_;
}
