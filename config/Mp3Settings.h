#pragma once

class AudioFile2;
class AudioFile2LameEnc;
class Settings;

// The MP3 encoder settings a recording or a join uses, resolved from the stored indexes into
// rates and counts. Values read from a file are always inside the encoder's tables.
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
};

// Section "mp3" with the defaults of the recording start and the join.
Mp3Settings ReadMp3Settings(const Settings& settings);
