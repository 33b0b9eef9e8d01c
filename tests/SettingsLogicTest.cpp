#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "components/CodecAudioFile2.h"
#include "config/ActivationSettings.h"
#include "config/IniSettings.h"
#include "config/RecordingSettings.h"
#include "config/SettingsKeys.h"
#include "config/SettingsModel.h"
#include "record/SourceHelp.h"

namespace {

// Notes the order of the values that reach the file, and how many writes took them there.
class LoggingSettings : public IniSettings {
public:
    using IniSettings::IniSettings;
    QStringList writes;
    int stores = 0;

    void Write(const QList<StoredValue>& values) override {
        ++stores;
        for (const StoredValue& value : values)
            writes << value.section + u'/' + value.key;
        IniSettings::Write(values);
    }
};

class SettingsLogicTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    LoggingSettings ini_{dir_.filePath("Kelvo.ini")};
    CodecAudioFile2 writer_;
};

const QStringList kFileAndOutputKeys = {"file/enlength",  "file/rbtime",    "file/rbtimee",
                                        "file/timet",     "file/time",      "file/limit_s",
                                        "file/limit_n",   "output/format",  "output/out_name",
                                        "output/rb_time", "output/rb_cust", "output/dir"};
const QStringList kMp3Keys = {"mp3/bitrate",    "mp3/channel",     "mp3/frequency",  "mp3/quality",
                              "mp3/enable vbr", "mp3/vbr bitrate", "mp3/vbr quality"};

TEST_F(SettingsLogicTest, SaveWritesFileThenOutputThenMp3OnlyWhenEncodable) {
    RecordingSettings values;
    values.mp3.sampleRate = 48000;
    values.mp3.bitrate = 8;  // no MPEG-1 layer III bit rate
    EXPECT_FALSE(SaveRecordingSettings(values, ini_, writer_));
    EXPECT_EQ(ini_.writes, kFileAndOutputKeys);

    ini_.writes.clear();
    values.mp3.bitrate = 128;
    values.mp3.channels = 1;
    values.mp3.quality = 3;
    EXPECT_TRUE(SaveRecordingSettings(values, ini_, writer_));
    EXPECT_EQ(ini_.writes, kFileAndOutputKeys + kMp3Keys);
    EXPECT_EQ(ini_.ReadInteger("mp3", "frequency", -1), 9);
    EXPECT_EQ(ini_.ReadInteger("mp3", "channel", -1), 0);
    EXPECT_EQ(ini_.ReadInteger("mp3", "quality", -1), 3);
}

// A commit is one write of the file, and a start stores nothing that was not edited.
TEST_F(SettingsLogicTest, AModelCommitIsOneWriteAndOnlyEditsArePending) {
    SettingsModel model(ini_, writer_);
    model.Load();
    RecordingSettings values = model.Values();
    values.mainName = "Talk";
    values.mp3.sampleRate = 48000;  // at 8 kbit/s: refused
    values.mp3.bitrate = 8;
    model.SetValues(values);
    EXPECT_FALSE(model.Commit());
    EXPECT_EQ(ini_.stores, 1);
    EXPECT_TRUE(model.Pending()) << "the refused MP3 values are still to be stored";

    values.mp3.bitrate = 128;
    model.SetValues(values);
    EXPECT_TRUE(model.CommitPending());
    EXPECT_TRUE(model.CommitPending());
    EXPECT_EQ(ini_.stores, 2);
    EXPECT_EQ(ini_.ReadInteger("mp3", "frequency", -1), 9);
}

TEST_F(SettingsLogicTest, LoadUsesTheShowDefaultsAndKeepsIndexesInsideTheTables) {
    const RecordingSettings empty = LoadRecordingSettings(ini_);
    EXPECT_FALSE(empty.timeChecked);
    EXPECT_FALSE(empty.timeOptionEnabled);
    EXPECT_FALSE(empty.secondsEnabled);
    EXPECT_FALSE(empty.limitStop);
    EXPECT_EQ(empty.seconds, "120");
    EXPECT_EQ(empty.mainName, "EUT");
    EXPECT_TRUE(empty.dateTimeMode);
    EXPECT_FALSE(empty.customName);
    EXPECT_EQ(empty.directory, DefaultOutputDirectory());
    EXPECT_FALSE(empty.mp3.vbr);  // the recording start defaults to on; this window does not
    EXPECT_EQ(empty.mp3.vbrQuality, 9);
    EXPECT_EQ(empty.mp3.quality, 9);

    ini_.WriteInteger("mp3", "bitrate", 17);
    ini_.WriteInteger("mp3", "frequency", -1);
    ini_.WriteInteger("mp3", "channel", 2);
    ini_.WriteInteger("mp3", "vbr quality", 10);
    ini_.WriteInteger("output", "format", 3);
    const RecordingSettings odd = LoadRecordingSettings(ini_);
    EXPECT_EQ(odd.mp3.bitrate, 128);
    EXPECT_EQ(odd.mp3.sampleRate, 44100);
    EXPECT_EQ(odd.mp3.channels, 2);
    EXPECT_EQ(odd.mp3.vbrQuality, 9);
    EXPECT_EQ(odd.format, 0);
}

// Every key by its name in the file, with each reader's default ("-": not read there).
using KeyRead = std::function<QString(const Settings&, Reader)>;
KeyRead At(const BoolKey& key) {
    return [&key](const Settings& s, Reader r) { return QString::number(Read(s, key, r)); };
}
KeyRead At(const TextKey& key) {
    return [&key](const Settings& s, Reader r) { return Read(s, key, r); };
}
KeyRead At(const IntKey& key) {
    return
        [&key](const Settings& s, Reader r) { return QString::number(ReadIndex(s, key, r, 99)); };
}
// A computed key falls back to what its reader gives: here -1, 01:02:03 and 2006-05-19.
KeyRead At(const ComputedKey<int>& key) {
    return [&key](const Settings& s, Reader) { return QString::number(Read(s, key, -1)); };
}
KeyRead At(const TimeKey& key) {
    return [&key](const Settings& s, Reader) {
        return Read(s, key, {1, 2, 3}).toString(Qt::ISODate);
    };
}
KeyRead At(const DateKey& key) {
    return [&key](const Settings& s, Reader) {
        return Read(s, key, {2006, 5, 19}).toString(Qt::ISODate);
    };
}

TEST_F(SettingsLogicTest, EveryKeyReadsItsFileNameWithEachReadersDefault) {
    using namespace keys;
    struct Row {
        QString path;
        KeyRead read;
        QString shown, used, stored;
    };
    std::vector<Row> rows = {
        {"file/enlength", At(kLengthEnabled), "0", "0", "1"},
        {"file/rbtime", At(kTimeChecked), "0", "0", "1"},
        {"file/rbtimee", At(kTimeOptionEnabled), "0", "-", "1"},
        {"file/timet", At(kSeconds), "120", "120", "7"},
        {"file/time", At(kSecondsEnabled), "0", "-", "1"},
        {"file/limit_s", At(kLimitStop), "0", "0", "1"},
        {"file/limit_n", At(kLimitNew), "0", "0", "1"},
        {"output/dir", At(kDirectory), "", "", "x"},
        {"output/path", At(kChosenDirectory), "-", "", "x"},
        {"output/format", At(kFormat), "0", "-", "3"},
        {"output/out_name", At(kMainName), "EUT", "EUT", "x"},
        {"output/rb_time", At(kDateTimeMode), "1", "-", "0"},
        {"output/rb_cust", At(kCustomName), "0", "1", "1"},
        {"mp3/frequency", At(kFrequency), "8", "8", "3"},
        {"mp3/bitrate", At(kBitrate), "11", "11", "3"},
        {"mp3/channel", At(kChannel), "1", "1", "0"},
        {"mp3/quality", At(kQuality), "9", "9", "3"},
        {"mp3/enable vbr", At(kVbr), "0", "1", "1"},
        {"mp3/vbr bitrate", At(kVbrBitrate), "11", "11", "3"},
        {"mp3/vbr quality", At(kVbrQuality), "9", "5", "3"},
        {"mp3/threads", At(kThreads), "-", "0", "3"},
        {"activation/enabled", At(kActivationEnabled), "0", "0", "1"},
        {"activation/hold", At(kHoldMs), "150", "150", "3"},
        {"activation/silence", At(kSilenceSeconds), "5", "5", "3"},
        {"activation/mode", At(kActivationMode), "0", "0", "1"},
        {"activation/preroll", At(kPrerollMs), "500", "500", "3"},
        {"rd/rd", At(kDevice), "-1", "-", "2"},
        {"autorec/format", At(kScheduleMode), "0", "-", "2"},
        {"autorec/date", At(kScheduleDay), "2006-05-19", "-", "2024-02-29"},
        {"timeclose/bclose", At(kPowerOff), "0", "0", "1"},
        {"Time/Time", At(kPowerOffTime), "01:02:03", "-", "23:59:58"},
        {"info/title", At(kTagTitle), "", "", "x"},
        {"info/arist", At(kTagArtist), "", "", "x"},
        {"info/album", At(kTagAlbum), "", "", "x"},
        {"info/comment", At(kTagComment), "", "", "x"},
        {"info/year", At(kTagYear), "0", "0", "x"},
        {"info/Track", At(kTagTrack), "0", "0", "x"},
        {"info/genre", At(kTagGenre), "", "", "x"},
    };
    for (int k = 0; k < 3; ++k) {
        const QString n = QString::number(k + 1);
        rows.push_back({"autorec/cb" + n, At(kSlotOn[k]), "0", "-", "1"});
        rows.push_back(
            {"autorec/begintime" + n, At(kSlotBegin[k]), "01:02:03", "-", "10:00:0" + n});
        rows.push_back({"autorec/endtime" + n, At(kSlotEnd[k]), "01:02:03", "-", "11:00:0" + n});
        rows.push_back({"autorec/begintime" + n + "c", At(kSlotBeginEnabled[k]), "0", "-", "1"});
        rows.push_back({"autorec/endtime" + n + "c", At(kSlotEndEnabled[k]), "0", "-", "1"});
    }
    for (bool written : {false, true}) {
        for (const auto& row : rows) {
            for (auto [reader, fallback] :
                 {std::pair{Reader::Shown, row.shown}, {Reader::Used, row.used}}) {
                if (fallback != u"-") {
                    EXPECT_EQ(row.read(ini_, reader), written ? row.stored : fallback)
                        << row.path.toStdString();
                }
            }
            if (!written)
                ini_.WriteString(row.path.section(u'/', 0, 0), row.path.section(u'/', 1),
                                 row.stored);
        }
    }
}

TEST(SettingsDefaults, KeepSecondsNewFileAndFolderAndDisableOnlyWhenTheLimitWasOn) {
    RecordingSettings values;
    values.lengthEnabled = true;
    values.seconds = "30";
    values.limitNew = true;
    values.limitStop = false;
    values.directory = "/srv/rec";
    values.mp3.vbr = true;
    values.mp3.quality = 2;
    values.mp3.vbrQuality = 7;
    const RecordingSettings defaulted = Defaulted(values);
    EXPECT_FALSE(defaulted.lengthEnabled);
    EXPECT_FALSE(defaulted.timeOptionEnabled);
    EXPECT_FALSE(defaulted.secondsEnabled);
    EXPECT_EQ(defaulted.seconds, "30");
    EXPECT_TRUE(defaulted.limitNew);
    EXPECT_TRUE(defaulted.limitStop);
    EXPECT_EQ(defaulted.directory, "/srv/rec");
    EXPECT_EQ(defaulted.mainName, "EUT");
    EXPECT_FALSE(defaulted.mp3.vbr);
    EXPECT_EQ(defaulted.mp3.quality, 9);
    EXPECT_EQ(defaulted.mp3.vbrQuality, 0);

    // The limitation was off already: its click does not run, enabled states stay as stored.
    values.lengthEnabled = false;
    values.timeOptionEnabled = true;
    values.secondsEnabled = true;
    EXPECT_TRUE(Defaulted(values).timeOptionEnabled);
    EXPECT_TRUE(Defaulted(values).secondsEnabled);
}

TEST(SettingsNaming, ExamplesAndTheFilledInName) {
    EXPECT_EQ(ExamplesFor("Talk"),
              (NamingExamples{"Example: Talk-19-05-2006--00;08;04.MP3", "Example:Talk.MP3"}));

    RecordingSettings values;
    values.customName = true;
    values.mainName = "";
    EXPECT_EQ(CustomNameClicked(values),
              (NamingExamples{"Example: EUT-19-05-2006--00;08;04.MP3", "Example: EUT.MP3"}));
    EXPECT_EQ(values.mainName, "EUT");

    values.mainName = "Talk";
    EXPECT_EQ(CustomNameClicked(values), ExamplesFor("Talk"));
}

TEST(SettingsSourceHelp, TvTunerComesLast) {
    EXPECT_TRUE(SourceHelpTexts()[3].startsWith("Record from TVtuner:\n"));
}

}  // namespace

TEST_F(SettingsLogicTest, ActivationValuesOutsideTheirRangesGiveTheDefaults) {
    ini_.WriteBool("activation", "enabled", true);
    ini_.WriteInteger("activation", "threshold", 5);
    ini_.WriteInteger("activation", "hold", -1);
    ini_.WriteInteger("activation", "silence", 0);
    ini_.WriteInteger("activation", "mode", 2);
    ini_.WriteString("activation", "preroll", "half a second");
    ActivationSettings defaults;
    defaults.enabled = true;
    EXPECT_EQ(LoadActivationSettings(ini_), defaults);
}
