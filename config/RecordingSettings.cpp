#include "config/RecordingSettings.h"

#include "components/AudioFile2.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"

namespace {

// The format list has one item.
constexpr int kFormatCount = 1;

constexpr Reader kShown = Reader::Shown;

}  // namespace

RecordingSettings LoadRecordingSettings(const Settings& settings) {
    using namespace keys;
    RecordingSettings v;
    v.lengthEnabled = Read(settings, kLengthEnabled, kShown);
    v.timeChecked = Read(settings, kTimeChecked, kShown);
    v.timeOptionEnabled = Read(settings, kTimeOptionEnabled, kShown);
    v.seconds = Read(settings, kSeconds, kShown);
    v.secondsEnabled = Read(settings, kSecondsEnabled, kShown);
    v.limitStop = Read(settings, kLimitStop, kShown);
    v.limitNew = Read(settings, kLimitNew, kShown);

    v.format = ReadIndex(settings, kFormat, kShown, kFormatCount);
    v.mainName = Read(settings, kMainName, kShown);
    v.dateTimeMode = Read(settings, kDateTimeMode, kShown);
    v.customName = Read(settings, kCustomName, kShown);
    v.directory = ReadOutputDirectory(settings);
    v.mp3 = ReadMp3Settings(settings, kShown);
    return v;
}

bool SaveRecordingSettings(const RecordingSettings& v, Settings& settings,
                           const AudioFile2& writer) {
    using namespace keys;
    Write(settings, kLengthEnabled, v.lengthEnabled);
    Write(settings, kTimeChecked, v.timeChecked);
    Write(settings, kTimeOptionEnabled, v.timeOptionEnabled);
    Write(settings, kSeconds, v.seconds);
    Write(settings, kSecondsEnabled, v.secondsEnabled);
    Write(settings, kLimitStop, v.limitStop);
    Write(settings, kLimitNew, v.limitNew);

    Write(settings, kFormat, v.format);
    Write(settings, kMainName, v.mainName);
    Write(settings, kDateTimeMode, v.dateTimeMode);
    Write(settings, kCustomName, v.customName);
    Write(settings, kDirectory, v.directory);

    if (!v.mp3.IsSupportedBy(writer))
        return false;
    WriteMp3Settings(settings, v.mp3);
    return true;
}

QString UnsupportedMp3Message() {
    return QStringLiteral(
        "This MP3 format is not supported. \n"
        "You have set too high frequency and too low bitrate or otherwise. \n"
        "Please adjust the frequency or bitrate.");
}

RecordingSettings Defaulted(RecordingSettings v) {
    if (v.lengthEnabled) {
        v.lengthEnabled = false;
        LengthEnabledClicked(v);
    }
    v.limitStop = true;
    v.format = 0;
    v.mainName = QStringLiteral("EUT");
    v.dateTimeMode = true;
    v.customName = false;
    v.mp3 = {.vbr = false, .vbrQuality = 0};
    v.activation = ActivationSettings();
    return v;
}

void LengthEnabledClicked(RecordingSettings& v) {
    v.timeOptionEnabled = v.lengthEnabled;
    v.secondsEnabled = v.lengthEnabled;
}

void TimeOptionClicked(RecordingSettings& v) {
    v.secondsEnabled = v.timeOptionEnabled && v.timeChecked;
}

NamingExamples ExamplesFor(const QString& mainName) {
    return {QStringLiteral("Example: ") + mainName + QStringLiteral("-19-05-2006--00;08;04.MP3"),
            QStringLiteral("Example:") + mainName + QStringLiteral(".MP3")};
}

std::optional<NamingExamples> CustomNameClicked(RecordingSettings& v) {
    if (!v.mainName.isEmpty())
        return ExamplesFor(v.mainName);
    if (!v.customName)
        return std::nullopt;
    v.mainName = QStringLiteral("EUT");
    // The filled-in name is shown with a blank after the colon, unlike a typed one.
    return NamingExamples{ExamplesFor(v.mainName).dateTime, QStringLiteral("Example: EUT.MP3")};
}
