#include "config/SettingsModel.h"

#include "config/OutputFolder.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"

SettingsModel::SettingsModel(Settings& settings, const AudioFile2& writer)
    : settings_(settings), writer_(writer) {}

void SettingsModel::Load() {
    values_ = LoadRecordingSettings(settings_);
    values_.activation = LoadActivationSettings(settings_);
}

void SettingsModel::LoadAtStartUp() {
    Load();
    const QString missing = QStringLiteral("\x01");
    const QString stored =
        settings_.ReadString(keys::kDirectory.section, keys::kDirectory.name, missing);
    if (stored == missing)
        values_.directory = ReadChosenDirectory(settings_);
}

// Activation does not hang on the MP3 check: it is stored whatever that answers.
bool SettingsModel::Commit() const {
    SaveActivationSettings(values_.activation, settings_);
    return SaveRecordingSettings(values_, settings_, writer_);
}
