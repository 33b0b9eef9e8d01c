#pragma once

// Audio for tests: synthetic signals, files of every input format written through
// libavformat/libavcodec, whole-file decoding through FfmpegAudioReader, and measurements.
// Everything works on interleaved 16-bit SampleArrays; positions and lengths are in frames.
// Writing or decoding failures throw (std::runtime_error or SonvaraError).

#include <QString>
#include <cstdint>

#include "components/SampleArray.h"

namespace testaudio {

// ---- Signals -------------------------------------------------------------------------------

// A sine of `hz` at `amplitude` (0..1 of full scale), the same on every channel.
SampleArray Tone(int rate, int channels, int64_t frames, double hz, double amplitude = 0.5);
// Left and right at different frequencies, to tell the channels apart.
SampleArray StereoTone(int rate, int64_t frames, double leftHz, double rightHz,
                       double amplitude = 0.5);
// A sine gliding linearly from fromHz to toHz: every stretch of it looks different, so a
// decoded copy can be aligned with the original unambiguously.
SampleArray Sweep(int rate, int channels, int64_t frames, double fromHz, double toHz,
                  double amplitude = 0.5);
SampleArray Silence(int channels, int64_t frames);
// a followed by b (same channel count).
SampleArray Concat(const SampleArray& a, const SampleArray& b);

int64_t FrameCount(const SampleArray& samples, int channels);
// One channel of an interleaved array, as a mono array.
SampleArray ChannelOf(const SampleArray& samples, int channels, int channel);
// Frames [first, first + count) of an interleaved array, cut at its end.
SampleArray Slice(const SampleArray& samples, int channels, int64_t first, int64_t count);

// ---- Files ---------------------------------------------------------------------------------

enum class Format {
    Wav,       // PCM 16-bit
    WavU8,     // PCM 8-bit unsigned
    WavS24,    // PCM 24-bit
    WavS32,    // PCM 32-bit
    WavFloat,  // IEEE float 32-bit
    Flac,
    OggVorbis,  // libvorbis
    OggOpus,    // libopus; the rate must be 48000
    Wma,        // wmav2 in ASF
    Raw,        // headerless 16-bit little-endian, no container
    Mp3,        // libmp3lame with a Xing/Info header carrying encoder delay and padding
    Mp3NoXing,  // libmp3lame, bare frames after the ID3v2 tag
};

// File name extension with the dot: ".wav", ".flac", ".ogg", ".opus", ".wma", ".raw", ".mp3".
QString Extension(Format format);
// Short name for test output ("wav-s24", "mp3-noxing", ...).
const char* FormatName(Format format);

struct WriteOptions {
    int bitrateKbps = 0;  // 0: the encoder's default (lossy formats only)
    bool vbr = false;     // MP3: LAME VBR quality 4 instead of constant bit rate
    QString title;        // written as the container's title tag when not empty
};

// Encodes samples (rate, channels as given) into a new file at path, replacing it.
void WriteFile(const QString& path, Format format, const SampleArray& samples, int rate,
               int channels, const WriteOptions& options = {});

// Halves the play duration that an ASF (WMA) file states in its file properties; the demuxer
// still reads every packet, so the reader announces less than it decodes to.
void HalveAsfDuration(const QString& path);

// ---- Decoding ------------------------------------------------------------------------------

struct Decoded {
    SampleArray samples;  // every frame Read delivered until its empty array
    int rate = 0;
    int channels = 0;
    int64_t announced = 0;  // the reader's Samples()
};

// Decodes the whole file through FfmpegAudioReader, reading chunkElements at a time.
Decoded DecodeFile(const QString& path, int chunkElements = 8820);

// ---- Measurements --------------------------------------------------------------------------

// Frequency (Hz) of the strongest spectral peak of one channel, found by FFT with interpolation
// between bins (typically within 1 Hz for a clean tone of a second).
double DominantFrequency(const SampleArray& samples, int channels, int channel, int rate);
// Largest absolute sample over all channels.
int Peak(const SampleArray& samples);
// Root mean square over all channels, in sample units.
double Rms(const SampleArray& samples);
// Largest absolute difference between neighbouring frames within any channel: a click or a
// gap at a joint shows as a jump far above what the signal itself makes.
int LargestJump(const SampleArray& samples, int channels);
// The largest difference between decoded and original over frames [from, from + count),
// relative to the original's peak there.
double LargestStray(const SampleArray& decoded, const SampleArray& original, int channels,
                    int64_t from, int64_t count);
// Index of the first frame in which any channel exceeds threshold in magnitude, or -1.
int64_t FirstLoudFrame(const SampleArray& samples, int channels, int threshold);
// The shift d in [-maxLag, maxLag] for which candidate[n + d] best matches reference[n] (least
// squared difference over the overlap): 0 when both start at the same sample.
int BestLag(const SampleArray& reference, const SampleArray& candidate, int channels, int maxLag);

}  // namespace testaudio
