#pragma once

#include <QString>
#include <optional>

class AudioInformation2;
class Settings;

// The default tag as the settings keep it (section "info"): every value as stored, year and
// track as typed, the genre as a list number or, from a hand edit, any text.
struct DefaultTag {
    QString title, artist, album, comment;
    QString year = QStringLiteral("0");
    QString track = QStringLiteral("0");
    QString genre;
};

DefaultTag ReadDefaultTag(const Settings& settings);
// Stores every key in the order the tag editor's OK writes them; genreIndex is the genre list's
// entry, -1 for none. Throws SonvaraError naming the settings file when it cannot be written.
void StoreDefaultTag(Settings& settings, const DefaultTag& tag, int genreIndex);

// A year or track as typed: a whole number from 0 up, spaces around it allowed.
std::optional<int> ParseTagNumber(const QString& text);

// Why a file was left without the default tag: the stored year or track is no number.
struct DefaultTagRefusal {
    QString message;  // "Invalid Year Value" or "Invalid Track Value"
    QString key;      // the key in the section "info"
    QString value;    // as stored
};

// Writes the default tag into finished recordings. The file's own tag is not read first: the
// default tag replaces it whole.
class DefaultTagWriter {
public:
    DefaultTagWriter(const Settings& settings, AudioInformation2& tags);

    // The default tag as stored now goes into file. A stored year or track that is no number
    // leaves the file untouched and is returned; a file that cannot take the tag throws
    // SonvaraError naming it.
    std::optional<DefaultTagRefusal> WriteDefaultTags(const QString& file);

private:
    const Settings& settings_;
    AudioInformation2& tags_;
};
