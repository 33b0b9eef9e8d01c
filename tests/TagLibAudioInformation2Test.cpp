#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>

#include <sys/xattr.h>
#include <unistd.h>

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include "components/SonvaraError.h"
#include "components/TagLibAudioInformation2.h"
#include "support/TestAudio.h"

using namespace testaudio;

namespace {

const QString kNonAscii = QStringLiteral("Ĉu ŝi — 日本語");

QString MakeAudio(const QTemporaryDir& dir, Format format, const QString& stem,
                  const WriteOptions& options = {}) {
    const QString path = dir.filePath(stem + Extension(format));
    const int rate = format == Format::OggOpus ? 48000 : 44100;
    WriteFile(path, format, Tone(rate, 2, rate / 2, 440), rate, 2, options);
    return path;
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void ExpectErrorNaming(const std::function<void()>& action, const QString& path) {
    try {
        action();
        ADD_FAILURE() << "no error for " << path.toStdString();
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains(path)) << error.message().toStdString();
    }
}

TagLibAudioInformation2 Read(const QString& path) {
    TagLibAudioInformation2 info;
    info.ReadFromFile(path);
    return info;
}

}  // namespace

TEST(TagLibAudioInformation2Genres, ListIsTheClassicNumbering) {
    TagLibAudioInformation2 info;
    EXPECT_EQ(info.GenreName(0), "Blues");
    EXPECT_EQ(info.GenreName(12), "Other");
    EXPECT_EQ(info.GenreName(79), "Hard Rock");
    EXPECT_EQ(info.GenreName(147).toLower(), "synthpop");
    EXPECT_TRUE(info.GenreName(-1).isEmpty());
    EXPECT_TRUE(info.GenreName(148).isEmpty());
}

class TagLibAudioInformation2RoundTrip : public ::testing::TestWithParam<Format> {
protected:
    QTemporaryDir dir_;
};

TEST_P(TagLibAudioInformation2RoundTrip, TextYearTrackAndGenreKeepTheAudio) {
    const QString path = MakeAudio(dir_, GetParam(), QStringLiteral("tagged"));
    const Decoded before = DecodeFile(path);

    TagLibAudioInformation2 writer;
    writer.setInfoTitle(kNonAscii);
    writer.setInfoArtist(QStringLiteral("Zoë & the Ümlauts"));
    writer.setInfoAlbum(QStringLiteral("Альбом"));
    writer.setInfoComments(QStringLiteral("Recorded in Café “Nord”"));
    writer.setInfoYearValue(2024);
    writer.setInfoTrackNumber(7);
    writer.setInfoGenreIndex(17);
    writer.WriteToFile(path);

    const TagLibAudioInformation2 read = Read(path);
    EXPECT_EQ(read.infoTitle(), kNonAscii);
    EXPECT_EQ(read.infoArtist(), "Zoë & the Ümlauts");
    EXPECT_EQ(read.infoAlbum(), "Альбом");
    EXPECT_EQ(read.infoComments(), "Recorded in Café “Nord”");
    EXPECT_EQ(read.infoYearValue(), 2024);
    EXPECT_EQ(read.infoTrackNumber(), 7);
    EXPECT_EQ(read.infoGenreIndex(), 17);
    EXPECT_EQ(read.infoGenreText(), "Rock");
    EXPECT_EQ(DecodeFile(path).samples, before.samples);

    // Emptied fields and zero year and track leave nothing behind.
    TagLibAudioInformation2 clearer;
    clearer.WriteToFile(path);
    const TagLibAudioInformation2 cleared = Read(path);
    EXPECT_EQ(cleared.infoTitle() + cleared.infoArtist() + cleared.infoAlbum() +
                  cleared.infoComments() + cleared.infoGenreText(),
              "");
    EXPECT_EQ(cleared.infoGenreIndex(), -1);
    EXPECT_EQ(cleared.infoYearValue() + cleared.infoTrackNumber(), 0);
    EXPECT_EQ(DecodeFile(path).samples, before.samples);
}

TEST_P(TagLibAudioInformation2RoundTrip, GenreTextIsKeptAndListNumbersBecomeNames) {
    const QString path = MakeAudio(dir_, GetParam(), QStringLiteral("genre"));
    struct Case {
        QString given, text;
        int index;
    };
    const Case cases[] = {
        {QStringLiteral("Ĉiptuno"), QStringLiteral("Ĉiptuno"), -1},
        {QStringLiteral("Hard Rock"), QStringLiteral("Hard Rock"), 79},
        // A list number, as the default tag stores its genre, means that entry.
        {QStringLiteral("12"), QStringLiteral("Other"), 12},
        {QStringLiteral("(0)"), QStringLiteral("Blues"), 0},
        {QStringLiteral("-1"), QString(), -1},
        {QString(), QString(), -1},
    };
    for (const Case& c : cases) {
        TagLibAudioInformation2 writer;
        writer.setInfoGenreS(c.given);
        writer.WriteToFile(path);
        const TagLibAudioInformation2 read = Read(path);
        EXPECT_EQ(read.infoGenreText(), c.text) << c.given.toStdString();
        EXPECT_EQ(read.infoGenreIndex(), c.index) << c.given.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(TagLibAudioInformation2, TagLibAudioInformation2RoundTrip,
                         ::testing::Values(Format::Mp3, Format::OggVorbis, Format::OggOpus,
                                           Format::Flac, Format::Wav, Format::Wma),
                         [](const auto& tested) { return std::string(FormatName(tested.param)); });

TEST(TagLibAudioInformation2Mp3, WritesId3v23AndALatin1Id3v1Copy) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Mp3, QStringLiteral("copy"));
    TagLibAudioInformation2 writer;
    writer.setInfoTitle(kNonAscii);
    writer.setInfoGenreIndex(17);
    writer.WriteToFile(path);

    const QByteArray bytes = Contents(path);
    ASSERT_GT(bytes.size(), 128);
    EXPECT_TRUE(bytes.startsWith(QByteArray("ID3\x03", 4)));
    const QByteArray id3v1 = bytes.right(128);
    EXPECT_TRUE(id3v1.startsWith("TAG"));
    EXPECT_EQ(QString::fromLatin1(id3v1.mid(3, 30).constData()), "Cu si - ???");
    EXPECT_EQ(static_cast<unsigned char>(id3v1[127]), 17);

    // Version 2.3 knows no UTF-8: text beyond Latin-1 must be UTF-16 there.
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    const auto& frames = file.ID3v2Tag()->frameListMap()["TIT2"];
    ASSERT_FALSE(frames.isEmpty());
    auto* title = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
    EXPECT_TRUE(title && title->textEncoding() == TagLib::String::UTF16);
}

TEST(TagLibAudioInformation2Mp3, KeepsAnApeTagInStep) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Mp3, QStringLiteral("ape"));
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        file.APETag(true)->setTitle("Old");
        ASSERT_TRUE(file.save(TagLib::MPEG::File::APE, TagLib::File::StripNone));
    }
    TagLibAudioInformation2 writer;
    writer.setInfoTitle(QStringLiteral("New"));
    writer.WriteToFile(path);

    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.hasAPETag());
    EXPECT_EQ(file.APETag()->title(), "New");
    EXPECT_EQ(Read(path).infoTitle(), "New");
}

TEST(TagLibAudioInformation2Read, GenreFormsOfOtherTaggers) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Flac, QStringLiteral("other"));
    const auto readWithGenre = [&](const char* genre) {
        {
            TagLib::FLAC::File file(QFile::encodeName(path).constData());
            file.xiphComment(true)->setGenre(genre);
            file.save();
        }
        return Read(path);
    };
    const TagLibAudioInformation2 numeric = readWithGenre("(12)");
    EXPECT_EQ(numeric.infoGenreIndex(), 12);
    EXPECT_EQ(numeric.infoGenreText(), "Other");
    // Older spellings of list entries still find their number.
    const TagLibAudioInformation2 old = readWithGenre("Psychadelic");
    EXPECT_EQ(old.infoGenreIndex(), 67);
    EXPECT_EQ(old.infoGenreText(), "Psychadelic");
}

TEST(TagLibAudioInformation2Read, FactsOfUncompressedAudio) {
    QTemporaryDir dir;
    const QString mono = dir.filePath(QStringLiteral("mono.wav"));
    WriteFile(mono, Format::Wav, Tone(22050, 1, 11025, 300), 22050, 1);
    const TagLibAudioInformation2 pcm = Read(mono);
    EXPECT_EQ(pcm.Frequency(), 22050);
    EXPECT_EQ(pcm.Channels(), 1);
    EXPECT_EQ(pcm.BitsPerSample(), 16);
    EXPECT_EQ(pcm.FormatTag(), 1);
    EXPECT_EQ(pcm.Samples(), 11025);
    EXPECT_EQ(pcm.Duration(), 500);
    EXPECT_EQ(pcm.Bitrate(), 22050 * 16);
    EXPECT_EQ(pcm.Size(), QFileInfo(mono).size());

    const QString floats = dir.filePath(QStringLiteral("float.wav"));
    WriteFile(floats, Format::WavFloat, Tone(48000, 2, 12000, 300), 48000, 2);
    const TagLibAudioInformation2 ieee = Read(floats);
    EXPECT_EQ(ieee.FormatTag(), 3);
    EXPECT_EQ(ieee.BitsPerSample(), 32);
    EXPECT_EQ(ieee.Bitrate(), 48000 * 2 * 32);
    EXPECT_EQ(ieee.Duration(), 250);

    // Headerless: the facts are the fixed RAW format's, and there is no tag to write.
    const QString raw = dir.filePath(QStringLiteral("take.RAW"));
    WriteFile(raw, Format::Raw, Tone(44100, 2, 4410, 300), 44100, 2);
    const TagLibAudioInformation2 headerless = Read(raw);
    EXPECT_EQ(headerless.Frequency(), 44100);
    EXPECT_EQ(headerless.Channels(), 2);
    EXPECT_EQ(headerless.Samples(), 4410);
    EXPECT_EQ(headerless.Duration(), 100);
    EXPECT_EQ(headerless.infoTitle(), QString());
    ExpectErrorNaming([&] { TagLibAudioInformation2().WriteToFile(raw); }, raw);
}

TEST(TagLibAudioInformation2Read, FactsOfCompressedAudio) {
    QTemporaryDir dir;
    WriteOptions kbps128;
    kbps128.bitrateKbps = 128;
    const TagLibAudioInformation2 mp3 = Read(MakeAudio(dir, Format::Mp3, "a", kbps128));
    EXPECT_EQ(mp3.FormatTag(), 0x55);
    EXPECT_EQ(mp3.Bitrate(), 128000);
    EXPECT_EQ(mp3.Samples(), 22050);
    EXPECT_EQ(mp3.Duration(), 500);

    EXPECT_EQ(Read(MakeAudio(dir, Format::Flac, "b")).FormatTag(), 0xF1AC);
    EXPECT_EQ(Read(MakeAudio(dir, Format::OggVorbis, "c")).FormatTag(), 0x674F);
    EXPECT_EQ(Read(MakeAudio(dir, Format::Wma, "d")).FormatTag(), 0x161);
}

TEST(TagLibAudioInformation2Errors, NameTheFile) {
    QTemporaryDir dir;
    TagLibAudioInformation2 info;
    const QString missing = dir.filePath(QStringLiteral("missing.mp3"));
    ExpectErrorNaming([&] { info.ReadFromFile(missing); }, missing);
    ExpectErrorNaming([&] { info.WriteToFile(missing); }, missing);

    for (const char* name : {"notes.mp3", "notes.txt"}) {
        const QString text = dir.filePath(QString::fromLatin1(name));
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("just some words, no sound at all\n").repeated(200));
        file.close();
        ExpectErrorNaming([&] { info.ReadFromFile(text); }, text);
        ExpectErrorNaming([&] { info.WriteToFile(text); }, text);
    }

    const QString locked = MakeAudio(dir, Format::Mp3, QStringLiteral("locked"));
    const QByteArray original = Contents(locked);
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    info.setInfoTitle(QStringLiteral("Not allowed"));
    ExpectErrorNaming([&] { info.WriteToFile(locked); }, locked);
    EXPECT_EQ(Contents(locked), original);
}

// The tag goes into a copy that replaces the file: what a user set on the file stays, a link
// stays a link, and no copy is left behind.
TEST(TagLibAudioInformation2Write, KeepsPermissionsAndLinksAndLeavesNoCopy) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Mp3, QStringLiteral("shared"));
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    ASSERT_TRUE(QFile::setPermissions(path, permissions));
    const QString link = dir.filePath(QStringLiteral("link.mp3"));
    ASSERT_TRUE(QFile::link(path, link));

    TagLibAudioInformation2 writer;
    writer.setInfoTitle(QStringLiteral("Through the link"));
    writer.WriteToFile(link);
    writer.setInfoArtist(QStringLiteral("Directly"));
    writer.WriteToFile(path);

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    // The user's bits repeat the owner's or the group's, whichever applies to the test.
    const auto userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    EXPECT_EQ(QFileInfo(path).permissions() & ~userBits, permissions);
    const TagLibAudioInformation2 read = Read(path);
    EXPECT_EQ(read.infoTitle(), "Through the link");
    EXPECT_EQ(read.infoArtist(), "Directly");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"link.mp3", "shared.mp3"}));
}

// What other taggers wrote and the program does not show (several values, full dates,
// "n/total", frames of its own) stays when only the title is written.
TEST(TagLibAudioInformation2Write, ChangesOnlyTheFieldsThatWereSet) {
    QTemporaryDir dir;
    const QString flac = MakeAudio(dir, Format::Flac, QStringLiteral("rich"));
    {
        TagLib::FLAC::File file(QFile::encodeName(flac).constData());
        TagLib::Ogg::XiphComment* xiph = file.xiphComment(true);
        for (const char* field : {"ARTIST=Artist A", "ARTIST=Artist B", "DATE=2021-05-06",
                                  "TRACKNUMBER=3/12", "GENRE=Rock", "GENRE=Jazz"}) {
            const QStringList pair = QString::fromLatin1(field).split(u'=');
            xiph->addField(pair[0].toStdString(), pair[1].toStdString(), false);
        }
        ASSERT_TRUE(file.save());
    }
    const QString mp3 = MakeAudio(dir, Format::Mp3, QStringLiteral("rich"));
    {
        TagLib::MPEG::File file(QFile::encodeName(mp3).constData());
        TagLib::PropertyMap properties;
        properties["ARTIST"] = TagLib::StringList("Artist A").append("Artist B");
        properties["DATE"] = TagLib::StringList("2021-05-06");
        properties["TRACKNUMBER"] = TagLib::StringList("3/12");
        properties["MOOD"] = TagLib::StringList("calm");
        file.ID3v2Tag(true)->setProperties(properties);
        ASSERT_TRUE(
            file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4));
    }
    for (const QString& path : {flac, mp3}) {
        const auto properties = [&path] {
            TagLib::PropertyMap map =
                TagLib::FileRef(QFile::encodeName(path).constData()).file()->properties();
            map.erase("TITLE");
            return map;
        };
        const TagLib::PropertyMap before = properties();
        TagLibAudioInformation2 info = Read(path);
        info.setInfoTitle(QStringLiteral("Only this"));
        info.WriteToFile(path);
        EXPECT_EQ(Read(path).infoTitle(), "Only this") << path.toStdString();
        EXPECT_EQ(properties().toString().to8Bit(true), before.toString().to8Bit(true))
            << path.toStdString();
    }
}

// A tag that fits the room of the old one is written into the file itself: a hard link still
// shares it. Copies a killed write left behind go at the next write; a copy keeps the file's
// extended attributes.
TEST(TagLibAudioInformation2Write, FitsInPlaceOrCopiesWithAttributesAndClearsLeftCopies) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Mp3, QStringLiteral("linked"));
    const QByteArray name = QFile::encodeName(path);
    const bool attributes = ::setxattr(name.constData(), "user.note", "kept", 4, 0) == 0;
    TagLibAudioInformation2 first;
    first.setInfoTitle(QStringLiteral("First"));
    first.WriteToFile(path);  // no room in the encoder's tag: a copy, with room to spare
    char note[8] = {};
    if (attributes) {
        EXPECT_EQ(::getxattr(name.constData(), "user.note", note, sizeof note), 4);
    }
    const QString link = dir.filePath(QStringLiteral("hard.mp3"));
    ASSERT_EQ(::link(name.constData(), QFile::encodeName(link).constData()), 0);
    QFile stale(dir.filePath(QStringLiteral(".linked.mp3.tag-AbC123.mp3")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    const Decoded sound = DecodeFile(path);

    TagLibAudioInformation2 second = Read(path);
    second.setInfoArtist(QStringLiteral("Second"));
    second.WriteToFile(path);
    EXPECT_EQ(Read(link).infoArtist(), "Second");
    EXPECT_EQ(Read(link).infoTitle(), "First");
    EXPECT_EQ(DecodeFile(path).samples, sound.samples);
    EXPECT_FALSE(stale.exists());
}

// TagLib writes RIFF INFO as UTF-8: readers learn so from a CSET chunk ahead of it.
TEST(TagLibAudioInformation2Wav, InfoTextReadsBackAsWritten) {
    QTemporaryDir dir;
    const QString path = MakeAudio(dir, Format::Wav, QStringLiteral("info"));
    TagLibAudioInformation2 writer;
    writer.setInfoTitle(kNonAscii);
    writer.WriteToFile(path);

    const QByteArray bytes = Contents(path);
    const qsizetype cset = bytes.indexOf("CSET"), info = bytes.indexOf("LIST");
    ASSERT_GT(cset, 0);
    EXPECT_LT(cset, info);
    EXPECT_EQ(bytes.mid(cset + 8, 2), QByteArray("\xE9\xFD"));  // code page 65001, UTF-8
    EXPECT_TRUE(bytes.mid(info).contains("INAM") && bytes.mid(info).contains(kNonAscii.toUtf8()));
    const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (ffprobe.isEmpty())
        return;
    QProcess probe;
    probe.start(ffprobe, {"-v", "error", "-show_entries", "format_tags=title", "-of",
                          "default=nw=1:nk=1", path});
    ASSERT_TRUE(probe.waitForFinished());
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), kNonAscii);
}
