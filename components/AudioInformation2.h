#pragma once

#include <QString>
#include <cstdint>

// Facts and tag of one audio file. ReadFromFile fills every property; WriteToFile writes the
// tag properties into the file (ID3v2.3 plus ID3v1 for MP3). Failures throw SonvaraError.
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
    void setInfoTitle(const QString& text) { title_ = text; }
    QString infoArtist() const { return artist_; }
    void setInfoArtist(const QString& text) { artist_ = text; }
    QString infoAlbum() const { return album_; }
    void setInfoAlbum(const QString& text) { album_ = text; }
    QString infoComments() const { return comments_; }
    void setInfoComments(const QString& text) { comments_ = text; }
    int infoYearValue() const { return year_; }
    void setInfoYearValue(int year) { year_ = year; }
    int infoTrackNumber() const { return track_; }
    void setInfoTrackNumber(int track) { track_ = track; }
    // The genre number, -1 when the file's genre is none of the list.
    int infoGenreIndex() const { return genreIndex_; }
    void setInfoGenreIndex(int index) {
        genreIndex_ = index;
        genreText_ = GenreName(index);
    }
    // The genre as text, stored as given. Whichever of the two genre setters ran last wins.
    void setInfoGenreS(const QString& text) {
        genreText_ = text;
        genreIndex_ = -1;
        for (int i = 0; i < 148; ++i) {
            if (GenreName(i) == text)
                genreIndex_ = i;
        }
    }
    QString infoGenreText() const { return genreText_; }

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
};
