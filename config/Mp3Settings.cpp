#include "config/Mp3Settings.h"

#include <QString>

#include "components/AudioFile2.h"
#include "components/AudioFile2LameEnc.h"
#include "config/Settings.h"
#include "config/ValueTables.h"

namespace {
constexpr int kLameLevels = 10;  // quality and VBR quality run 0..9
// Beyond this more threads only cost memory: each holds a segment of sound.
constexpr int kMostThreads = 64;
}  // namespace

Mp3Settings ReadMp3Settings(const Settings& settings) {
    const QString section = QStringLiteral("mp3");
    Mp3Settings mp3;
    mp3.sampleRate = kFrequencyTable[ReadTableIndex(settings, section, QStringLiteral("frequency"),
                                                    8, kFrequencyTable.size())];
    mp3.bitrate = kBitrateTable[ReadTableIndex(settings, section, QStringLiteral("bitrate"), 11,
                                               kBitrateTable.size())];
    mp3.channels =
        ReadTableIndex(settings, section, QStringLiteral("channel"), 1, kChannelNames.size()) + 1;
    mp3.quality = ReadTableIndex(settings, section, QStringLiteral("quality"), 9, kLameLevels);
    mp3.vbr = settings.ReadBool(section, QStringLiteral("enable vbr"), true);
    mp3.vbrBitrate = kBitrateTable[ReadTableIndex(settings, section, QStringLiteral("vbr bitrate"),
                                                  11, kBitrateTable.size())];
    mp3.vbrQuality =
        ReadTableIndex(settings, section, QStringLiteral("vbr quality"), 5, kLameLevels);
    mp3.threads = ReadTableIndex(settings, section, QStringLiteral("threads"), 0, kMostThreads + 1);
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
