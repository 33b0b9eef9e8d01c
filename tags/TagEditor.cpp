#include "tags/TagEditor.h"

#include "components/AudioInformation2.h"
#include "components/SonvaraError.h"
#include "config/Settings.h"
#include "tags/DefaultTag.h"

namespace {

constexpr int kGenreCount = 148;

// The stored genre selects its list entry; anything that is not an entry's number selects none.
int GenreEntry(const QString& stored) {
    bool ok = false;
    const int index = stored.trimmed().toInt(&ok);
    return ok && index >= 0 && index < kGenreCount ? index : -1;
}

}  // namespace

TagEditor::TagEditor(AudioInformation2& tags, Settings& settings, TagEditorHost& host)
    : tags_(tags), settings_(settings), host_(host) {}

QStringList TagEditor::GenreNames() const {
    QStringList names;
    for (int i = 0; i < kGenreCount; ++i)
        names << tags_.GenreName(i);
    return names;
}

std::optional<TagEditor::Loaded> TagEditor::Load() {
    const std::optional<TaggedFile> selected = host_.SelectedFile();
    if (!selected) {
        defaultTagMode_ = true;
        path_.clear();
        const DefaultTag stored = ReadDefaultTag(settings_);
        TagFields fields;
        fields.track = stored.track;
        fields.year = stored.year;
        fields.title = stored.title;
        fields.artist = stored.artist;
        fields.album = stored.album;
        fields.genre = GenreEntry(stored.genre);
        fields.comment = stored.comment;
        return Loaded{fields, std::nullopt};
    }

    defaultTagMode_ = false;
    try {
        tags_.ReadFromFile(selected->path);
    } catch (const SonvaraError& error) {
        // Why matters here: the file was listed fine once, and may since be gone or changed.
        host_.ShowMessage(error.message());
        return std::nullopt;
    }
    path_ = selected->path;
    TagFields fields;
    fields.fileName = selected->name;
    fields.title = tags_.infoTitle();
    fields.artist = tags_.infoArtist();
    fields.album = tags_.infoAlbum();
    fields.genre = tags_.infoGenreIndex();
    fields.comment = tags_.infoComments();
    fields.year = QString::number(tags_.infoYearValue());
    fields.track = QString::number(tags_.infoTrackNumber());
    loaded_ = fields;
    return Loaded{fields, Facts()};
}

FileFacts TagEditor::Facts() const {
    FileFacts facts;
    facts.frequency = QString::number(tags_.Frequency()) + QStringLiteral(" Hz");
    facts.bitrate = QString::number(tags_.Bitrate()) + QStringLiteral(" bps");
    facts.duration = QString::number(tags_.Duration()) + QStringLiteral(" ms");
    facts.channels = QString::number(tags_.Channels());
    facts.samples = QString::number(tags_.Samples());
    facts.size = QString::number(tags_.Size());
    facts.bitsPerSample = QString::number(tags_.BitsPerSample());
    facts.formatTag = QString::number(tags_.FormatTag());
    return facts;
}

TagEditor::Outcome TagEditor::Apply(const TagFields& fields) {
    if (!defaultTagMode_)
        return ApplyToFile(fields);
    DefaultTag tag;
    tag.track = fields.track;
    tag.year = fields.year;
    tag.title = fields.title;
    tag.artist = fields.artist;
    tag.album = fields.album;
    tag.comment = fields.comment;
    try {
        SettingsBatch batch(settings_);
        StoreDefaultTag(batch, tag, fields.genre);
        batch.Commit();
    } catch (const SonvaraError& error) {
        host_.ShowMessage(error.message());
        return Outcome::StayOpen;
    }
    return Outcome::Close;
}

// A failure to write is told here rather than handed to the program's error handler, which
// would also stop a recording that has nothing to do with this file.
TagEditor::Outcome TagEditor::ApplyToFile(const TagFields& fields) {
    const std::optional<int> year = ParseTagNumber(fields.year);
    if (!year)
        return Refuse(QStringLiteral("Invalid Year Value"), Outcome::FocusYear);
    const std::optional<int> track = ParseTagNumber(fields.track);
    if (!track)
        return Refuse(QStringLiteral("Invalid Track Value"), Outcome::FocusTrack);
    // A field shown as loaded is a flattened view of what the file may hold (several artists,
    // "2021-05-06", "3/12"): written back, it would lose that.
    if (fields.title != loaded_.title)
        tags_.setInfoTitle(fields.title);
    if (fields.artist != loaded_.artist)
        tags_.setInfoArtist(fields.artist);
    if (fields.album != loaded_.album)
        tags_.setInfoAlbum(fields.album);
    if (fields.genre != loaded_.genre)
        tags_.setInfoGenreIndex(fields.genre);
    if (fields.comment != loaded_.comment)
        tags_.setInfoComments(fields.comment);
    if (fields.year != loaded_.year)
        tags_.setInfoYearValue(*year);
    if (fields.track != loaded_.track)
        tags_.setInfoTrackNumber(*track);
    try {
        tags_.WriteToFile(path_);
    } catch (const SonvaraError& error) {
        host_.ShowMessage(error.message());
        return Outcome::StayOpen;
    }
    return Outcome::Close;
}

TagEditor::Outcome TagEditor::Refuse(const QString& message, Outcome focus) {
    host_.ShowMessage(message);
    return focus;
}

TagEditor::Loaded TagEditor::Clear(const TagFields& fields) const {
    TagFields cleared = fields;
    cleared.title.clear();
    cleared.artist.clear();
    cleared.album.clear();
    cleared.comment.clear();
    cleared.genre = tags_.infoGenreIndex();
    cleared.year = QStringLiteral("0");
    cleared.track = QStringLiteral("0");
    return Loaded{cleared, Facts()};
}
