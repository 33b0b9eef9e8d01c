#include "components/AudioFile2LameEnc.h"

#include <algorithm>
#include <span>

namespace {

constexpr int kMpeg1Kbps[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMpeg2Kbps[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// The layer III bit rates that LAME writes at this sample rate; empty when it writes none.
std::span<const int> LegalBitrates(int sampleRate) {
    switch (sampleRate) {
        case 32000:
        case 44100:
        case 48000:
            return kMpeg1Kbps;
        case 16000:
        case 22050:
        case 24000:
            return kMpeg2Kbps;
        case 8000:
        case 11025:
        case 12000:
            // MPEG-2.5 allows up to 160 kbit/s, but LAME quietly writes 64 instead of more.
            return std::span(kMpeg2Kbps).first(8);
        default:
            return {};
    }
}

}  // namespace

bool IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels) {
    const std::span<const int> legal = LegalBitrates(sampleRate);
    return (channels == 1 || channels == 2) &&
           std::find(legal.begin(), legal.end(), bitrateKbps) != legal.end();
}

bool IsMp3EncoderSupported(const AudioFile2LameEnc& encoder) {
    // A VBR floor above the ceiling gives way to it, and the ceiling LAME rounds to a legal
    // rate itself: only the format is left to check.
    if (encoder.Vbr() && encoder.Bitrate() > encoder.VbrBitrate()) {
        return (encoder.Channels() == 1 || encoder.Channels() == 2) &&
               !LegalBitrates(encoder.SampleRate()).empty();
    }
    return IsMp3FormatSupported(encoder.SampleRate(), encoder.Bitrate(), encoder.Channels());
}
