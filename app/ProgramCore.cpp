#include "app/ProgramCore.h"

ProgramCore::ProgramCore() : settings_(DefaultSettingsPath()) {}

ProgramCore::~ProgramCore() = default;

PulseContext& ProgramCore::Pulse() {
    if (!pulse_)
        pulse_ = std::make_unique<PulseContext>();
    return *pulse_;
}

PulseAudioRecord2& ProgramCore::Recorder() {
    if (!recorder_)
        recorder_ = std::make_unique<PulseAudioRecord2>(Pulse());
    return *recorder_;
}

PulseAudioPlayer2& ProgramCore::Player() {
    if (!player_)
        player_ = std::make_unique<PulseAudioPlayer2>(Pulse());
    return *player_;
}
