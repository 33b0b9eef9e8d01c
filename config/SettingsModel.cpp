#include "config/SettingsModel.h"

#include <utility>

#include "config/OutputFolder.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"

SettingsModel::SettingsModel(Settings& settings, const AudioFile2& writer)
    : settings_(settings), writer_(writer) {}

void SettingsModel::Load() {
    values_ = LoadRecordingSettings(settings_);
    values_.activation = LoadActivationSettings(settings_);
    stored_ = values_;
    complete_ = StoresEveryKey();
    loaded_ = true;
}

bool SettingsModel::StoresEveryKey() const {
    SettingsBatch keys(settings_);
    SaveActivationSettings(values_.activation, keys);
    SaveRecordingSettings(values_, keys, writer_);
    const QString missing = QStringLiteral("\x01");
    for (const StoredValue& value : keys.Gathered()) {
        if (settings_.ReadString(value.section, value.key, missing) == missing)
            return false;
    }
    return true;
}

void SettingsModel::UseChosenDirectory() {
    const QString missing = QStringLiteral("\x01");
    const QString stored =
        settings_.ReadString(keys::kDirectory.section, keys::kDirectory.name, missing);
    if (stored == missing)
        values_.directory = ReadChosenDirectory(settings_);
}

// Activation does not hang on the MP3 check: it is stored whatever that answers.
bool SettingsModel::Commit() {
    SettingsBatch batch(settings_);
    SaveActivationSettings(values_.activation, batch);
    const bool accepted = SaveRecordingSettings(values_, batch, writer_);
    batch.Commit();
    const RecordingSettings before = std::exchange(stored_, values_);
    complete_ = complete_ || accepted;
    if (!accepted)
        stored_.mp3 = before.mp3;  // not stored: still pending
    return accepted;
}
