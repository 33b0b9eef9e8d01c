#include "config/Mp3Settings.h"

#include <algorithm>
#include <stdexcept>

#include "components/AudioFile2.h"
#include "components/AudioFile2LameEnc.h"
#include "config/ValueTables.h"

namespace {

constexpr int kLameLevels = 10;  // quality and VBR quality run 0..9
// Beyond this more threads only cost memory: each holds a segment of sound.
constexpr int kMostThreads = 64;

template <std::size_t N>
int ReadRate(const Settings& settings, const IntKey& key, Reader reader,
             const std::array<int, N>& table) {
    return table[ReadIndex(settings, key, reader, table.size())];
}

template <std::size_t N>
int IndexOf(const std::array<int, N>& table, int rate) {
    const auto found = std::find(table.begin(), table.end(), rate);
    if (found == table.end())
        throw std::out_of_range("no MP3 value table holds this rate");
    return static_cast<int>(found - table.begin());
}

}  // namespace

Mp3Settings ReadMp3Settings(const Settings& settings, Reader reader) {
    using namespace keys;
    Mp3Settings mp3;
    mp3.sampleRate = ReadRate(settings, kFrequency, reader, kFrequencyTable);
    mp3.bitrate = ReadRate(settings, kBitrate, reader, kBitrateTable);
    mp3.channels = ReadIndex(settings, kChannel, reader, kChannelNames.size()) + 1;
    mp3.quality = ReadIndex(settings, kQuality, reader, kLameLevels);
    mp3.vbr = Read(settings, kVbr, reader);
    mp3.vbrBitrate = ReadRate(settings, kVbrBitrate, reader, kBitrateTable);
    mp3.vbrQuality = ReadIndex(settings, kVbrQuality, reader, kLameLevels);
    if (reader == Reader::Used)
        mp3.threads = ReadIndex(settings, kThreads, reader, kMostThreads + 1);
    return mp3;
}

void WriteMp3Settings(Settings& settings, const Mp3Settings& mp3) {
    using namespace keys;
    const int bitrate = IndexOf(kBitrateTable, mp3.bitrate);
    const int frequency = IndexOf(kFrequencyTable, mp3.sampleRate);
    const int vbrBitrate = IndexOf(kBitrateTable, mp3.vbrBitrate);
    Write(settings, kBitrate, bitrate);
    Write(settings, kChannel, mp3.channels - 1);
    Write(settings, kFrequency, frequency);
    Write(settings, kQuality, mp3.quality);
    Write(settings, kVbr, mp3.vbr);
    Write(settings, kVbrBitrate, vbrBitrate);
    Write(settings, kVbrQuality, mp3.vbrQuality);
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
