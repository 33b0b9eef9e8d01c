#include "components/FfmpegAudioReader.h"

#include <sys/mman.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

#include "components/Mp3Layout.h"
#include "components/MpegAudioFrame.h"
#include "components/SonvaraError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

const QString kNotAudio = QStringLiteral("the file is truncated or not an audio file");

// Damaged packets in a row after which the rest of the file is given up as unreadable.
constexpr int kMaxConsecutiveErrors = 64;

QString AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void QuietFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        // FFmpeg reports every damaged frame on stderr. The user learns of real failures through
        // exceptions; SONVARA_FFMPEG_LOG brings the messages back when debugging a file.
        av_log_set_level(qEnvironmentVariableIsSet("SONVARA_FFMPEG_LOG") ? AV_LOG_INFO
                                                                         : AV_LOG_QUIET);
    });
}

// Whether the start of the file, as much as a demuxer reads to know it, can be read: when it
// can, an EIO from the demuxer speaks of the content, not of the disk.
bool HeadReadable(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 wanted = std::min<qint64>(file.size(), qint64{8} << 20);
    qint64 got = 0;
    while (got < wanted) {
        const QByteArray chunk = file.read(std::min<qint64>(wanted - got, 1 << 20));
        if (chunk.isEmpty())
            return false;
        got += chunk.size();
    }
    return true;
}

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

bool IsPcm(AVCodecID id) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    return descriptor && std::strncmp(descriptor->name, "pcm_", 4) == 0 &&
           av_get_exact_bits_per_sample(id) > 0;
}

// ---- MPEG audio files --------------------------------------------------------------------
//
// FFmpeg's MPEG audio demuxer knows the exact length only from a Xing/Info header; without one
// it guesses from the bit rate. We count the frames instead, and we replicate the demuxer's own
// reading of the Xing/Info and LAME headers so that the count matches what the decoder delivers.

uint32_t BigEndian32(const uchar* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

struct Mp3Facts {
    int64_t samples = 0;
    int bitrate = 0;  // bit/s
};

// What a Xing/Info or VBRI header at the first frame promises.
struct InfoFrame {
    bool present = false;  // the demuxer skips this frame: it carries no sound
    bool cbr = false;      // "Info": the encoder wrote a constant bit rate
    int64_t frames = 0;    // audio frames, the info frame excluded; 0 when unknown
    int64_t bytes = 0;
    bool lameTrim = false;  // encoder delay and padding are known and removed on decoding
    int startPad = 0;
    int endPad = 0;
};

InfoFrame ReadInfoFrame(const uchar* data, int64_t size, int64_t start,
                        const MpegFrameHeader& first) {
    InfoFrame info;
    if (first.layer != 3)
        return info;
    const int64_t frameEnd = std::min<int64_t>(start + first.frameBytes, size);
    auto fits = [&](int64_t pos, int64_t bytes) { return pos + bytes <= frameEnd; };

    if (const std::optional<XingTag> xing =
            ReadXingTag(data + start, static_cast<size_t>(frameEnd - start))) {
        info.cbr = xing->info;
        info.frames = xing->frames.value_or(0);
        info.bytes = xing->bytes.value_or(0);
        // A file much longer than its header says was joined from several files by plain
        // concatenation; the demuxer then ignores the frame count, and so do we.
        const int64_t remaining = size - (start + 4);
        if (info.bytes > 0 && remaining > info.bytes && remaining - info.bytes > info.bytes / 16)
            info.frames = 0;
        if (xing->lame && xing->lame->TrustedEncoder()) {
            info.lameTrim = true;
            info.startPad = xing->lame->delay;
            info.endPad = xing->lame->padding;
        }
    }
    const int64_t vbri = start + 4 + 32;
    if (fits(vbri, 18) && std::memcmp(data + vbri, "VBRI", 4) == 0 &&
        ((data[vbri + 4] << 8) | data[vbri + 5]) == 1) {
        info.bytes = BigEndian32(data + vbri + 10);
        info.frames = BigEndian32(data + vbri + 14);
    }
    info.present = info.frames > 0 || info.bytes > 0;
    return info;
}

// Length of the frame at pos when it continues the stream ref (0: any stream), or 0.
int FrameAt(const uchar* data, int64_t size, int64_t pos, uint32_t ref, MpegFrameHeader* header) {
    if (pos + 4 > size)
        return 0;
    const uint32_t h = MpegHeaderBits(data + pos);
    if (ref && (h & kMpegSameStreamMask) != ref)
        return 0;
    const std::optional<MpegFrameHeader> parsed = ParseMpegHeader(h);
    if (!parsed)
        return 0;
    *header = *parsed;
    return header->frameBytes;
}

// A header found by searching counts only when the next frame follows it, or the file or its
// sound ends right after it: random bytes often look like one header.
bool Confirmed(const uchar* data, int64_t size, int64_t soundEnd, int64_t pos, int length) {
    const int64_t next = pos + length;
    if (next == size || next == soundEnd)
        return true;
    MpegFrameHeader header;
    return FrameAt(data, size, next, MpegHeaderBits(data + pos) & kMpegSameStreamMask, &header) > 0;
}

// The pages of a mapped file that a scan has read count as the process's memory until they
// are let go. Letting go of those well behind the scan keeps a long file's scan as small as a
// short one's; were one read again, it would come back from the file.
void ReleaseBehind(const uchar* data, int64_t pos, int64_t* released) {
    constexpr int64_t kKept = 1 << 20;
    if (pos - *released < 2 * kKept)
        return;
    const auto page = uintptr_t(sysconf(_SC_PAGESIZE));
    const auto from = uintptr_t(data + *released) & ~(page - 1);
    const auto to = uintptr_t(data + pos - kKept) & ~(page - 1);
    madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    *released = int64_t(to - uintptr_t(data));
}

// Exact length of an MPEG audio file as FFmpeg decodes it; samples < 0 when no frames are
// found (free-format streams, whose frames do not state their length).
Mp3Facts ScanMp3(const QString& fileName) {
    Mp3Facts facts{-1, 0};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return facts;
    const int64_t size = file.size();
    const uchar* data = size > 0 ? file.map(0, size) : nullptr;
    if (!data)
        return facts;

    const ByteReader read = MemoryBytes(data, size);
    const int64_t start = SoundStart(read, size);
    const int64_t soundEnd = SoundEnd(read, start, size);
    MpegFrameHeader first;
    InfoFrame info;
    int64_t audioStart = start;
    if (FrameAt(data, size, start, 0, &first)) {
        info = ReadInfoFrame(data, size, start, first);
        if (info.present)
            audioStart = start + first.frameBytes;
    }

    // The frame count of the header is trusted unless the file is shorter than the header
    // says (a cut file): then the frames are counted.
    const bool truncated = info.bytes > 0 && size - start < info.bytes;
    int64_t frames = 0, audioBytes = 0;
    int samplesPerFrame = 0, sampleRate = 0, bitrateKbps = -1;
    if (info.present && info.frames > 0 && !truncated) {
        frames = info.frames;
        samplesPerFrame = first.samplesPerFrame;
        sampleRate = first.sampleRate;
        audioBytes = info.bytes > 0 ? info.bytes - first.frameBytes : 0;
        MpegFrameHeader audio;
        if (info.cbr && FrameAt(data, size, audioStart, 0, &audio))
            bitrateKbps = audio.bitrateKbps;
    } else {
        uint32_t ref = 0;
        int64_t pos = audioStart;
        int64_t released = 0;
        bool inSync = false;
        bool strayBytes = false;
        while (pos + 4 <= size) {
            ReleaseBehind(data, pos, &released);
            MpegFrameHeader header;
            const int length = FrameAt(data, size, pos, ref, &header);
            if (length > 0 && (inSync || Confirmed(data, size, soundEnd, pos, length))) {
                if (!ref) {
                    ref = MpegHeaderBits(data + pos) & kMpegSameStreamMask;
                    samplesPerFrame = header.samplesPerFrame;
                    sampleRate = header.sampleRate;
                    bitrateKbps = header.bitrateKbps;
                } else if (bitrateKbps != header.bitrateKbps) {
                    bitrateKbps = 0;  // variable
                }
                // FFmpeg's parser passes stray bytes (a tag between joined files, damage) on
                // together with the frame after them, and the decoder drops that packet whole.
                if (!strayBytes) {
                    ++frames;
                    audioBytes += std::min<int64_t>(length, size - pos);
                }
                strayBytes = false;
                // A last frame cut short still decodes to a whole frame.
                if (pos + length >= size)
                    break;
                pos += length;
                inSync = true;
            } else {
                strayBytes = ref != 0;
                inSync = false;
                ++pos;
            }
        }
    }
    file.unmap(const_cast<uchar*>(data));
    if (frames == 0)
        return facts;

    const int64_t total = frames * samplesPerFrame;
    int64_t end = total;
    int64_t begin = 0;
    if (info.lameTrim) {
        // The decoder's own delay is 529 samples on top of the encoder's.
        begin = info.startPad + 528 + 1;
        if (info.frames > 0)
            end = std::min(total, info.frames * samplesPerFrame - info.endPad + 528 + 1);
    }
    facts.samples = std::max<int64_t>(0, end - begin);
    if (bitrateKbps > 0)
        facts.bitrate = bitrateKbps * 1000;
    else if (audioBytes > 0)
        facts.bitrate = int(audioBytes * 8 * sampleRate / total);
    return facts;
}

}  // namespace

struct FfmpegAudioReader::Impl {
    QString fileName;

    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<SwrContext, SwrFreer> swr;
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    int64_t dataStart = 0;     // byte offset of the first sample in PCM files
    bool demuxerDone = false;  // the decoder has been told that no packets follow

    // What swr is set up for; it is set up again when a frame differs.
    AVChannelLayout swrLayout{};
    int swrFormat = -1;
    int swrRate = 0;

    int64_t samples = 0;
    int frequency = 0;
    int channels = 0;
    int bitrate = 0;
    int64_t firstPts = AV_NOPTS_VALUE;  // time stamp of frame 0, the origin of positions
    int64_t seekPreroll = 0;            // frames decoded ahead of a seek target
    int frameQuantum = 1;               // positions of decoded frames are multiples of this

    SampleArray pending;  // converted frames not yet handed out
    size_t pendingOffset = 0;
    int64_t position = 0;  // frame index of pending[pendingOffset]

    // The error of a failed start over, when there was one: the decoder is gone, and reads
    // are refused with it until a Seek manages to open the file again.
    QString lost;

    ~Impl() { av_channel_layout_uninit(&swrLayout); }

    [[noreturn]] void Fail(const QString& reason) const {
        throw SonvaraError(QStringLiteral("Cannot read \"%1\": %2").arg(fileName, reason));
    }

    void CheckFile() const;
    void OpenStream();
    void ComputeFacts();
    bool DecodeFrame();
    bool DecodeIntoPending();
    void Convert();
    void Skip(int64_t frames);
    bool SeekDemuxer(int64_t target);
    void Reopen();

    int64_t PendingFrames() const {
        return static_cast<int64_t>(pending.size() - pendingOffset) / channels;
    }
};

FfmpegAudioReader::FfmpegAudioReader(const QString& fileName) : d_(std::make_unique<Impl>()) {
    QuietFfmpeg();
    d_->fileName = fileName;
    d_->CheckFile();
    d_->OpenStream();
    d_->ComputeFacts();
}

FfmpegAudioReader::~FfmpegAudioReader() = default;

int64_t FfmpegAudioReader::Samples() const {
    return d_->samples;
}
int64_t FfmpegAudioReader::DurationMs() const {
    return d_->samples * 1000 / d_->frequency;
}
int FfmpegAudioReader::Frequency() const {
    return d_->frequency;
}
int FfmpegAudioReader::Channels() const {
    return d_->channels;
}
int FfmpegAudioReader::Bitrate() const {
    return d_->bitrate;
}

// FFmpeg tells these cases apart poorly, so they are named before it sees the file.
void FfmpegAudioReader::Impl::CheckFile() const {
    const QFileInfo info(fileName);
    if (info.isDir())
        Fail(QStringLiteral("it is a folder, not a file"));
    if (!info.exists())
        Fail(QStringLiteral("the file does not exist"));
    // A pipe or a device would be read for ever, or block until a writer comes.
    if (!info.isFile())
        Fail(QStringLiteral("it is not a file"));
    if (!info.isReadable())
        Fail(QStringLiteral("access is denied"));
    if (info.size() == 0)
        Fail(QStringLiteral("the file is empty"));
}

const QStringList& FfmpegAudioReader::Extensions() {
    static const QStringList extensions{
        QStringLiteral("mp3"),  QStringLiteral("wav"),  QStringLiteral("wma"),
        QStringLiteral("ogg"),  QStringLiteral("oga"),  QStringLiteral("opus"),
        QStringLiteral("flac"), QStringLiteral("m4a"),  QStringLiteral("aac"),
        QStringLiteral("aif"),  QStringLiteral("aiff"), QStringLiteral("aifc"),
        QStringLiteral("au"),   QStringLiteral("mka"),  QStringLiteral("webm"),
        QStringLiteral("wv"),   QStringLiteral("ape"),  QStringLiteral("mp2"),
        QStringLiteral("ac3"),  QStringLiteral("tta"),  QStringLiteral("spx"),
        QStringLiteral("raw")};
    return extensions;
}

// Opens container and decoder and decodes the first frame, which proves the file is audio and
// fixes the time stamp of frame 0.
void FfmpegAudioReader::Impl::OpenStream() {
    const AVInputFormat* input = nullptr;
    AVDictionary* options = nullptr;
    const bool raw = fileName.endsWith(QStringLiteral(".raw"), Qt::CaseInsensitive);
    if (raw) {
        input = av_find_input_format("s16le");
        av_dict_set(&options, "sample_rate", "44100", 0);
        av_dict_set(&options, "ch_layout", "stereo", 0);
    }
    // The MP3 table of contents only approximates positions; without it the demuxer seeks by an
    // index of the frames it has read, which is exact.
    av_dict_set(&options, "usetoc", "0", 0);
    AVFormatContext* context = nullptr;
    const int opened =
        avformat_open_input(&context, QFile::encodeName(fileName).constData(), input, &options);
    av_dict_free(&options);
    if (opened < 0) {
        // Existence and access were checked before; what remains are I/O trouble and content
        // that no demuxer accepts (some fail with odd codes such as EINVAL or EOF).
        // Some demuxers (FLAC's) also say EIO when the file ends inside its header.
        if (opened == AVERROR(ENOMEM) || (opened == AVERROR(EIO) && !HeadReadable(fileName)))
            Fail(AvErrorText(opened));
        Fail(kNotAudio);
    }
    format.reset(context);
    dataStart = avio_tell(context->pb);

    if (avformat_find_stream_info(context, nullptr) < 0)
        Fail(kNotAudio);
    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex == AVERROR_DECODER_NOT_FOUND)
        Fail(QStringLiteral("its sound is coded in a format that cannot be decoded"));
    if (streamIndex < 0)
        Fail(kNotAudio);
    for (unsigned i = 0; i < context->nb_streams; ++i)
        context->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVStream* stream = context->streams[streamIndex];
    timeBase = stream->time_base;

    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        Fail(AvErrorText(AVERROR(ENOMEM)));
    // Lets the decoder move time stamps past the samples it trims (encoder delay).
    codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        Fail(QStringLiteral("its sound is coded in a format that cannot be decoded"));

    demuxerDone = false;
    pending.clear();
    pendingOffset = 0;
    position = 0;
    if (!DecodeFrame()) {
        // A PCM file with a header and no sound is a valid empty file; a headerless one
        // without a whole frame is not audio at all.
        if (raw)
            Fail(QStringLiteral("it holds less than one frame of sound"));
        if (!IsPcm(stream->codecpar->codec_id) || stream->codecpar->sample_rate <= 0 ||
            stream->codecpar->ch_layout.nb_channels <= 0)
            Fail(kNotAudio);
        frequency = stream->codecpar->sample_rate;
        channels = std::min(stream->codecpar->ch_layout.nb_channels, 2);
        return;
    }
    if (frequency == 0) {
        frequency = frame->sample_rate;
        channels = std::min(frame->ch_layout.nb_channels, 2);
        if (frequency <= 0 || channels <= 0)
            Fail(kNotAudio);
    }
    firstPts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
    Convert();
}

void FfmpegAudioReader::Impl::ComputeFacts() {
    const AVStream* stream = format->streams[streamIndex];
    const AVCodecParameters* par = stream->codecpar;
    const int64_t fileSize = avio_size(format->pb);
    const AVRational perSample{1, frequency};
    int64_t announced = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        announced = av_rescale_q(stream->duration, timeBase, perSample);
        // The Ogg demuxer counts Opus's pre-skip into the duration; the decoder drops it.
        if (par->codec_id == AV_CODEC_ID_OPUS)
            announced -= av_rescale(par->initial_padding, frequency, 48000);
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        announced = av_rescale_q(format->duration, AV_TIME_BASE_Q, perSample);
    }

    const bool mpegAudio = par->codec_id == AV_CODEC_ID_MP3 || par->codec_id == AV_CODEC_ID_MP2 ||
                           par->codec_id == AV_CODEC_ID_MP1;
    Mp3Facts mpeg{-1, 0};
    if (mpegAudio && std::strcmp(format->iformat->name, "mp3") == 0)
        mpeg = ScanMp3(fileName);
    if (mpeg.samples >= 0) {
        samples = mpeg.samples;
        bitrate = mpeg.bitrate;
    } else if (IsPcm(par->codec_id) && par->block_align > 0 && fileSize > 0) {
        // A header that promises more than the file holds belongs to a cut or unfinished file.
        const int64_t held = std::max<int64_t>(0, fileSize - dataStart) / par->block_align;
        const bool guessed = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
        samples = announced >= 0 && !guessed ? std::min(announced, held) : held;
    } else {
        samples = std::max<int64_t>(0, announced);
    }

    if (bitrate <= 0)
        bitrate = par->bit_rate > 0 ? int(par->bit_rate) : int(format->bit_rate);
    if (bitrate <= 0 && samples > 0 && fileSize > 0)
        bitrate = int(fileSize * 8 * frequency / samples);

    // ASF stamps packets in whole milliseconds, too coarse for a sample position. WMA frames
    // come in blocks of a fixed length from the start, so the nearest block edge is exact.
    if (par->codec_id == AV_CODEC_ID_WMAV1 || par->codec_id == AV_CODEC_ID_WMAV2)
        frameQuantum = frequency <= 16000 ? 512 : frequency <= 22050 ? 1024 : 2048;

    const bool intraOnly = IsPcm(par->codec_id) || par->codec_id == AV_CODEC_ID_FLAC;
    // Lossy decoders need history: MP3 its bit reservoir (up to 511 bytes, a few frames back)
    // and overlap, Vorbis the previous block, Opus its pre-roll. 20000 frames cover them all.
    seekPreroll = intraOnly ? 0
                            : std::max<int64_t>(
                                  20000, av_rescale(par->seek_preroll, frequency,
                                                    par->sample_rate > 0 ? par->sample_rate : 1));
}

// Next decoded frame into `frame`; false at the end of the stream.
bool FfmpegAudioReader::Impl::DecodeFrame() {
    int errors = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received >= 0) {
            if (frame->nb_samples > 0)
                return true;
            av_frame_unref(frame.get());
            continue;
        }
        if (received == AVERROR_EOF)
            return false;
        if (received == AVERROR(ENOMEM))
            Fail(AvErrorText(received));
        if (received != AVERROR(EAGAIN) && ++errors > kMaxConsecutiveErrors)
            return false;
        if (demuxerDone) {
            if (received == AVERROR(EAGAIN))
                return false;
            continue;
        }

        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            AVIOContext* io = format->pb;
            if (read == AVERROR(ENOMEM))
                Fail(AvErrorText(read));
            if (io && io->error < 0 && io->error != AVERROR_EOF)
                Fail(AvErrorText(io->error));
            // Damaged data is skipped: demuxers resynchronise on the next call.
            if (read != AVERROR_EOF && !(io && avio_feof(io)) && ++errors <= kMaxConsecutiveErrors)
                continue;
            avcodec_send_packet(codec.get(), nullptr);
            demuxerDone = true;
            continue;
        }
        if (packet->stream_index == streamIndex) {
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            if (sent == AVERROR(ENOMEM))
                Fail(AvErrorText(sent));
            if (sent < 0 && sent != AVERROR(EAGAIN))
                ++errors;  // a damaged packet is dropped
            else
                errors = 0;
        }
        av_packet_unref(packet.get());
    }
}

// Appends `frame`, converted to interleaved 16-bit at the output rate and channel count, to
// pending.
void FfmpegAudioReader::Impl::Convert() {
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&inLayout, &frame->ch_layout);

    if (!swr || swrFormat != frame->format || swrRate != frame->sample_rate ||
        av_channel_layout_compare(&swrLayout, &inLayout) != 0) {
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, channels);
        SwrContext* context = nullptr;
        const int made =
            swr_alloc_set_opts2(&context, &outLayout, AV_SAMPLE_FMT_S16, frequency, &inLayout,
                                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        swr.reset(context);
        if (made < 0 || swr_init(context) < 0) {
            av_channel_layout_uninit(&inLayout);
            Fail(QStringLiteral("its sound is coded in a format that cannot be decoded"));
        }
        av_channel_layout_uninit(&swrLayout);
        av_channel_layout_copy(&swrLayout, &inLayout);
        swrFormat = frame->format;
        swrRate = frame->sample_rate;
    }
    av_channel_layout_uninit(&inLayout);

    if (pendingOffset == pending.size()) {
        pending.clear();
        pendingOffset = 0;
    }
    const int room = swr_get_out_samples(swr.get(), frame->nb_samples);
    const size_t before = pending.size();
    pending.resize(before + size_t(std::max(room, 0)) * channels);
    auto* out = reinterpret_cast<uint8_t*>(pending.data() + before);
    const int converted =
        swr_convert(swr.get(), &out, room, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    pending.resize(before + size_t(std::max(converted, 0)) * channels);
    av_frame_unref(frame.get());
}

bool FfmpegAudioReader::Impl::DecodeIntoPending() {
    while (DecodeFrame()) {
        Convert();
        if (pendingOffset < pending.size())
            return true;
    }
    return false;
}

void FfmpegAudioReader::Impl::Skip(int64_t frames) {
    while (frames > 0) {
        if (PendingFrames() == 0 && !DecodeIntoPending())
            return;
        const int64_t take = std::min(frames, PendingFrames());
        pendingOffset += size_t(take) * channels;
        position += take;
        frames -= take;
    }
}

SampleArray FfmpegAudioReader::Read(int maxElements) {
    Impl& d = *d_;
    if (!d.lost.isEmpty())
        throw SonvaraError(d.lost);
    const size_t wanted = size_t(std::max(1, maxElements / d.channels)) * d.channels;
    SampleArray out;
    out.reserve(std::min<size_t>(wanted, size_t(1) << 20));
    while (out.size() < wanted) {
        if (d.pendingOffset == d.pending.size() && !d.DecodeIntoPending())
            break;
        const size_t take = std::min(d.pending.size() - d.pendingOffset, wanted - out.size());
        out.insert(out.end(), d.pending.begin() + d.pendingOffset,
                   d.pending.begin() + d.pendingOffset + take);
        d.pendingOffset += take;
        d.position += int64_t(take) / d.channels;
    }
    return out;
}

bool FfmpegAudioReader::ReadDecoded(SampleArray& block) {
    Impl& d = *d_;
    if (!d.lost.isEmpty())
        throw SonvaraError(d.lost);
    if (d.pendingOffset == d.pending.size() && !d.DecodeIntoPending())
        return false;
    block.insert(block.end(), d.pending.begin() + d.pendingOffset, d.pending.end());
    d.position += d.PendingFrames();
    d.pendingOffset = d.pending.size();
    return true;
}

void FfmpegAudioReader::Unread(SampleArray frames) {
    Impl& d = *d_;
    d.position -= int64_t(frames.size()) / d.channels;
    frames.insert(frames.end(), d.pending.begin() + d.pendingOffset, d.pending.end());
    d.pending = std::move(frames);
    d.pendingOffset = 0;
}

void FfmpegAudioReader::Seek(int64_t frame) {
    Impl& d = *d_;
    const int64_t target = std::clamp<int64_t>(frame, 0, d.samples);
    // A reader that lost its file has nothing to decode forward with: it can only start over.
    const bool decoding = d.lost.isEmpty();
    // Decoding forward a short way is cheaper than seeking, and a player's Seek(0) right
    // after opening costs nothing.
    if (decoding && target >= d.position &&
        target - d.position <= std::max<int64_t>(d.frequency, d.seekPreroll)) {
        d.Skip(target - d.position);
        return;
    }
    // Near the start, seeking would land past the first frame without priming the decoder;
    // starting over gives the very state of a straight decode.
    if (decoding && target > d.seekPreroll && d.SeekDemuxer(target))
        return;
    d.Reopen();
    d.Skip(target);
}

// Seeks the demuxer to or before target (less the pre-roll), then decodes up to target, placing
// frames by their time stamps. False when the file does not allow it.
bool FfmpegAudioReader::Impl::SeekDemuxer(int64_t target) {
    if (firstPts == AV_NOPTS_VALUE)
        return false;
    const AVRational perSample{1, frequency};
    int64_t preroll = seekPreroll;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int64_t start = std::max<int64_t>(0, target - preroll);
        const int64_t stamp = firstPts + av_rescale_q(start, perSample, timeBase);
        if (avformat_seek_file(format.get(), streamIndex, INT64_MIN, stamp, stamp, 0) < 0)
            return false;
        avcodec_flush_buffers(codec.get());
        demuxerDone = false;
        pending.clear();
        pendingOffset = 0;
        if (!DecodeFrame())
            return false;
        const int64_t pts =
            frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            return false;
        int64_t landed = av_rescale_q_rnd(pts - firstPts, timeBase, perSample, AV_ROUND_NEAR_INF);
        if (frameQuantum > 1) {
            // Nearest multiple, rounding down also below zero.
            int64_t blocks = (landed + frameQuantum / 2) / frameQuantum;
            if ((landed + frameQuantum / 2) % frameQuantum < 0)
                --blocks;
            landed = blocks * frameQuantum;
        }
        if (landed > start) {
            // Asked for a point at or before start, the demuxer went past it: its time stamps
            // there cannot be trusted (Ogg's last page is one such place). Ask from further back.
            preroll = preroll * 2 + (landed - start) + frequency;
            av_frame_unref(frame.get());
            continue;
        }
        Convert();
        position = landed;
        Skip(target - landed);
        return true;
    }
    return false;
}

// Starts over from the beginning of the file, for files that cannot seek by time stamp.
void FfmpegAudioReader::Impl::Reopen() {
    codec.reset();
    format.reset();
    swr.reset();
    av_channel_layout_uninit(&swrLayout);
    swrFormat = -1;
    // The file may have been deleted or replaced since it was opened; until it is open again
    // there is no decoder, and a failure below leaves it so.
    lost = QStringLiteral("Cannot read \"%1\": it could not be opened again").arg(fileName);
    try {
        CheckFile();
        OpenStream();
    } catch (const SonvaraError& error) {
        lost = error.message();
        throw;
    }
    lost.clear();
}
