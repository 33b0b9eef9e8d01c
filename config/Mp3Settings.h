#pragma once

#include "config/SettingsKeys.h"

class AudioFile2;
class AudioFile2LameEnc;
class Settings;

// Section "mp3" as the recording, the join and the settings window use it: the stored indexes
// resolved into rates and counts. Values read from a file are always inside the encoder's tables.
struct Mp3Settings {
    int sampleRate = 44100;  // Hz
    int bitrate = 128;       // kbit/s
    int channels = 2;
    int quality = 9;  // 0 best .. 9 fastest
    bool vbr = true;
    int vbrBitrate = 128;  // kbit/s
    int vbrQuality = 5;    // 0 .. 9
    int threads = 0;       // encoders on one file at once: 0 one per core, 1 one LAME stream

    // Sets every field of the encoder that these settings decide, VBR included, so nothing is
    // carried over from the encoder's previous use.
    void ApplyTo(AudioFile2LameEnc& encoder) const;
    // The one check of a combination, made by the recording start, the join and the settings
    // window alike: the writer's answer for the sample rate, the bit rate and the channels.
    // VBR takes no part, so what one refuses the others refuse too.
    bool IsSupportedBy(const AudioFile2& writer) const;

    bool operator==(const Mp3Settings&) const = default;
};

// Section "mp3" with the reader's defaults: the window shows VBR off at quality 9, the recording
// start and the join use VBR on at quality 5. No window shows the threads: the window's reader
// leaves them 0.
Mp3Settings ReadMp3Settings(const Settings& settings, Reader reader = Reader::Used);
// Stores every value but the threads as the index of its table entry; a rate that no table holds
// throws std::out_of_range before anything is written.
void WriteMp3Settings(Settings& settings, const Mp3Settings& mp3);
