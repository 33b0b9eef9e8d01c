#include "components/AudioFile2LameEnc.h"

bool IsMp3FormatSupported(int sampleRate, int bitrateKbps, int channels) {
    if (channels != 1 && channels != 2)
        return false;
    switch (sampleRate) {
        case 32000:
        case 44100:
        case 48000:
            return bitrateKbps >= 32 && bitrateKbps <= 320;
        case 16000:
        case 22050:
        case 24000:
            return bitrateKbps >= 8 && bitrateKbps <= 160;
        case 8000:
        case 11025:
        case 12000:
            return bitrateKbps >= 8 && bitrateKbps <= 64;
        default:
            return false;
    }
}
