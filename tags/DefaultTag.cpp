#include "tags/DefaultTag.h"

#include "components/AudioInformation2.h"
#include "config/Settings.h"

namespace {

const QString kInfo = QStringLiteral("info");
// Spelt as the settings file has always spelt them.
const QString kTrack = QStringLiteral("Track");
const QString kYear = QStringLiteral("year");
const QString kTitle = QStringLiteral("title");
const QString kArtist = QStringLiteral("arist");
const QString kAlbum = QStringLiteral("album");
const QString kGenre = QStringLiteral("genre");
const QString kComment = QStringLiteral("comment");

}  // namespace

DefaultTag ReadDefaultTag(const Settings& settings) {
    DefaultTag tag;
    tag.track = settings.ReadString(kInfo, kTrack, QStringLiteral("0"));
    tag.year = settings.ReadString(kInfo, kYear, QStringLiteral("0"));
    tag.title = settings.ReadString(kInfo, kTitle, QString());
    tag.artist = settings.ReadString(kInfo, kArtist, QString());
    tag.album = settings.ReadString(kInfo, kAlbum, QString());
    tag.genre = settings.ReadString(kInfo, kGenre, QString());
    tag.comment = settings.ReadString(kInfo, kComment, QString());
    return tag;
}

void StoreDefaultTag(Settings& settings, const DefaultTag& tag, int genreIndex) {
    settings.WriteString(kInfo, kTrack, tag.track);
    settings.WriteString(kInfo, kYear, tag.year);
    settings.WriteString(kInfo, kTitle, tag.title);
    settings.WriteString(kInfo, kArtist, tag.artist);
    settings.WriteString(kInfo, kAlbum, tag.album);
    settings.WriteInteger(kInfo, kGenre, genreIndex);
    settings.WriteString(kInfo, kComment, tag.comment);
}

// Only digits: a sign would be no year and no track, and the fields let none be typed.
std::optional<int> ParseTagNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = !trimmed.isEmpty();
    for (const QChar c : trimmed)
        ok = ok && c >= u'0' && c <= u'9';
    const int value = ok ? trimmed.toInt(&ok) : 0;
    if (!ok)
        return std::nullopt;
    return value;
}

DefaultTagWriter::DefaultTagWriter(const Settings& settings, AudioInformation2& tags)
    : settings_(settings), tags_(tags) {}

std::optional<DefaultTagRefusal> DefaultTagWriter::WriteDefaultTags(const QString& file) {
    const DefaultTag tag = ReadDefaultTag(settings_);
    tags_.setInfoTitle(tag.title);
    tags_.setInfoAlbum(tag.album);
    tags_.setInfoArtist(tag.artist);
    tags_.setInfoComments(tag.comment);
    // A list number becomes the genre it names, -1 or nothing no genre; other text stays text.
    tags_.setInfoGenreS(tag.genre);
    const std::optional<int> year = ParseTagNumber(tag.year);
    if (!year)
        return DefaultTagRefusal{QStringLiteral("Invalid Year Value"), kYear, tag.year};
    tags_.setInfoYearValue(*year);
    const std::optional<int> track = ParseTagNumber(tag.track);
    if (!track)
        return DefaultTagRefusal{QStringLiteral("Invalid Track Value"), kTrack, tag.track};
    tags_.setInfoTrackNumber(*track);
    tags_.WriteToFile(file);
    return std::nullopt;
}
