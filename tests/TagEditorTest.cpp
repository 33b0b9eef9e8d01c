#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <taglib/flacfile.h>
#include <taglib/xiphcomment.h>

#include "components/TagLibAudioInformation2.h"
#include "config/IniSettings.h"
#include "support/TestAudio.h"
#include "tags/TagEditor.h"

using namespace testaudio;

namespace {

struct FakeTagHost : TagEditorHost {
    std::optional<TaggedFile> selected;
    QStringList messages;
    std::optional<TaggedFile> SelectedFile() const override { return selected; }
    void ShowMessage(const QString& text) override { messages << text; }
};

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TagLibAudioInformation2 Read(const QString& path) {
    TagLibAudioInformation2 info;
    info.ReadFromFile(path);
    return info;
}

// The editor over the real tag component and a settings file of its own.
class TagEditorTest : public ::testing::Test {
protected:
    // Half a second of stereo at 44100 Hz, tagged as given.
    QString Audio(const QString& name, Format format = Format::Mp3) {
        const QString path = dir_.filePath(name);
        WriteFile(path, format, Tone(44100, 2, 22050, 440), 44100, 2);
        return path;
    }
    void Tag(const QString& path, const QString& title, const QString& genre, int year, int track) {
        TagLibAudioInformation2 writer;
        writer.setInfoTitle(title);
        writer.setInfoArtist(QStringLiteral("Anna"));
        writer.setInfoGenreS(genre);
        writer.setInfoYearValue(year);
        writer.setInfoTrackNumber(track);
        writer.WriteToFile(path);
    }
    void Select(const QString& path) {
        host_.selected = TaggedFile{QFileInfo(path).fileName(), path};
    }
    TagFields Loaded() {
        const std::optional<TagEditor::Loaded> loaded = editor_.Load();
        EXPECT_TRUE(loaded.has_value());
        return loaded ? loaded->fields : TagFields{};
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    TagLibAudioInformation2 tags_;
    FakeTagHost host_;
    TagEditor editor_{tags_, ini_, host_};
};

TEST_F(TagEditorTest, FileModeShowsTheTagAndFactsAndWritesWhatIsTyped) {
    const QString path = Audio("take.mp3");
    Tag(path, "Before", "Rock", 1999, 3);
    Select(path);

    const std::optional<TagEditor::Loaded> loaded = editor_.Load();
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(editor_.DefaultTagMode());
    TagFields fields = loaded->fields;
    EXPECT_EQ(fields.fileName, "take.mp3");
    EXPECT_EQ(fields.title, "Before");
    EXPECT_EQ(fields.artist, "Anna");
    EXPECT_EQ(fields.genre, 17);
    EXPECT_EQ(fields.year, "1999");
    EXPECT_EQ(fields.track, "3");
    ASSERT_TRUE(loaded->facts.has_value());
    EXPECT_EQ(loaded->facts->frequency, "44100 Hz");
    EXPECT_EQ(loaded->facts->duration, "500 ms");
    EXPECT_EQ(loaded->facts->formatTag, "85");

    fields.title = QStringLiteral("Ĉu ŝi — 日本語");
    fields.album = QStringLiteral("Альбом");
    fields.genre = 79;
    fields.year = "2024";
    fields.track = "12";
    fields.comment = "live";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::Close);
    EXPECT_TRUE(host_.messages.isEmpty());

    const TagLibAudioInformation2 read = Read(path);
    EXPECT_EQ(read.infoTitle(), QStringLiteral("Ĉu ŝi — 日本語"));
    EXPECT_EQ(read.infoArtist(), "Anna");
    EXPECT_EQ(read.infoAlbum(), QStringLiteral("Альбом"));
    EXPECT_EQ(read.infoGenreText(), "Hard Rock");
    EXPECT_EQ(read.infoYearValue(), 2024);
    EXPECT_EQ(read.infoTrackNumber(), 12);
    EXPECT_EQ(read.infoComments(), "live");
    EXPECT_FALSE(QFile::exists(ini_.Path()));  // the default tag is not touched

    // Reopened, the editor shows what was written.
    EXPECT_EQ(Loaded().title, QStringLiteral("Ĉu ŝi — 日本語"));
}

TEST_F(TagEditorTest, DefaultModeKeepsTheTagInTheInfoSection) {
    const std::optional<TagEditor::Loaded> first = editor_.Load();
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(editor_.DefaultTagMode());
    EXPECT_EQ(first->fields, TagFields{});  // empty, year and track "0", no genre
    EXPECT_FALSE(first->facts.has_value());

    TagFields fields;
    fields.title = "Morning show";
    fields.artist = "Zoë";
    fields.album = "Radio";
    fields.year = "2024";
    fields.track = "";  // stored as typed
    fields.comment = "daily";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::Close);
    EXPECT_TRUE(host_.messages.isEmpty());
    const QString text = QString::fromUtf8(Contents(ini_.Path()));
    EXPECT_TRUE(text.contains("[info]")) << text.toStdString();
    EXPECT_TRUE(text.contains("arist=Zoë")) << text.toStdString();
    EXPECT_TRUE(text.contains("Track=")) << text.toStdString();
    EXPECT_TRUE(text.contains("genre=-1")) << text.toStdString();
    EXPECT_EQ(Loaded(), fields);

    // A stored list number selects its entry; anything else selects none.
    for (const auto& [stored, entry] :
         {std::pair{"12", 12}, {"147", 147}, {"148", -1}, {"Rock", -1}, {"", -1}}) {
        ini_.WriteString("info", "genre", stored);
        EXPECT_EQ(Loaded().genre, entry) << stored;
    }
}

TEST_F(TagEditorTest, AYearOrTrackThatIsNoNumberIsToldAndWrittenNowhere) {
    const QString path = Audio("take.mp3");
    Tag(path, "Kept", "Rock", 2001, 1);
    const QByteArray before = Contents(path);
    Select(path);
    TagFields fields = Loaded();
    fields.title = "Lost";

    fields.year = "";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::FocusYear);
    fields.year = "2002";
    fields.track = "";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::FocusTrack);
    fields.track = "-3";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::FocusTrack);
    EXPECT_EQ(host_.messages,
              QStringList({"Invalid Year Value", "Invalid Track Value", "Invalid Track Value"}));
    EXPECT_EQ(Contents(path), before);
}

TEST_F(TagEditorTest, ASelectedFileThatCannotBeReadKeepsTheWindowShut) {
    const QString missing = dir_.filePath("gone.mp3");
    Select(missing);
    EXPECT_FALSE(editor_.Load().has_value());
    EXPECT_EQ(host_.messages,
              QStringList{"Cannot read \"" + missing + "\": the file does not exist."});
}

// A recording that stops while the editor is open becomes the selected row; OK still belongs to
// the file the editor shows.
TEST_F(TagEditorTest, OkWritesTheFileShownAndKeepsAGenreTheListLacks) {
    const QString shown = Audio("shown.flac", Format::Flac);
    Tag(shown, "Old", "Podcast Talk", 2020, 1);
    const QString other = Audio("other.mp3");
    const QByteArray otherBefore = Contents(other);
    Select(shown);
    TagFields fields = Loaded();
    EXPECT_EQ(fields.genre, -1);

    Select(other);
    fields.title = "New";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::Close);
    EXPECT_EQ(Read(shown).infoTitle(), "New");
    EXPECT_EQ(Read(shown).infoGenreText(), "Podcast Talk");
    EXPECT_EQ(Contents(other), otherBefore);

    // A genre chosen from the list replaces it.
    Select(shown);
    fields = Loaded();
    fields.genre = 101;
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::Close);
    EXPECT_EQ(Read(shown).infoGenreIndex(), 101);
}

// Fields shown as loaded are a flat view of the file's: OK writes only those edited.
TEST_F(TagEditorTest, OkKeepsTheFieldsThatWereNotEdited) {
    const QString path = Audio("rich.flac", Format::Flac);
    {
        TagLib::FLAC::File file(QFile::encodeName(path).constData());
        file.xiphComment(true)->addField("ARTIST", "Artist A", false);
        file.xiphComment()->addField("ARTIST", "Artist B", false);
        file.xiphComment()->addField("DATE", "2021-05-06");
        ASSERT_TRUE(file.save());
    }
    Select(path);
    TagFields fields = Loaded();
    fields.title = "New";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::Close);
    TagLib::FLAC::File file(QFile::encodeName(path).constData());
    const TagLib::Ogg::FieldListMap kept = file.xiphComment()->fieldListMap();
    EXPECT_EQ(kept["ARTIST"], TagLib::StringList("Artist A").append("Artist B"));
    EXPECT_EQ(kept["DATE"], TagLib::StringList("2021-05-06"));
    EXPECT_EQ(kept["TITLE"], TagLib::StringList("New"));
}

TEST_F(TagEditorTest, AFileThatCannotTakeTheTagIsToldAndTheWindowStays) {
    const QString raw = dir_.filePath("take.raw");
    WriteFile(raw, Format::Raw, Tone(44100, 2, 4410, 440), 44100, 2);
    Select(raw);
    TagFields fields = Loaded();
    fields.title = "Nowhere";
    EXPECT_EQ(editor_.Apply(fields), TagEditor::Outcome::StayOpen);
    ASSERT_EQ(host_.messages.size(), 1);
    EXPECT_TRUE(host_.messages[0].contains(raw)) << host_.messages[0].toStdString();
    EXPECT_TRUE(host_.messages[0].contains("RAW")) << host_.messages[0].toStdString();
}

}  // namespace
