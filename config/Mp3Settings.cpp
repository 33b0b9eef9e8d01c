#include "config/Mp3Settings.h"

#include "components/AudioFile2.h"
#include "components/AudioFile2LameEnc.h"
#include "config/SettingsKeys.h"
#include "config/ValueTables.h"

namespace {
constexpr int kLameLevels = 10;  // quality and VBR quality run 0..9
// Beyond this more threads only cost memory: each holds a segment of sound.
constexpr int kMostThreads = 64;
}  // namespace

Mp3Settings ReadMp3Settings(const Settings& settings) {
    using namespace keys;
    constexpr Reader used = Reader::Used;
    Mp3Settings mp3;
    mp3.sampleRate = kFrequencyTable[ReadIndex(settings, kFrequency, used, kFrequencyTable.size())];
    mp3.bitrate = kBitrateTable[ReadIndex(settings, kBitrate, used, kBitrateTable.size())];
    mp3.channels = ReadIndex(settings, kChannel, used, kChannelNames.size()) + 1;
    mp3.quality = ReadIndex(settings, kQuality, used, kLameLevels);
    mp3.vbr = Read(settings, kVbr, used);
    mp3.vbrBitrate = kBitrateTable[ReadIndex(settings, kVbrBitrate, used, kBitrateTable.size())];
    mp3.vbrQuality = ReadIndex(settings, kVbrQuality, used, kLameLevels);
    mp3.threads = ReadIndex(settings, kThreads, used, kMostThreads + 1);
    return mp3;
}

void Mp3Settings::ApplyTo(AudioFile2LameEnc& encoder) const {
    encoder.SetSampleRate(sampleRate);
    encoder.SetBitrate(bitrate);
    encoder.SetChannels(channels);
    encoder.SetQuality(quality);
    encoder.SetVbr(vbr);
    encoder.SetThreads(threads);
    if (vbr) {
        encoder.SetVbrBitrate(vbrBitrate);
        encoder.SetVbrQuality(vbrQuality);
    }
}

bool Mp3Settings::IsSupportedBy(const AudioFile2& writer) const {
    return writer.IsMp3FormatSupported(sampleRate, bitrate, channels);
}
