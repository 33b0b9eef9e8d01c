#include "tags/DefaultTag.h"

#include <utility>

#include "components/AudioInformation2.h"
#include "config/SettingsKeys.h"

namespace {

// The texts of the default tag, in the order the tag editor's OK stores them.
constexpr std::pair<QString DefaultTag::*, const TextKey*> kTexts[] = {
    {&DefaultTag::track, &keys::kTagTrack},    {&DefaultTag::year, &keys::kTagYear},
    {&DefaultTag::title, &keys::kTagTitle},    {&DefaultTag::artist, &keys::kTagArtist},
    {&DefaultTag::album, &keys::kTagAlbum},    {&DefaultTag::genre, &keys::kTagGenre},
    {&DefaultTag::comment, &keys::kTagComment}};

}  // namespace

// The tag window and the tag's writer read the same defaults, so either reader will do.
DefaultTag ReadDefaultTag(const Settings& settings) {
    DefaultTag tag;
    for (const auto& [text, key] : kTexts)
        tag.*text = Read(settings, *key, Reader::Used);
    return tag;
}

// The genre is stored as the list's entry, whatever text was read.
void StoreDefaultTag(Settings& settings, const DefaultTag& tag, int genreIndex) {
    for (const auto& [text, key] : kTexts)
        Write(settings, *key, text == &DefaultTag::genre ? QString::number(genreIndex) : tag.*text);
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
        return DefaultTagRefusal{QStringLiteral("Invalid Year Value"), keys::kTagYear.name,
                                 tag.year};
    tags_.setInfoYearValue(*year);
    const std::optional<int> track = ParseTagNumber(tag.track);
    if (!track)
        return DefaultTagRefusal{QStringLiteral("Invalid Track Value"), keys::kTagTrack.name,
                                 tag.track};
    tags_.setInfoTrackNumber(*track);
    tags_.WriteToFile(file);
    return std::nullopt;
}
