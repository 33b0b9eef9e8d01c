#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class AudioInformation2;
class Settings;

// A file the editor can work on: the list's first selected row.
struct TaggedFile {
    QString name;  // as the list shows it
    QString path;
};

// What the tag editor asks of the program around it.
class TagEditorHost {
public:
    virtual ~TagEditorHost() = default;
    // The list's first selected row; none when no row is selected.
    virtual std::optional<TaggedFile> SelectedFile() const = 0;
    // A plain message box with one OK button; returns when it is closed.
    virtual void ShowMessage(const QString& text) = 0;
};

// The editable fields as the window shows them.
struct TagFields {
    QString fileName;  // shown only; never written
    QString title, artist, album;
    int genre = -1;  // entry of the genre list, -1 for none
    QString year = QStringLiteral("0");
    QString track = QStringLiteral("0");
    QString comment;
    bool operator==(const TagFields&) const = default;
};

// The eight information fields' texts, with their units.
struct FileFacts {
    QString frequency, bitrate, duration, channels, samples, size, bitsPerSample, formatTag;
    bool operator==(const FileFacts&) const = default;
};

// The tag editor: with a row selected in the list it edits that file's tag and shows its facts;
// without one it edits the default tag in the settings. Each load decides the mode anew.
class TagEditor {
public:
    TagEditor(AudioInformation2& tags, Settings& settings, TagEditorHost& host);

    // The genre list, numbers 0..147 in order, as the tag component names them.
    QStringList GenreNames() const;

    struct Loaded {
        TagFields fields;
        std::optional<FileFacts> facts;  // none in default mode
    };
    // What to show for the list's selection now. None when the selected file cannot be read:
    // the user has been told, and the window must not open on stale values.
    std::optional<Loaded> Load();

    enum class Outcome { Close, FocusYear, FocusTrack, StayOpen };
    // OK. Default mode stores the fields as typed. File mode writes the fields whose text
    // differs from what was loaded into the file that was loaded, even if the list's selection
    // moved meanwhile; the rest of its tag (a genre the list lacks, several artists, a full
    // date) stays. A year or track that is no number is told and written nowhere, as is a file
    // that cannot take the tag.
    Outcome Apply(const TagFields& fields);
    // Clear: title, artist, album and comment emptied, year and track "0", the genre the tag
    // component holds; the facts again. Nothing is written.
    Loaded Clear(const TagFields& fields) const;

    bool DefaultTagMode() const { return defaultTagMode_; }

private:
    FileFacts Facts() const;
    Outcome ApplyToFile(const TagFields& fields);
    Outcome Refuse(const QString& message, Outcome focus);

    AudioInformation2& tags_;
    Settings& settings_;
    TagEditorHost& host_;
    bool defaultTagMode_ = true;
    QString path_;      // the file loaded in file mode
    TagFields loaded_;  // its fields as they were shown
};
