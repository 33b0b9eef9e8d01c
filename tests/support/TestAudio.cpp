#include "support/TestAudio.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <string>

#include "components/FfmpegAudioReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace testaudio {

namespace {

int16_t ToSample(double value) {
    return static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

[[noreturn]] void Fail(const QString& path, const std::string& what, int code = 0) {
    std::string message = "test audio: " + path.toStdString() + ": " + what;
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        message += std::string(" (") + text + ")";
    }
    throw std::runtime_error(message);
}

void Check(int code, const QString& path, const char* what) {
    if (code < 0)
        Fail(path, what, code);
}

struct Codec {
    const char* muxer;
    const char* encoder;
};

Codec CodecOf(Format format) {
    switch (format) {
        case Format::Wav:
            return {"wav", "pcm_s16le"};
        case Format::WavU8:
            return {"wav", "pcm_u8"};
        case Format::WavS24:
            return {"wav", "pcm_s24le"};
        case Format::WavS32:
            return {"wav", "pcm_s32le"};
        case Format::WavFloat:
            return {"wav", "pcm_f32le"};
        case Format::Flac:
            return {"flac", "flac"};
        case Format::OggVorbis:
            return {"ogg", "libvorbis"};
        case Format::OggOpus:
            return {"ogg", "libopus"};
        case Format::Wma:
            return {"asf", "wmav2"};
        case Format::Raw:
            return {nullptr, nullptr};
        case Format::Mp3:
        case Format::Mp3NoXing:
            return {"mp3", "libmp3lame"};
    }
    return {nullptr, nullptr};
}

// The encoder's own sample format, preferring 16-bit so that nothing is lost on the way in.
AVSampleFormat InputFormatFor(const AVCodec* encoder) {
    const AVSampleFormat* formats = encoder->sample_fmts;
    if (!formats)
        return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P)
            return *f;
    }
    return formats[0];
}

void WriteRaw(const QString& path, const SampleArray& samples) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Fail(path, "cannot create");
    // The test machines are little-endian, as the format is.
    const auto bytes = static_cast<qint64>(samples.size() * sizeof(int16_t));
    if (file.write(reinterpret_cast<const char*>(samples.data()), bytes) != bytes)
        Fail(path, "cannot write");
}

// One encoder feeding one muxer; the contexts are freed whatever happens.
struct Encoding {
    AVFormatContext* output = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVStream* stream = nullptr;
    QString path;

    ~Encoding() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        swr_free(&swr);
        avcodec_free_context(&codec);
        if (output) {
            if (output->pb)
                avio_closep(&output->pb);
            avformat_free_context(output);
        }
    }

    // Sends one frame (or nullptr to flush) and writes every packet the encoder has ready.
    void Encode(AVFrame* input) {
        Check(avcodec_send_frame(codec, input), path, "encoding");
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            Check(got, path, "encoding");
            packet->stream_index = stream->index;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            Check(av_interleaved_write_frame(output, packet), path, "writing");
        }
    }
};

}  // namespace

SampleArray Tone(int rate, int channels, int64_t frames, double hz, double amplitude) {
    SampleArray out(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const int16_t value = ToSample(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
        for (int c = 0; c < channels; ++c)
            out[size_t(i * channels + c)] = value;
    }
    return out;
}

SampleArray StereoTone(int rate, int64_t frames, double leftHz, double rightHz, double amplitude) {
    SampleArray out(size_t(frames * 2));
    for (int64_t i = 0; i < frames; ++i) {
        const double t = 2 * std::numbers::pi * double(i) / rate;
        out[size_t(2 * i)] = ToSample(amplitude * std::sin(leftHz * t));
        out[size_t(2 * i + 1)] = ToSample(amplitude * std::sin(rightHz * t));
    }
    return out;
}

SampleArray Sweep(int rate, int channels, int64_t frames, double fromHz, double toHz,
                  double amplitude) {
    SampleArray out(size_t(frames * channels));
    const double seconds = double(frames) / rate;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        // Phase is the integral of the linearly rising frequency.
        const double phase =
            2 * std::numbers::pi * (fromHz * t + (toHz - fromHz) * t * t / (2 * seconds));
        const int16_t value = ToSample(amplitude * std::sin(phase));
        for (int c = 0; c < channels; ++c)
            out[size_t(i * channels + c)] = value;
    }
    return out;
}

SampleArray Silence(int channels, int64_t frames) {
    return SampleArray(size_t(frames * channels));
}

SampleArray Concat(const SampleArray& a, const SampleArray& b) {
    SampleArray out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

int64_t FrameCount(const SampleArray& samples, int channels) {
    return static_cast<int64_t>(samples.size()) / channels;
}

SampleArray ChannelOf(const SampleArray& samples, int channels, int channel) {
    SampleArray out;
    out.reserve(samples.size() / channels);
    for (size_t i = size_t(channel); i < samples.size(); i += size_t(channels))
        out.push_back(samples[i]);
    return out;
}

SampleArray Slice(const SampleArray& samples, int channels, int64_t first, int64_t count) {
    const int64_t frames = FrameCount(samples, channels);
    first = std::clamp<int64_t>(first, 0, frames);
    count = std::clamp<int64_t>(count, 0, frames - first);
    return SampleArray(samples.begin() + first * channels,
                       samples.begin() + (first + count) * channels);
}

QString Extension(Format format) {
    switch (format) {
        case Format::Wav:
        case Format::WavU8:
        case Format::WavS24:
        case Format::WavS32:
        case Format::WavFloat:
            return ".wav";
        case Format::Flac:
            return ".flac";
        case Format::OggVorbis:
            return ".ogg";
        case Format::OggOpus:
            return ".opus";
        case Format::Wma:
            return ".wma";
        case Format::Raw:
            return ".raw";
        case Format::Mp3:
        case Format::Mp3NoXing:
            return ".mp3";
    }
    return {};
}

const char* FormatName(Format format) {
    switch (format) {
        case Format::Wav:
            return "wav";
        case Format::WavU8:
            return "wav-u8";
        case Format::WavS24:
            return "wav-s24";
        case Format::WavS32:
            return "wav-s32";
        case Format::WavFloat:
            return "wav-float";
        case Format::Flac:
            return "flac";
        case Format::OggVorbis:
            return "vorbis";
        case Format::OggOpus:
            return "opus";
        case Format::Wma:
            return "wma";
        case Format::Raw:
            return "raw";
        case Format::Mp3:
            return "mp3";
        case Format::Mp3NoXing:
            return "mp3-noxing";
    }
    return "?";
}

void WriteFile(const QString& path, Format format, const SampleArray& samples, int rate,
               int channels, const WriteOptions& options) {
    if (format == Format::Raw) {
        WriteRaw(path, samples);
        return;
    }
    // Encoders report trivia on stderr; silenced as FfmpegAudioReader silences FFmpeg.
    if (!qEnvironmentVariableIsSet("SONVARA_FFMPEG_LOG"))
        av_log_set_level(AV_LOG_QUIET);
    const Codec names = CodecOf(format);
    const AVCodec* encoder = avcodec_find_encoder_by_name(names.encoder);
    if (!encoder)
        Fail(path, std::string("no encoder ") + names.encoder);

    Encoding e;
    e.path = path;
    const QByteArray fileName = QFile::encodeName(path);
    Check(avformat_alloc_output_context2(&e.output, nullptr, names.muxer, fileName.constData()),
          path, "muxer");
    if (!options.title.isEmpty())
        av_dict_set(&e.output->metadata, "title", options.title.toUtf8().constData(), 0);

    e.codec = avcodec_alloc_context3(encoder);
    e.codec->sample_rate = rate;
    e.codec->sample_fmt = InputFormatFor(encoder);
    av_channel_layout_default(&e.codec->ch_layout, channels);
    e.codec->time_base = {1, rate};
    if (options.bitrateKbps > 0) {
        e.codec->bit_rate = options.bitrateKbps * 1000;
    } else if (encoder->id == AV_CODEC_ID_VORBIS) {
        // Quality mode: no bit rate has to suit every rate and channel count.
        e.codec->flags |= AV_CODEC_FLAG_QSCALE;
        e.codec->global_quality = 4 * FF_QP2LAMBDA;
    } else if (encoder->id == AV_CODEC_ID_MP3 || encoder->id == AV_CODEC_ID_WMAV2) {
        e.codec->bit_rate = 128000;
    }
    if (options.vbr && encoder->id == AV_CODEC_ID_MP3) {
        e.codec->flags |= AV_CODEC_FLAG_QSCALE;
        e.codec->global_quality = 4 * FF_QP2LAMBDA;
    }
    if (e.output->oformat->flags & AVFMT_GLOBALHEADER)
        e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(e.codec, encoder, nullptr), path, "opening the encoder");

    e.stream = avformat_new_stream(e.output, nullptr);
    Check(avcodec_parameters_from_context(e.stream->codecpar, e.codec), path, "stream");
    e.stream->time_base = e.codec->time_base;
    Check(avio_open(&e.output->pb, fileName.constData(), AVIO_FLAG_WRITE), path, "creating");
    AVDictionary* muxerOptions = nullptr;
    if (format == Format::Mp3NoXing)
        av_dict_set(&muxerOptions, "write_xing", "0", 0);
    if (names.encoder == std::string("libmp3lame") && !options.title.isEmpty())
        av_dict_set(&muxerOptions, "write_id3v1", "1", 0);
    const int header = avformat_write_header(e.output, &muxerOptions);
    av_dict_free(&muxerOptions);
    Check(header, path, "writing the header");

    Check(swr_alloc_set_opts2(&e.swr, &e.codec->ch_layout, e.codec->sample_fmt, rate,
                              &e.codec->ch_layout, AV_SAMPLE_FMT_S16, rate, 0, nullptr),
          path, "converter");
    Check(swr_init(e.swr), path, "converter");

    const bool anySize = encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
    const bool smallLast = anySize || (encoder->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    const int frameSize = e.codec->frame_size > 0 && !anySize ? e.codec->frame_size : 4096;
    const int64_t frames = FrameCount(samples, channels);
    for (int64_t done = 0; done < frames;) {
        const int count = int(std::min<int64_t>(frameSize, frames - done));
        av_frame_unref(e.frame);
        e.frame->nb_samples = count < frameSize && !smallLast ? frameSize : count;
        e.frame->format = e.codec->sample_fmt;
        e.frame->sample_rate = rate;
        av_channel_layout_copy(&e.frame->ch_layout, &e.codec->ch_layout);
        Check(av_frame_get_buffer(e.frame, 0), path, "frame");
        av_samples_set_silence(e.frame->extended_data, 0, e.frame->nb_samples, channels,
                               e.codec->sample_fmt);
        const auto* in = reinterpret_cast<const uint8_t*>(samples.data() + done * channels);
        Check(swr_convert(e.swr, e.frame->extended_data, count, &in, count), path, "converting");
        e.frame->pts = done;
        e.Encode(e.frame);
        done += count;
    }
    e.Encode(nullptr);
    Check(av_write_trailer(e.output), path, "writing the trailer");
}

void HalveAsfDuration(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        Fail(path, "cannot open");
    QByteArray data = file.readAll();
    const qsizetype object = data.indexOf(
        QByteArray("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16));
    if (object < 0)
        Fail(path, "no ASF file properties object");
    // After GUID, size, file id, file size, date and packet count: play duration and send
    // duration in 100 ns, then the preroll in ms, which the play duration includes.
    char* play = data.data() + object + 64;
    const qint64 preroll = qFromLittleEndian<qint64>(play + 16) * 10000;
    qToLittleEndian<qint64>(preroll + (qFromLittleEndian<qint64>(play) - preroll) / 2, play);
    if (!file.seek(0) || file.write(data) != data.size())
        Fail(path, "cannot write");
}

Decoded DecodeFile(const QString& path, int chunkElements) {
    FfmpegAudioReader reader(path);
    Decoded decoded;
    decoded.rate = reader.Frequency();
    decoded.channels = reader.Channels();
    decoded.announced = reader.Samples();
    // A reader that never ends would otherwise fill the memory before the test fails.
    const size_t limit =
        size_t(std::max<int64_t>(reader.Samples(), 0) * 2 + 10 * 48000) * size_t(decoded.channels);
    for (;;) {
        const SampleArray chunk = reader.Read(chunkElements);
        if (chunk.empty())
            break;
        decoded.samples.insert(decoded.samples.end(), chunk.begin(), chunk.end());
        if (decoded.samples.size() > limit)
            Fail(path, "the reader does not end");
    }
    return decoded;
}

double DominantFrequency(const SampleArray& samples, int channels, int channel, int rate) {
    const SampleArray mono = ChannelOf(samples, channels, channel);
    size_t n = 1;
    while (n * 2 <= mono.size() && n < (size_t(1) << 17))
        n *= 2;
    if (n < 64)
        return 0;
    // The middle of the signal, away from fades at its ends, Hann-windowed.
    const size_t first = (mono.size() - n) / 2;
    std::vector<std::complex<double>> bins(n);
    for (size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        bins[i] = double(mono[first + i]) * window;
    }
    // Iterative radix-2 FFT.
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(bins[i], bins[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / double(length));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> u = bins[i + k], v = bins[i + k + length / 2] * w;
                bins[i + k] = u + v;
                bins[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
    size_t best = 1;
    for (size_t k = 2; k < n / 2; ++k) {
        if (std::abs(bins[k]) > std::abs(bins[best]))
            best = k;
    }
    // Parabola through the log magnitudes around the peak.
    const double a = std::log(std::abs(bins[best - 1]) + 1e-9);
    const double b = std::log(std::abs(bins[best]) + 1e-9);
    const double c = std::log(std::abs(bins[best + 1]) + 1e-9);
    const double denominator = a - 2 * b + c;
    const double offset = denominator != 0 ? 0.5 * (a - c) / denominator : 0;
    return (double(best) + offset) * rate / double(n);
}

int Peak(const SampleArray& samples) {
    int peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}

double Rms(const SampleArray& samples) {
    if (samples.empty())
        return 0;
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * s;
    return std::sqrt(sum / double(samples.size()));
}

int LargestJump(const SampleArray& samples, int channels) {
    int jump = 0;
    for (size_t i = size_t(channels); i < samples.size(); ++i)
        jump = std::max(jump, std::abs(int(samples[i]) - int(samples[i - size_t(channels)])));
    return jump;
}

double LargestStray(const SampleArray& decoded, const SampleArray& original, int channels,
                    int64_t from, int64_t count) {
    const SampleArray a = Slice(decoded, channels, from, count);
    const SampleArray b = Slice(original, channels, from, count);
    int worst = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return double(worst) / Peak(b);
}

int64_t FirstLoudFrame(const SampleArray& samples, int channels, int threshold) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > threshold)
            return int64_t(i) / channels;
    }
    return -1;
}

int BestLag(const SampleArray& reference, const SampleArray& candidate, int channels, int maxLag) {
    const int64_t referenceFrames = FrameCount(reference, channels);
    const int64_t candidateFrames = FrameCount(candidate, channels);
    int best = 0;
    double bestError = -1;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const int64_t first = std::max<int64_t>(0, -lag);
        const int64_t last = std::min(referenceFrames, candidateFrames - lag);
        if (last <= first)
            continue;
        double error = 0;
        for (int64_t n = first; n < last; ++n) {
            for (int c = 0; c < channels; ++c) {
                const double d = double(reference[size_t(n * channels + c)]) -
                                 candidate[size_t((n + lag) * channels + c)];
                error += d * d;
            }
        }
        error /= double(last - first);
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    return best;
}

}  // namespace testaudio
