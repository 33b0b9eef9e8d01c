#include "config/RecordingSettings.h"

#include "components/AudioFile2.h"
#include "config/Mp3Settings.h"
#include "config/Settings.h"
#include "config/ValueTables.h"

namespace {

const QString kFile = QStringLiteral("file");
const QString kOutput = QStringLiteral("output");
const QString kMp3 = QStringLiteral("mp3");

// The quality controls run from 0 to 9.
constexpr int kQualitySteps = 10;
// The format list has one item.
constexpr int kFormatCount = 1;

}  // namespace

RecordingSettings LoadRecordingSettings(const Settings& settings) {
    RecordingSettings v;
    v.lengthEnabled = settings.ReadBool(kFile, QStringLiteral("enlength"), false);
    v.timeChecked = settings.ReadBool(kFile, QStringLiteral("rbtime"), false);
    v.timeOptionEnabled = settings.ReadBool(kFile, QStringLiteral("rbtimee"), false);
    v.seconds = settings.ReadString(kFile, QStringLiteral("timet"), QStringLiteral("120"));
    v.secondsEnabled = settings.ReadBool(kFile, QStringLiteral("time"), false);
    v.limitStop = settings.ReadBool(kFile, QStringLiteral("limit_s"), false);
    v.limitNew = settings.ReadBool(kFile, QStringLiteral("limit_n"), false);

    v.format = ReadTableIndex(settings, kOutput, QStringLiteral("format"), 0, kFormatCount);
    v.mainName = settings.ReadString(kOutput, QStringLiteral("out_name"), QStringLiteral("EUT"));
    v.dateTimeMode = settings.ReadBool(kOutput, QStringLiteral("rb_time"), true);
    v.customName = settings.ReadBool(kOutput, QStringLiteral("rb_cust"), false);
    v.directory = ReadOutputDirectory(settings);

    v.bitrate = ReadTableIndex(settings, kMp3, QStringLiteral("bitrate"), 11, kBitrateTable.size());
    v.channel = ReadTableIndex(settings, kMp3, QStringLiteral("channel"), 1, kChannelNames.size());
    v.frequency =
        ReadTableIndex(settings, kMp3, QStringLiteral("frequency"), 8, kFrequencyTable.size());
    v.quality = ReadTableIndex(settings, kMp3, QStringLiteral("quality"), 9, kQualitySteps);
    v.vbr = settings.ReadBool(kMp3, QStringLiteral("enable vbr"), false);
    v.vbrBitrate =
        ReadTableIndex(settings, kMp3, QStringLiteral("vbr bitrate"), 11, kBitrateTable.size());
    v.vbrQuality = ReadTableIndex(settings, kMp3, QStringLiteral("vbr quality"), 9, kQualitySteps);
    return v;
}

bool SaveRecordingSettings(const RecordingSettings& v, Settings& settings,
                           const AudioFile2& writer) {
    settings.WriteBool(kFile, QStringLiteral("enlength"), v.lengthEnabled);
    settings.WriteBool(kFile, QStringLiteral("rbtime"), v.timeChecked);
    settings.WriteBool(kFile, QStringLiteral("rbtimee"), v.timeOptionEnabled);
    settings.WriteString(kFile, QStringLiteral("timet"), v.seconds);
    settings.WriteBool(kFile, QStringLiteral("time"), v.secondsEnabled);
    settings.WriteBool(kFile, QStringLiteral("limit_s"), v.limitStop);
    settings.WriteBool(kFile, QStringLiteral("limit_n"), v.limitNew);

    settings.WriteInteger(kOutput, QStringLiteral("format"), v.format);
    settings.WriteString(kOutput, QStringLiteral("out_name"), v.mainName);
    settings.WriteBool(kOutput, QStringLiteral("rb_time"), v.dateTimeMode);
    settings.WriteBool(kOutput, QStringLiteral("rb_cust"), v.customName);
    settings.WriteString(kOutput, QStringLiteral("dir"), v.directory);

    Mp3Settings mp3;
    mp3.sampleRate = kFrequencyTable.at(v.frequency);
    mp3.bitrate = kBitrateTable.at(v.bitrate);
    mp3.channels = v.channel + 1;
    if (!mp3.IsSupportedBy(writer))
        return false;

    settings.WriteInteger(kMp3, QStringLiteral("bitrate"), v.bitrate);
    settings.WriteInteger(kMp3, QStringLiteral("channel"), v.channel);
    settings.WriteInteger(kMp3, QStringLiteral("frequency"), v.frequency);
    settings.WriteInteger(kMp3, QStringLiteral("quality"), v.quality);
    settings.WriteBool(kMp3, QStringLiteral("enable vbr"), v.vbr);
    settings.WriteInteger(kMp3, QStringLiteral("vbr bitrate"), v.vbrBitrate);
    settings.WriteInteger(kMp3, QStringLiteral("vbr quality"), v.vbrQuality);
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
    v.bitrate = 11;
    v.channel = 1;
    v.frequency = 8;
    v.quality = 9;
    v.vbr = false;
    v.vbrBitrate = 11;
    v.vbrQuality = 0;
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
