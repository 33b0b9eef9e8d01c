#pragma once

#include <memory>

#include "components/AudioFile2LameEnc.h"
#include "components/Clock.h"
#include "components/CodecAudioFile2.h"
#include "components/PulseAudioPlayer2.h"
#include "components/PulseAudioRecord2.h"
#include "components/PulseContext.h"
#include "components/TagLibAudioInformation2.h"
#include "config/IniSettings.h"
#include "config/SettingsModel.h"

// What the program and sonvara-cli share, without any window: the one open Kelvo.ini, the
// values the settings window edits, the audio components and the clock. Built once per
// process; the program, its windows and the commands take from it what they need.
class ProgramCore {
public:
    // The recorder and player connect to the sound server when first asked for, so that what
    // only reads files never waits for one.
    ProgramCore();
    ~ProgramCore();

    IniSettings& Ini() { return settings_; }
    SettingsModel& RecordingSettingsModel() { return settingsModel_; }
    Clock& WallClock() { return clock_; }

    PulseAudioRecord2& Recorder();
    PulseAudioPlayer2& Player();
    // The writer of recordings; it also judges MP3 combinations for the settings window.
    CodecAudioFile2& FileWriter() { return writer_; }
    // The reader of listed files, for measuring, playing and joining them.
    CodecAudioFile2& FileReader() { return reader_; }
    AudioFile2LameEnc& Encoder() { return encoder_; }
    // File facts and tags, for the tag editor and the default tag.
    TagLibAudioInformation2& TagInfo() { return tagInfo_; }

private:
    PulseContext& Pulse();

    SystemClock clock_;
    IniSettings settings_;
    CodecAudioFile2 writer_;
    CodecAudioFile2 reader_;
    AudioFile2LameEnc encoder_;
    TagLibAudioInformation2 tagInfo_;
    SettingsModel settingsModel_{settings_, writer_};
    std::unique_ptr<PulseContext> pulse_;
    // After the connection, so that they are released before it.
    std::unique_ptr<PulseAudioRecord2> recorder_;
    std::unique_ptr<PulseAudioPlayer2> player_;
};
