#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include "components/AudioFile2LameEnc.h"
#include "components/Clock.h"
#include "components/CodecAudioFile2.h"
#include "components/MainDisplays.h"
#include "components/TagLibAudioInformation2.h"
#include "config/IniSettings.h"
#include "record/RecordingControl.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeRecording.h"
#include "support/TestAudio.h"
#include "tags/DefaultTag.h"

using namespace testaudio;

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Text(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

// The fields of a Vorbis comment, as other players read them.
QString Field(const TagLib::Ogg::XiphComment* comment, const char* name) {
    const TagLib::StringList values = comment->fieldListMap()[name];
    return values.isEmpty() ? QString() : Text(values.front());
}

class DefaultTagTest : public ::testing::Test {
protected:
    QString Audio(const QString& name, Format format = Format::Mp3) {
        const QString path = dir_.filePath(name);
        WriteFile(path, format, Tone(44100, 2, 22050, 440), 44100, 2);
        return path;
    }
    void Store(const QString& key, const QString& value) { ini_.WriteString("info", key, value); }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    TagLibAudioInformation2 tags_;
    DefaultTagWriter writer_{ini_, tags_};
};

TEST_F(DefaultTagTest, AStoredGenreNumberIsWrittenAsTheGenreItNamesInBothTagVersions) {
    const QString path = Audio("take.mp3");
    Store("title", "Morning show");
    Store("arist", "Anna");
    Store("year", "2024");
    Store("Track", "3");
    ini_.WriteInteger("info", "genre", 17);
    ASSERT_FALSE(writer_.WriteDefaultTags(path).has_value());
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        ASSERT_TRUE(file.hasID3v2Tag() && file.hasID3v1Tag());
        EXPECT_EQ(Text(file.ID3v2Tag()->genre()), "Rock");
        EXPECT_EQ(file.ID3v1Tag()->genreNumber(), 17u);
        EXPECT_EQ(Text(file.ID3v2Tag()->title()), "Morning show");
        EXPECT_EQ(Text(file.ID3v1Tag()->artist()), "Anna");
        EXPECT_EQ(file.ID3v2Tag()->year(), 2024u);
        EXPECT_EQ(file.ID3v1Tag()->track(), 3u);
    }

    // -1 (saved with no genre selected) and an empty value write no genre; other text is kept.
    for (const auto& [stored, written] :
         {std::pair{"-1", ""}, {"", ""}, {"Chiptune", "Chiptune"}}) {
        Store("genre", stored);
        ASSERT_FALSE(writer_.WriteDefaultTags(path).has_value());
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        EXPECT_EQ(Text(file.ID3v2Tag()->genre()), written) << stored;
        EXPECT_EQ(file.ID3v1Tag()->genreNumber(), 255u) << stored;
    }
}

TEST_F(DefaultTagTest, OggAndFlacGetVorbisCommentsInAnyScript) {
    Store("title", QStringLiteral("Утренний эфир"));
    Store("arist", QStringLiteral("王菲"));
    Store("comment", QStringLiteral("Ĉu ŝi?"));
    Store("year", "1998");
    Store("Track", "7");
    ini_.WriteInteger("info", "genre", 101);

    const QString flac = Audio("take.flac", Format::Flac);
    const QString ogg = Audio("take.ogg", Format::OggVorbis);
    ASSERT_FALSE(writer_.WriteDefaultTags(flac).has_value());
    ASSERT_FALSE(writer_.WriteDefaultTags(ogg).has_value());

    TagLib::FLAC::File flacFile(QFile::encodeName(flac).constData());
    TagLib::Ogg::Vorbis::File oggFile(QFile::encodeName(ogg).constData());
    for (const TagLib::Ogg::XiphComment* comment : {flacFile.xiphComment(), oggFile.tag()}) {
        ASSERT_NE(comment, nullptr);
        EXPECT_EQ(Field(comment, "TITLE"), QStringLiteral("Утренний эфир"));
        EXPECT_EQ(Field(comment, "ARTIST"), QStringLiteral("王菲"));
        EXPECT_EQ(Field(comment, "COMMENT"), QStringLiteral("Ĉu ŝi?"));
        EXPECT_EQ(Field(comment, "DATE"), "1998");
        EXPECT_EQ(Field(comment, "TRACKNUMBER"), "7");
        EXPECT_EQ(Field(comment, "GENRE"), "Speech");
    }
}

TEST_F(DefaultTagTest, AStoredYearOrTrackThatIsNoNumberLeavesTheFileAlone) {
    const QString path = Audio("take.mp3");
    const QByteArray before = Contents(path);
    Store("title", "Never written");
    struct Case {
        const char *year, *track, *message, *key, *value;
    };
    for (const Case& c : {Case{"", "1", "Invalid Year Value", "year", ""},
                          Case{"20x4", "1", "Invalid Year Value", "year", "20x4"},
                          Case{"2024", "", "Invalid Track Value", "Track", ""},
                          Case{"2024", "-1", "Invalid Track Value", "Track", "-1"}}) {
        Store("year", c.year);
        Store("Track", c.track);
        const std::optional<DefaultTagRefusal> refusal = writer_.WriteDefaultTags(path);
        ASSERT_TRUE(refusal.has_value()) << c.year << "/" << c.track;
        EXPECT_EQ(refusal->message, c.message);
        EXPECT_EQ(refusal->key, c.key);
        EXPECT_EQ(refusal->value, c.value);
        EXPECT_EQ(Contents(path), before);
    }
}

// Lists each finished recording, then writes the default tag into it, as the program does.
struct TaggingHost : FakeRecordingHost {
    explicit TaggingHost(DefaultTagWriter& tagWriter) : writer(tagWriter) {}
    DefaultTagWriter& writer;
    void RecordingFinished(const QString& file, int64_t frames, bool writeTag,
                           bool attended) override {
        FakeRecordingHost::RecordingFinished(file, frames, writeTag, attended);
        if (writeTag) {
            EXPECT_FALSE(writer.WriteDefaultTags(file).has_value());
        }
    }
};

// Both the part a length limit ends and the part the stop ends get the tag, and keep their
// sound.
TEST_F(DefaultTagTest, EveryFileOfARecordingIsTaggedWhenItIsFinished) {
    Store("title", "Night news");
    ini_.WriteInteger("info", "genre", 17);
    ini_.WriteString("output", "dir", dir_.filePath("out"));
    ini_.WriteString("file", "enlength", "1");
    ini_.WriteString("file", "rbtime", "1");
    ini_.WriteString("file", "timet", "1");
    ini_.WriteString("file", "limit_n", "1");

    FakeActivity state;
    SystemClock clock;
    FakeAudioRecord2 recorder;
    CodecAudioFile2 file;
    AudioFile2LameEnc encoder;
    FakeLevelDisplay levels;
    NoDisplays displays;
    FakeSleepInhibitor sleep;
    TaggingHost host(writer_);
    RecordingControl control(
        {state, ini_, clock, recorder, file, encoder, levels, displays, sleep, host});
    control.StartRecording();
    for (int i = 0; i < 5; ++i)
        recorder.DeliverBlock();
    recorder.Tick(44100);  // the limit: a new file begins
    for (int i = 0; i < 3; ++i)
        recorder.DeliverBlock();
    control.StopRecording();

    ASSERT_EQ(host.finished.size(), 2);
    const int64_t frames[] = {5 * 8820, 3 * 8820};
    for (int i = 0; i < 2; ++i) {
        TagLibAudioInformation2 read;
        read.ReadFromFile(host.finished[i]);
        EXPECT_EQ(read.infoTitle(), "Night news") << host.finished[i].toStdString();
        EXPECT_EQ(read.infoGenreText(), "Rock");
        EXPECT_EQ(DecodeFile(host.finished[i]).announced, frames[i]);
    }
}

}  // namespace
