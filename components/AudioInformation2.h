#pragma once

#include <QString>
#include <cstdint>

// Facts and tag of one audio file. ReadFromFile fills every property; WriteToFile writes the
// tag properties set since the last read or write into the file (ID3v2 plus ID3v1 for MP3)
// and keeps the rest of its tag. Failures throw SonvaraError.
class AudioInformation2 {
public:
    virtual ~AudioInformation2() = default;

    virtual void ReadFromFile(const QString& fileName) = 0;
    virtual void WriteToFile(const QString& fileName) = 0;
    // Genre names of the ID3v1 list as extended to 148 entries; empty outside 0..147.
    virtual QString GenreName(int index) const = 0;

    // Facts, valid after ReadFromFile.
    int Frequency() const { return frequency_; }
    int Bitrate() const { return bitrate_; }        // bit/s
    int64_t Duration() const { return duration_; }  // ms
    int64_t Size() const { return size_; }          // bytes
    int64_t Samples() const { return samples_; }    // frames
    int Channels() const { return channels_; }
    int BitsPerSample() const { return bitsPerSample_; }
    int FormatTag() const { return formatTag_; }

    // Tag.
    QString infoTitle() const { return title_; }
    void setInfoTitle(const QString& text) {
        title_ = text;
        changed_ |= kTitle;
    }
    QString infoArtist() const { return artist_; }
    void setInfoArtist(const QString& text) {
        artist_ = text;
        changed_ |= kArtist;
    }
    QString infoAlbum() const { return album_; }
    void setInfoAlbum(const QString& text) {
        album_ = text;
        changed_ |= kAlbum;
    }
    QString infoComments() const { return comments_; }
    void setInfoComments(const QString& text) {
        comments_ = text;
        changed_ |= kComment;
    }
    int infoYearValue() const { return year_; }
    void setInfoYearValue(int year) {
        year_ = year;
        changed_ |= kYear;
    }
    int infoTrackNumber() const { return track_; }
    void setInfoTrackNumber(int track) {
        track_ = track;
        changed_ |= kTrack;
    }
    // The genre number, -1 when the file's genre is none of the list.
    int infoGenreIndex() const { return genreIndex_; }
    void setInfoGenreIndex(int index) {
        genreIndex_ = index;
        genreText_ = GenreName(index);
        changed_ |= kGenre;
    }
    // The genre as text, stored as given. Whichever of the two genre setters ran last wins.
    void setInfoGenreS(const QString& text) {
        genreText_ = text;
        genreIndex_ = -1;
        for (int i = 0; i < 148; ++i) {
            if (GenreName(i) == text)
                genreIndex_ = i;
        }
        changed_ |= kGenre;
    }
    QString infoGenreText() const { return genreText_; }

    // The fields the next write changes: those set since the last read or write, and all of
    // them before anything was read, when the tag is made anew.
    enum TagField : unsigned {
        kTitle = 1,
        kArtist = 2,
        kAlbum = 4,
        kComment = 8,
        kYear = 16,
        kTrack = 32,
        kGenre = 64,
        kAllFields = 127
    };
    unsigned ChangedFields() const { return changed_; }

protected:
    int frequency_ = 0;
    int bitrate_ = 0;
    int64_t duration_ = 0;
    int64_t size_ = 0;
    int64_t samples_ = 0;
    int channels_ = 0;
    int bitsPerSample_ = 0;
    int formatTag_ = 0;

    QString title_, artist_, album_, comments_, genreText_;
    int year_ = 0;
    int track_ = 0;
    int genreIndex_ = -1;
    unsigned changed_ = kAllFields;
};
