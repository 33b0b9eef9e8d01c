#pragma once

// MP3 encoder settings handed to a writer through SetMp3Encoder. The writer copies them, so a
// later change affects only files created after the next SetMp3Encoder.
class AudioFile2LameEnc {
public:
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int hz) { sampleRate_ = hz; }
    int Bitrate() const { return bitrate_; }  // kbit/s; in VBR mode the lowest allowed
    void SetBitrate(int kbps) { bitrate_ = kbps; }
    int Channels() const { return channels_; }  // 1 mono, 2 stereo
    void SetChannels(int channels) { channels_ = channels; }
    int Quality() const { return quality_; }  // LAME's 0 (best, slowest) .. 9 (fastest)
    void SetQuality(int quality) { quality_ = quality; }

    // VBR is a switch the caller sets for every file: leaving it on from an earlier file
    // would encode VBR after the user turned it off.
    bool Vbr() const { return vbr_; }
    void SetVbr(bool on) { vbr_ = on; }
    int VbrBitrate() const { return vbrBitrate_; }  // kbit/s, the highest allowed in VBR mode
    void SetVbrBitrate(int kbps) { vbrBitrate_ = kbps; }
    int VbrQuality() const { return vbrQuality_; }  // LAME's VBR level 0..9
    void SetVbrQuality(int quality) { vbrQuality_ = quality; }

    // Encoders working on one file at once: 0 one per core, 1 a single LAME stream (as a
    // recording needs, whose every block reaches the disk at once).
    int Threads() const { return threads_; }
    void SetThreads(int threads) { threads_ = threads; }

private:
    int sampleRate_ = 44100;
    int bitrate_ = 128;
    int channels_ = 2;
    int quality_ = 9;
    bool vbr_ = false;
    int vbrBitrate_ = 128;
    int vbrQuality_ = 5;
    int threads_ = 1;
};

// True exactly when the bit rate is one that MPEG audio layer III (MPEG-1, -2 and 2.5) allows
// at the sample rate and LAME writes as asked, and channels is 1 or 2.
bool IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels);
// True when a writer accepts the settings: IsMp3FormatSupported for the bit rate that takes
// effect, which in VBR mode is Bitrate as the floor, unless it lies above VbrBitrate.
bool IsMp3EncoderSupported(const AudioFile2LameEnc& encoder);
