#include "components/LameAudioWriter.h"

#include <lame/lame.h>

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include "components/LameSetup.h"
#include "components/Mp3Frames.h"
#include "components/MpegAudioFrame.h"
#include "components/SonvaraError.h"

namespace {

// A split hands the next part this many MP3 frames of sound from before the cut, and the part
// before encodes this many from after it, so that the encoders on both sides code the joint as
// they code sound inside a part. With LAME's own delay (576) and padding (below 1728) both stay
// within the LAME tag's 12 bits.
constexpr int kPreRollMp3Frames = 2;
constexpr int kPostRollMp3Frames = 1;
constexpr int kLameTagLimit = 4095;

QString SettingsText(const AudioFile2LameEnc& encoder) {
    return QStringLiteral("%1 Hz, %2 kbit/s, %3 channel(s)")
        .arg(encoder.SampleRate())
        .arg(encoder.Bitrate())
        .arg(encoder.Channels());
}

QString AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// Bytes of a Layer III frame up to the end of its side information, where the info fields
// start.
int SideInfoEnd(bool mpeg1, int channels) {
    return 4 + LayerThreeSideInfoBytes(!mpeg1, channels);
}

// The Xing fields with their table of contents, then the LAME extension.
constexpr int kInfoFieldsSize = 120 + 36;

// LAME drops its info frame when the frame at a constant bit rate is too small to hold it.
// This repeats LAME's own test, so that the writer can reserve a frame in its place before
// the first byte of sound.
bool LameWritesInfoFrame(lame_global_flags* lame, int rate, int channels) {
    if (lame_get_VBR(lame) != vbr_off)
        return true;
    const bool mpeg1 = lame_get_version(lame) == 1;
    const int frameSize = (mpeg1 ? 144000 : 72000) * lame_get_brate(lame) / rate;
    return frameSize >= SideInfoEnd(mpeg1, channels) + kInfoFieldsSize;
}

// An empty frame at the bit rate that LAME gives its own info frame in VBR mode, which is
// always large enough.
std::vector<unsigned char> EmptyInfoFrame(int rate, int channels) {
    const bool mpeg1 = rate >= 32000, mpeg25 = rate < 16000;
    const int kbps = mpeg1 ? 128 : mpeg25 ? 32 : 64;
    const auto header = MakeMpegHeader(
        rate, kbps, channels == 1 ? MpegFrameHeader::Mono : MpegFrameHeader::JointStereo);
    std::vector<unsigned char> frame(ParseMpegHeader(header->data())->frameBytes, 0);
    std::copy(header->begin(), header->end(), frame.begin());
    frame[3] |= 1 << 2;  // original
    return frame;
}

int EncoderThreads(const AudioFile2LameEnc& encoder) {
    return encoder.Threads() > 0 ? encoder.Threads()
                                 : static_cast<int>(std::thread::hardware_concurrency());
}

}  // namespace

LameAudioWriter::LameAudioWriter(const QString& fileName, const AudioFile2LameEnc& encoder,
                                 Creation creation, const SplitSeam& after,
                                 const ParallelMp3Encoder::Tuning& tuning)
    : fileName_(fileName),
      rate_(encoder.SampleRate()),
      channels_(encoder.Channels()),
      arrayRate_(encoder.SampleRate()),
      arrayChannels_(encoder.Channels()) {
    if (!IsMp3EncoderSupported(encoder)) {
        Fail(QStringLiteral("the MP3 format %1 is not supported").arg(SettingsText(encoder)));
    }

    lame_ = StartLame(encoder, true).release();
    if (!lame_)
        Fail(QStringLiteral("the MP3 encoder rejected the format %1").arg(SettingsText(encoder)));

    // A link planted at the name would have the sound written into whatever it points to.
    const int fd = ::open(QFile::encodeName(fileName_).constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC |
                              (creation == Creation::New ? O_EXCL : O_TRUNC),
                          0666);
    file_ = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!file_) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        Release();
        Fail(QString::fromLocal8Bit(std::strerror(error)));
    }
    mp3Buffer_.resize(Mp3BufferSize(kLameChunkFrames));
    if (const int threads = EncoderThreads(encoder); threads > 1) {
        try {
            parallel_ = std::make_unique<ParallelMp3Encoder>(encoder, threads, tuning);
        } catch (const SonvaraError& e) {
            Release();
            Fail(e.message());
        }
    }
    // Seams are for split recordings, which always use one stream.
    if (!parallel_ && after.rate == rate_ && after.channels == channels_) {
        preRoll_ = static_cast<int>(
            std::min<int64_t>(static_cast<int64_t>(after.preRoll.size()) / channels_,
                              kLameTagLimit - lame_get_encoder_delay(lame_)));
    }
    try {
        // The stitched stream has no info frame of LAME's: the writer keeps one itself.
        if (parallel_ || !LameWritesInfoFrame(lame_, rate_, channels_)) {
            // Written now with no length yet, so that an unfinished file still plays and a
            // repair finds where to write its length.
            const std::vector<unsigned char> frame = InfoFrame(false);
            WriteBytes(frame.data(), frame.size());
            ownInfoFrameSize_ = static_cast<int>(frame.size());
        }
        if (preRoll_ > 0) {
            EncodeFrames(after.preRoll.data() + after.preRoll.size() -
                             static_cast<size_t>(preRoll_) * channels_,
                         preRoll_, channels_);
            framesEncoded_ = 0;
        }
    } catch (...) {
        Release();
        throw;
    }
}

LameAudioWriter::~LameAudioWriter() {
    try {
        Close();
    } catch (...) {
        // Nothing can be reported from here; whatever reached the disk stays playable.
    }
    Release();
}

void LameAudioWriter::SetArrayFormat(int sampleRate, int channels) {
    if (sampleRate < 1000 || sampleRate > 768000 || (channels != 1 && channels != 2)) {
        Fail(QStringLiteral("arrays of %1 Hz with %2 channel(s) cannot be encoded")
                 .arg(sampleRate)
                 .arg(channels));
    }
    if (sampleRate == arrayRate_ && channels == arrayChannels_)
        return;
    if (file_)
        DrainResampler();
    arrayRate_ = sampleRate;
    arrayChannels_ = channels;
}

void LameAudioWriter::Write(const SampleArray& array) {
    if (!file_)
        Fail(QStringLiteral("the file is already closed"));
    if (array.size() % arrayChannels_ != 0) {
        Fail(QStringLiteral("an array of %1 samples is not made of whole %2-channel frames")
                 .arg(array.size())
                 .arg(arrayChannels_));
    }
    // Stereo to mono is mixed before resampling and mono to stereo is duplicated after it
    // (by handing LAME the same channel twice), so the resampler does the least work.
    const int stageChannels = std::min(arrayChannels_, channels_);
    const bool resample = arrayRate_ != rate_;
    const int64_t frames = static_cast<int64_t>(array.size()) / arrayChannels_;
    for (int64_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min<int64_t>(kLameChunkFrames, frames - done));
        const int16_t* pcm = array.data() + done * arrayChannels_;
        if (arrayChannels_ == 2 && channels_ == 1)
            pcm = MixToMono(pcm, count);
        if (resample) {
            ResampleAndEncode(pcm, count, stageChannels);
        } else {
            EncodeFrames(pcm, count, stageChannels);
        }
        done += count;
    }
    FlushFile();
}

void LameAudioWriter::Close() {
    if (!file_)
        return;
    // The failure was reported by the write that met it; what is left is keeping what got out.
    if (ioFailed_) {
        Salvage();
        Release();
        return;
    }
    try {
        DrainResampler();
        if (parallel_) {
            WriteStitched([this] { parallel_->Finish(stitched_); });
        } else {
            const int size =
                lame_encode_flush(lame_, mp3Buffer_.data(), static_cast<int>(mp3Buffer_.size()));
            if (size < 0)
                Fail(QStringLiteral("the MP3 encoder failed (error %1)").arg(size));
            WriteBytes(mp3Buffer_.data(), size);
        }

        // The first frame was left empty for the info frame; now the length is known.
        if (ownInfoFrameSize_ > 0) {
            WriteInfoFrame();
        } else {
            const size_t tagSize =
                lame_get_lametag_frame(lame_, mp3Buffer_.data(), mp3Buffer_.size());
            if (tagSize > 0 && tagSize <= mp3Buffer_.size()) {
                AdjustLameTag(mp3Buffer_.data(), tagSize);
                if (std::fseek(file_, 0, SEEK_SET) != 0)
                    Fail(QString::fromLocal8Bit(std::strerror(errno)));
                WriteBytes(mp3Buffer_.data(), tagSize);
            }
        }
        FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0)
            Fail(QString::fromLocal8Bit(std::strerror(errno)));
    } catch (...) {
        Salvage();
        Release();
        throw;
    }
    Release();
}

SplitSeam LameAudioWriter::EndSoundForSplit() {
    if (!file_ || ioFailed_)
        return {};
    try {
        DrainResampler();
    } catch (...) {
        Salvage();
        Release();
        throw;
    }
    const int mp3Frame = lame_get_framesize(lame_);
    postRollWanted_ = kPostRollMp3Frames * mp3Frame;
    const auto pre = std::min<ptrdiff_t>(static_cast<ptrdiff_t>(kPreRollMp3Frames) * mp3Frame,
                                         static_cast<ptrdiff_t>(history_.size()) / channels_);
    return {rate_, channels_, SampleArray(history_.end() - pre * channels_, history_.end())};
}

bool LameAudioWriter::WritePostRoll(const SampleArray& array, int sampleRate, int channels) {
    // Sound at another rate would need the resampler, which would carry it into the file's own.
    if (!file_ || sampleRate != rate_)
        postRollWanted_ = 0;
    const auto frames =
        static_cast<int>(std::min<int64_t>(postRollWanted_, std::ssize(array) / channels));
    if (frames > 0) {
        const int16_t* pcm = array.data();
        if (channels == 2 && channels_ == 1) {
            pcm = MixToMono(pcm, frames);
            channels = 1;
        }
        EncodeFrames(pcm, frames, channels);
        FlushFile();
        framesEncoded_ -= frames;
        postRoll_ += frames;
        postRollWanted_ -= frames;
    }
    return postRollWanted_ == 0;
}

// After a failed write the file ends somewhere inside a frame, and its info frame still says
// nothing or the length LAME meant to write: it is cut to its complete frames and told their
// length, in place, so a full disk cannot stop it.
void LameAudioWriter::Salvage() {
    if (!file_)
        return;
    const int fd = dup(fileno(file_));
    std::fclose(file_);  // what it still flushes is cut off below if incomplete
    file_ = nullptr;
    if (fd < 0)
        return;
    if (ownInfoFrameSize_ > 0) {
        const std::vector<unsigned char> frame = InfoFrame();
        if (pwrite(fd, frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size())) {
            close(fd);
            return;
        }
    }
    SalvageMp3(fd);
    close(fd);
}

const int16_t* LameAudioWriter::MixToMono(const int16_t* pcm, int frames) {
    mixBuffer_.resize(frames);
    for (int i = 0; i < frames; ++i)
        mixBuffer_[i] = static_cast<int16_t>((pcm[2 * i] + pcm[2 * i + 1]) / 2);
    return mixBuffer_.data();
}

// pcm holds frames at the encoder's rate with either the encoder's channel count or one
// channel, which LAME then uses for both sides.
void LameAudioWriter::EncodeFrames(const int16_t* pcm, int frames, int channels) {
    if (frames <= 0)
        return;
    if (parallel_) {
        EncodeInParallel(pcm, frames, channels);
        return;
    }
    // LAME only reads the samples; its interface predates const.
    short* samples = const_cast<short*>(pcm);
    const int size = channels == 2
                         ? lame_encode_buffer_interleaved(lame_, samples, frames, mp3Buffer_.data(),
                                                          static_cast<int>(mp3Buffer_.size()))
                         : lame_encode_buffer(lame_, samples, samples, frames, mp3Buffer_.data(),
                                              static_cast<int>(mp3Buffer_.size()));
    if (size < 0)
        Fail(QStringLiteral("the MP3 encoder failed (error %1)").arg(size));
    if (bytesWritten_ == 0 && size > 0)
        MarkInfoFrame(size);
    WriteBytes(mp3Buffer_.data(), size);
    framesEncoded_ += frames;
    KeepHistory(pcm, frames, channels);
}

void LameAudioWriter::KeepHistory(const int16_t* pcm, int frames, int channels) {
    const int keep = std::min(frames, HistoryFrames());
    pcm += static_cast<size_t>(frames - keep) * channels;
    for (int i = 0; i < keep; ++i) {
        for (int c = 0; c < channels_; ++c)
            history_.push_back(pcm[i * channels + std::min(c, channels - 1)]);
    }
    // Trimmed now and then rather than at every call.
    const auto limit = static_cast<ptrdiff_t>(HistoryFrames()) * channels_;
    if (static_cast<ptrdiff_t>(history_.size()) > 2 * limit)
        history_.erase(history_.begin(), history_.end() - limit);
}

int LameAudioWriter::HistoryFrames() const {
    return (kPreRollMp3Frames + kPostRollMp3Frames) * lame_get_framesize(lame_);
}

// LAME's tag knows nothing of the pre-roll and post-roll of a split; decoders drop them too.
void LameAudioWriter::AdjustLameTag(unsigned char* frame, size_t size) const {
    if (preRoll_ == 0 && postRoll_ == 0)
        return;
    std::optional<XingTag> tag = ReadXingTag(frame, size);
    if (!tag || !tag->lame)
        return;
    tag->lame->delay += preRoll_;
    tag->lame->padding += postRoll_;
    WriteXingTag(frame, size, *tag);
}

void LameAudioWriter::EncodeInParallel(const int16_t* pcm, int frames, int channels) {
    WriteStitched([&] { parallel_->Encode(pcm, frames, channels, stitched_); });
    framesEncoded_ += frames;
}

// What the step stitched is written also when it then fails, so that the file has no gap.
void LameAudioWriter::WriteStitched(const std::function<void()>& step) {
    stitched_.clear();
    QString failure;
    try {
        step();
    } catch (const SonvaraError& e) {
        failure = e.message();
    }
    WriteBytes(stitched_.data(), stitched_.size());
    if (!failure.isEmpty())
        Fail(failure);
}

void LameAudioWriter::ResampleAndEncode(const int16_t* pcm, int frames, int channels) {
    if (!resampler_) {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        int result = swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_S16, rate_, &layout,
                                         AV_SAMPLE_FMT_S16, arrayRate_, 0, nullptr);
        if (result >= 0)
            result = swr_init(resampler_);
        if (result < 0) {
            swr_free(&resampler_);
            Fail(QStringLiteral("cannot convert %1 Hz to %2 Hz: %3")
                     .arg(arrayRate_)
                     .arg(rate_)
                     .arg(AvErrorText(result)));
        }
        resamplerChannels_ = channels;
        runInFrames_ = 0;
        runOutFrames_ = 0;
    }
    const int capacity = swr_get_out_samples(resampler_, frames);
    resampleBuffer_.resize(static_cast<size_t>(std::max(capacity, 1)) * channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(resampleBuffer_.data());
    const uint8_t* in = reinterpret_cast<const uint8_t*>(pcm);
    const int produced = swr_convert(resampler_, &out, capacity, &in, frames);
    if (produced < 0)
        Fail(QStringLiteral("resampling failed: %1").arg(AvErrorText(produced)));
    runInFrames_ += frames;
    EncodeResampled(produced, channels);
}

void LameAudioWriter::EncodeResampled(int frames, int channels) {
    for (int done = 0; done < frames;) {
        const int count = std::min(kLameChunkFrames, frames - done);
        EncodeFrames(resampleBuffer_.data() + static_cast<size_t>(done) * channels, count,
                     channels);
        done += count;
    }
    runOutFrames_ += frames;
}

// Ends the current run of resampled arrays: the resampler's tail is flushed and then cut or
// padded with silence so that the run comes to its exact length at the encoder's rate.
void LameAudioWriter::DrainResampler() {
    if (!resampler_)
        return;
    const int channels = resamplerChannels_;
    const int64_t target =
        (2 * runInFrames_ * rate_ + arrayRate_) / (2 * static_cast<int64_t>(arrayRate_));
    const int capacity = kLameChunkFrames;
    resampleBuffer_.resize(static_cast<size_t>(capacity) * channels);
    for (;;) {
        uint8_t* out = reinterpret_cast<uint8_t*>(resampleBuffer_.data());
        const int produced = swr_convert(resampler_, &out, capacity, nullptr, 0);
        if (produced < 0) {
            swr_free(&resampler_);
            Fail(QStringLiteral("resampling failed: %1").arg(AvErrorText(produced)));
        }
        if (produced == 0)
            break;
        const int64_t wanted = std::clamp<int64_t>(target - runOutFrames_, 0, produced);
        EncodeResampled(static_cast<int>(wanted), channels);
    }
    swr_free(&resampler_);
    if (runOutFrames_ < target) {
        std::fill(resampleBuffer_.begin(), resampleBuffer_.end(), 0);
        while (runOutFrames_ < target) {
            EncodeResampled(static_cast<int>(std::min<int64_t>(capacity, target - runOutFrames_)),
                            channels);
        }
    }
    runInFrames_ = 0;
    runOutFrames_ = 0;
}

// Fills the frame reserved at the start with the fields that LAME would have written: the
// length, a table of contents and, for gapless playback, the encoder delay and padding.
void LameAudioWriter::WriteInfoFrame() {
    const std::vector<unsigned char> frame = InfoFrame();
    if (std::fseek(file_, 0, SEEK_SET) != 0)
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
    WriteBytes(frame.data(), frame.size());
}

// LAME leaves the frame it keeps for its info frame silent until Close. A file cut off before
// that (a crash, a kill, a power loss) would tell no length and give a repair nowhere to write
// one, so the frame gets the fields at once, with the length left at zero ("not known").
void LameAudioWriter::MarkInfoFrame(int size) {
    const std::optional<MpegFrameHeader> header = ParseMpegHeader(mp3Buffer_.data());
    const int length = header && header->layer == 3 ? header->frameBytes : 0;
    const int fieldsEnd = SideInfoEnd(rate_ >= 32000, channels_) + kInfoFieldsSize;
    if (length < fieldsEnd || length > size)
        return;
    if (std::any_of(mp3Buffer_.begin() + 4, mp3Buffer_.begin() + length,
                    [](unsigned char byte) { return byte != 0; })) {
        return;  // not the empty frame kept for the info frame
    }
    std::vector<unsigned char> frame(mp3Buffer_.begin(), mp3Buffer_.begin() + length);
    FillInfoFields(frame, false);
    std::copy(frame.begin(), frame.end(), mp3Buffer_.begin());
}

std::vector<unsigned char> LameAudioWriter::InfoFrame(bool lengthKnown) const {
    std::vector<unsigned char> frame = EmptyInfoFrame(rate_, channels_);
    FillInfoFields(frame, lengthKnown);
    return frame;
}

// Without lengthKnown the frame count, the byte counts and the padding stay zero.
void LameAudioWriter::FillInfoFields(std::vector<unsigned char>& frame, bool lengthKnown) const {
    const auto fileSize = lengthKnown ? static_cast<uint32_t>(bytesWritten_) : 0;
    const bool vbr = lame_get_VBR(lame_) != vbr_off;
    XingTag tag;
    tag.info = !vbr;
    const int64_t frames = parallel_ ? parallel_->FrameCount() : lame_get_frameNum(lame_);
    tag.frames = lengthKnown ? static_cast<uint32_t>(frames) : 0;
    tag.bytes = fileSize;
    // Without a stitched stream the bit rate is constant: a straight line.
    tag.toc = parallel_ ? parallel_->SeekTable(ownInfoFrameSize_) : BuildXingToc({}, 0);
    tag.quality = static_cast<uint32_t>(100 - 10 * lame_get_VBR_q(lame_) - lame_get_quality(lame_));

    LameTag& lame = tag.lame.emplace();
    lame.encoder.fill(' ');
    const char* lameVersion = get_lame_very_short_version();
    std::memcpy(lame.encoder.data(), lameVersion, std::min<size_t>(9, std::strlen(lameVersion)));
    // Tag revision 0; constant bit rate, or LAME's default VBR method when it is not LAME that
    // writes the final tag of a VBR file.
    lame.revisionAndMethod = parallel_ && vbr ? 0x04 : 0x01;
    lame.lowpass =
        static_cast<uint8_t>(std::clamp((lame_get_lowpassfreq(lame_) + 50) / 100, 0, 255));
    lame.flagsAndAth = static_cast<uint8_t>(lame_get_ATHtype(lame_) & 0x0F);
    lame.bitrate = static_cast<uint8_t>(std::min(lame_get_brate(lame_), 255));
    const int delay = parallel_ ? parallel_->EncoderDelay() : lame_get_encoder_delay(lame_);
    lame.delay = delay + preRoll_;
    const int padding = parallel_ ? parallel_->EncoderPadding() : lame_get_encoder_padding(lame_);
    lame.padding = lengthKnown ? padding + postRoll_ : 0;
    const int sourceRate = rate_ == 44100 ? 1 : rate_ == 48000 ? 2 : 0;
    lame.misc = static_cast<uint8_t>(sourceRate << 6 | (channels_ == 1 ? 0 : 3) << 2);
    lame.musicLength = fileSize;
    lame.musicCrc = musicCrc_;
    WriteXingTag(frame.data(), frame.size(), tag);
}

void LameAudioWriter::WriteBytes(const unsigned char* data, size_t size) {
    if (size == 0)
        return;
    if (ownInfoFrameSize_ > 0)
        musicCrc_ = LameCrc16(musicCrc_, data, size);
    bytesWritten_ += static_cast<int64_t>(size);
    if (std::fwrite(data, 1, size, file_) != size) {
        ioFailed_ = true;
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
}

void LameAudioWriter::FlushFile() {
    if (std::fflush(file_) != 0) {
        ioFailed_ = true;
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
}

void LameAudioWriter::Release() {
    if (resampler_)
        swr_free(&resampler_);
    if (lame_) {
        lame_close(lame_);
        lame_ = nullptr;
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void LameAudioWriter::Fail(const QString& reason) const {
    throw SonvaraError(QStringLiteral("Cannot write \"%1\": %2.")
                           .arg(QDir::toNativeSeparators(fileName_), reason));
}
